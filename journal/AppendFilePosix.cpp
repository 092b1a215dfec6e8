#include "journal/AppendFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace journal::detail {

namespace {

std::string reason(int code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return "sem permissão";
    case EROFS:
        return "sistema de arquivos só de leitura";
    case ENOSPC:
    case EDQUOT:
        return "disco cheio";
    case EISDIR:
        return "há uma pasta no lugar do arquivo";
    case ENOTDIR:
        return "um componente do caminho não é uma pasta";
    default:
        return std::strerror(code);
    }
}

std::string failure(const std::string& path, int code) {
    return path + ": " + reason(code);
}

// Closes the descriptor, and with it the lock, on every way out.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::optional<std::string> MakeFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return failure(folder, ec.value());
    return std::nullopt;
}

std::optional<std::string> AppendLocked(const std::string& path, const std::string& bytes,
                                        uint64_t rotateBytes) {
    // A writer that finds the file rotated under it (it waited for the lock
    // while another moved the file aside) opens the new one; a few tries
    // are plenty for any number of writers.
    for (int attempt = 0; attempt < 16; ++attempt) {
        Descriptor file;
        // Non-blocking, so that a FIFO in the file's place cannot hang a send.
        file.fd = ::open(path.c_str(),
                         O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
        if (file.fd < 0)
            return failure(path, errno);
        struct stat held {};
        if (::fstat(file.fd, &held) != 0)
            return failure(path, errno);
        if (!S_ISREG(held.st_mode))
            return path + ": não é um arquivo comum";
        while (::flock(file.fd, LOCK_EX) != 0)
            if (errno != EINTR)
                return failure(path, errno);
        struct stat named {};
        if (::stat(path.c_str(), &named) != 0 || named.st_ino != held.st_ino ||
            named.st_dev != held.st_dev)
            continue;
        if (::fstat(file.fd, &held) != 0)
            return failure(path, errno);
        if ((held.st_mode & 077) != 0)
            ::fchmod(file.fd, 0600);
        const auto size = static_cast<uint64_t>(held.st_size);
        if (size > 0 && size >= rotateBytes) {
            const std::string first = path + ".1";
            if (::rename(first.c_str(), (path + ".2").c_str()) != 0 && errno != ENOENT)
                return failure(path + ".2", errno);
            if (::rename(path.c_str(), first.c_str()) != 0)
                return failure(first, errno);
            continue; // the next try makes the new file
        }
        // A line torn by a power cut stays alone on its line.
        std::string out;
        char last = '\n';
        if (size > 0) {
            const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (reader >= 0) {
                if (::pread(reader, &last, 1, static_cast<off_t>(size - 1)) != 1)
                    last = '\n';
                ::close(reader);
            }
        }
        if (last != '\n')
            out = "\n";
        out += bytes;
        const ssize_t written = ::write(file.fd, out.data(), out.size());
        if (written == static_cast<ssize_t>(out.size()))
            return std::nullopt;
        const int code = written < 0 ? errno : ENOSPC;
        // Half a record is taken back, so the next one starts clean.
        if (written > 0) [[maybe_unused]]
            const int ignored = ::ftruncate(file.fd, held.st_size);
        return failure(path, code);
    }
    return path + ": o arquivo foi trocado várias vezes durante a gravação";
}

} // namespace journal::detail
