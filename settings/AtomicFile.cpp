#include "settings/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system's text for code, as the port messages show it: no final full
// stop or blank.
std::string errorText(int code) {
    char buffer[256];
    std::string text = ::strerror_r(code, buffer, sizeof buffer);
    while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) <= ' '))
        text.pop_back();
    return text;
}

std::string message(const std::string& path, int code) {
    return "Unable to write to " + path + " (Error " + std::to_string(code) + ", " +
           errorText(code) + ")";
}

// The folder part of path with its final "/", or "" for a bare name.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

struct Fail {
    int code;
};

class Descriptor {
public:
    explicit Descriptor(int owned) : fd(owned) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    int Get() const { return fd; }
    void Close() {
        const int closing = fd;
        fd = -1;
        if (::close(closing) != 0 && errno != EINTR)
            throw Fail{errno};
    }

private:
    int fd;
};

void check(bool ok) {
    if (!ok)
        throw Fail{errno};
}

void writeAll(int fd, std::string_view bytes) {
    off_t at = 0;
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        check(n > 0);
        bytes.remove_prefix(static_cast<std::size_t>(n));
        at += n;
    }
}

// The file that a save to path replaces: path itself, or the end of the chain
// of symbolic links that starts there (which need not exist yet). Its status
// comes along when it exists.
struct Target {
    std::string Path;
    std::optional<struct stat> Status;
};

Target resolve(const std::string& path) {
    Target target{path, std::nullopt};
    for (int hops = 0;; ++hops) {
        if (target.Path.empty())
            throw Fail{ENOENT};
        if (target.Path.back() == '/')
            throw Fail{EISDIR};
        struct stat st {};
        if (::lstat(target.Path.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return target;
            throw Fail{errno};
        }
        if (!S_ISLNK(st.st_mode)) {
            target.Status = st;
            return target;
        }
        // The kernel's own limit on links followed in one lookup.
        if (hops == 40)
            throw Fail{ELOOP};
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(target.Path.c_str(), link.data(), link.size());
        check(n >= 0);
        if (static_cast<std::size_t>(n) == link.size())
            throw Fail{ENAMETOOLONG};
        link.resize(static_cast<std::size_t>(n));
        target.Path = link.starts_with('/') ? link : folderOf(target.Path) + link;
    }
}

// The temporary file beside the target, removed again unless it was renamed
// into place.
class TempFile {
public:
    // Throws Fail with the reason when the folder refuses the file.
    TempFile(const std::string& folder, mode_t mode) {
        static std::atomic<unsigned> counter{0};
        static constexpr char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        auto seed = static_cast<unsigned long long>(
                        std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (static_cast<unsigned long long>(::getpid()) << 32);
        for (int attempt = 0; attempt < 100; ++attempt) {
            unsigned long long x = seed + counter++ * 0x9E3779B97F4A7C15ull;
            std::string tail;
            for (int i = 0; i < 6; ++i, x /= 36)
                tail += digits[x % 36];
            name = folder + ".snh" + tail;
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
            if (fd >= 0)
                return;
            if (errno != EEXIST)
                break;
        }
        const int code = errno;
        name.clear();
        throw Fail{code};
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd >= 0)
            ::close(fd);
        if (!name.empty())
            ::unlink(name.c_str());
    }

    int Fd() const { return fd; }

    void Close() {
        const int closing = fd;
        fd = -1;
        if (::close(closing) != 0 && errno != EINTR)
            throw Fail{errno};
    }

    void RenameTo(const std::string& target) {
        check(::rename(name.c_str(), target.c_str()) == 0);
        name.clear();
    }

private:
    std::string name;
    int fd = -1;
};

// Gives the new file the owner, group and permission bits of the one it
// replaces. Owner and group are kept as far as the process may set them; the
// bits must not end up wider than before.
void copyAttributes(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    const mode_t wanted = old.st_mode & 07777;
    struct stat now {};
    check(::fstat(fd, &now) == 0);
    if ((now.st_mode & 07777) == wanted)
        return;
    if (::fchmod(fd, wanted) != 0 && (now.st_mode & ~wanted & 0777) != 0)
        throw Fail{errno};
}

// The new content written over the old one in the same file; not atomic.
void rewriteInPlace(const std::string& path, std::string_view bytes) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
    check(file.Get() >= 0);
    if (!bytes.empty()) {
        const int code = ::posix_fallocate(file.Get(), 0, static_cast<off_t>(bytes.size()));
        if (code != 0)
            throw Fail{code};
    }
    writeAll(file.Get(), bytes);
    check(::ftruncate(file.Get(), static_cast<off_t>(bytes.size())) == 0);
    check(::fsync(file.Get()) == 0);
    file.Close();
}

void replace(const Target& target, std::string_view bytes) {
    const std::string folder = folderOf(target.Path);
    const bool exists = target.Status.has_value();
    if (exists) {
        if (S_ISDIR(target.Status->st_mode))
            throw Fail{EISDIR};
        check(::faccessat(AT_FDCWD, target.Path.c_str(), W_OK, AT_EACCESS) == 0);
    }

    std::optional<TempFile> temp;
    try {
        // An existing file's content stays private to its owner until the
        // new file has the old one's permission bits.
        temp.emplace(folder, exists ? 0600 : 0666);
    } catch (const Fail& fail) {
        if (exists && S_ISREG(target.Status->st_mode) &&
            (fail.code == EACCES || fail.code == EPERM)) {
            rewriteInPlace(target.Path, bytes);
            return;
        }
        throw;
    }
    if (exists)
        copyAttributes(temp->Fd(), *target.Status);
    writeAll(temp->Fd(), bytes);
    check(::fsync(temp->Fd()) == 0);
    temp->Close();
    temp->RenameTo(target.Path);

    // The rename itself reaches the disk with the folder; the save has
    // already succeeded, so a failure here is not reported.
    const Descriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
}

} // namespace

SettingsWriteError::SettingsWriteError(const std::string& target, int errorCode)
    : std::runtime_error(message(target, errorCode)), path(target), code(errorCode) {}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    try {
        replace(resolve(path), bytes);
    } catch (const Fail& fail) {
        throw SettingsWriteError(path, fail.code);
    }
}
