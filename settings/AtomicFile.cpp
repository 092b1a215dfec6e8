#include "settings/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SettingsWriteError::SettingsWriteError(const std::string& target)
    : std::runtime_error("Unable to write to " + target), path(target) {}

namespace {

// Owns the temporary file until it has been renamed into place.
class TempFile {
public:
    explicit TempFile(const std::string& target) {
        const std::size_t slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            name = folder + "." + base + ".tmp" + std::to_string(::getpid()) + "-" +
                   std::to_string(counter++);
            // 0666 lets the umask decide, as for any other new file.
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0)
            name.clear();
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd >= 0)
            ::close(fd);
        if (!name.empty())
            ::unlink(name.c_str());
    }

    bool Opened() const { return fd >= 0; }

    bool WriteAll(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    bool SyncAndClose() {
        const bool synced = ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        fd = -1;
        return synced && closed;
    }

    bool RenameTo(const std::string& target) {
        if (::rename(name.c_str(), target.c_str()) != 0)
            return false;
        name.clear();
        return true;
    }

private:
    std::string name;
    int fd = -1;
};

// A save should not go through where the platform refuses the write either:
// an existing folder or a file the user may not write.
bool mayReplace(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    return !S_ISDIR(st.st_mode) && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

} // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    if (path.empty() || path.back() == '/' || !mayReplace(path))
        throw SettingsWriteError(path);
    TempFile temp(path);
    if (!temp.Opened() || !temp.WriteAll(bytes) || !temp.SyncAndClose() || !temp.RenameTo(path))
        throw SettingsWriteError(path);
    // The rename itself reaches the disk with the folder; the save has
    // already succeeded, so a failure here is not reported.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
