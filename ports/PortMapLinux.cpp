// The port map's Linux side: the folder, what an entry is and leads to, its
// writers, and the lock files by which a virtual printer's link is told apart
// from a user's entry. An entry is a symbolic link whose target is what COMn
// opens: a device path, or a network port's address as text (a link may hold
// any text, and `ls -l` shows it as it is).
#include "ports/PortMap.h"

#include "serial/VaComm.h"
#include "serial/net/NetworkAddress.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ports {

namespace {

std::string entryPath(const std::string& comName) {
    return Folder() + "/" + comName;
}

std::string lockPath(const std::string& comName) {
    return Folder() + "/." + comName + ".simulador";
}

std::optional<std::string> linkTarget(const std::string& path) {
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
    if (n <= 0)
        return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    return target;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// What a lock file says: the printer's process and where its link leads.
struct ClaimText {
    long Pid = 0;
    std::string Device;
};

ClaimText readClaim(int fd) {
    char buffer[4200];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    ClaimText claim;
    if (n <= 0)
        return claim;
    const std::string text(buffer, static_cast<std::size_t>(n));
    const std::size_t end = text.find('\n');
    if (end == std::string::npos)
        return claim;
    std::from_chars(text.data(), text.data() + end, claim.Pid);
    std::string device = text.substr(end + 1);
    if (!device.empty() && device.back() == '\n')
        device.pop_back();
    claim.Device = device;
    return claim;
}

bool alive(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The lock file still has the name we opened it by (a mender may have
// removed it meanwhile).
bool stillNamed(int fd, const std::string& path) {
    struct stat byFd {
    }, byName{};
    return ::fstat(fd, &byFd) == 0 && ::lstat(path.c_str(), &byName) == 0 &&
           byFd.st_dev == byName.st_dev && byFd.st_ino == byName.st_ino;
}

enum class ClaimState { None, Live, Stale };

// A lock nobody holds is a printer gone. A lock held by a process that is
// gone is a mender at work on a printer gone.
ClaimState claimState(const std::string& comName, ClaimText& claim) {
    const Fd fd(::open(lockPath(comName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0)
        return ClaimState::None;
    claim = readClaim(fd.get());
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) == 0)
        return ClaimState::Stale;
    return alive(claim.Pid) ? ClaimState::Live : ClaimState::Stale;
}

// Mends the claim of COMn whose lock `fd` we hold.
Repair mendLocked(int n, int fd) {
    const std::string name = ComName(n);
    const std::string entry = entryPath(name);
    const std::string aside = AsidePath(n);
    Repair repair;
    repair.Number = n;
    repair.Device = readClaim(fd).Device;
    if (!repair.Device.empty() && linkTarget(entry) == repair.Device &&
        ::unlink(entry.c_str()) == 0)
        repair.LinkRemoved = true;
    if (exists(aside)) {
        if (!exists(entry) &&
            ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, entry.c_str(), RENAME_NOREPLACE) == 0)
            repair.Restored = true;
        else
            repair.AsideLeft = true;
    }
    if (stillNamed(fd, lockPath(name)))
        ::unlink(lockPath(name).c_str());
    return repair;
}

std::optional<int> claimNumber(const std::string& file) {
    static const std::string prefix = ".COM", suffix = ".simulador";
    if (file.size() <= prefix.size() + suffix.size() || !file.starts_with(prefix) ||
        !file.ends_with(suffix))
        return std::nullopt;
    const char* first = file.data() + prefix.size();
    const char* last = file.data() + file.size() - suffix.size();
    int n = 0;
    const auto [end, ec] = std::from_chars(first, last, n);
    if (ec != std::errc{} || end != last || n < 1 || *first == '0')
        return std::nullopt;
    return n;
}

} // namespace

std::string Folder() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/impressora-qrv/ports";
}

std::string EntryPath(int n) {
    return entryPath(ComName(n));
}

bool HasEntry(int n) {
    return exists(entryPath(ComName(n)));
}

std::set<int> EntryNumbers() {
    std::set<int> numbers;
    DIR* dir = ::opendir(Folder().c_str());
    if (!dir)
        return numbers;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        int n = 0;
        const char* end = name.data() + name.size();
        if (name.size() > 3 && name.starts_with("COM") && name[3] >= '1' && name[3] <= '9') {
            const auto [ptr, err] = std::from_chars(name.data() + 3, end, n);
            if (err == std::errc{} && ptr == end)
                numbers.insert(n);
        }
    }
    ::closedir(dir);
    return numbers;
}

std::string Resolve(const std::string& name) {
    if (serial::net::IsNetworkAddress(name) || (!name.empty() && name.front() == '/'))
        return name;
    const auto number = ParseComName(name);
    if (!number)
        return "/dev/" + name;
    const std::string comName = ComName(*number);
    const std::string entry = entryPath(comName);
    // The link of a virtual printer that has ended leads to whatever took its
    // pseudo-terminal since: never open it.
    if (IsStale(comName))
        throw EVaCommError("Port map entry " + entry +
                           " was left by a virtual printer that has ended (qrv ports mends it).");
    if (!exists(entry))
        return "/dev/ttyS" + std::to_string(*number - 1);
    // The link's target, so an error names the device that is missing.
    const auto target = linkTarget(entry);
    if (!target)
        return entry;
    if (serial::net::HasScheme(*target) || target->front() == '/')
        return *target;
    return Folder() + "/" + *target;
}

MapResult Map(int n, const std::string& target, bool force) {
    namespace fs = std::filesystem;
    MapResult result;
    const fs::path entry = entryPath(ComName(n));
    if (serial::net::HasScheme(target)) {
        const auto address = serial::net::ParseNetworkAddress(target);
        if (!address) {
            result.Outcome = MapOutcome::BadAddress;
            return result;
        }
        result.Target = address->Text();
    } else {
        result.Target = fs::absolute(target, result.Error).string();
        if (result.Error) {
            result.Outcome = MapOutcome::Failed;
            return result;
        }
    }
    std::error_code ec;
    const fs::file_status old = fs::symlink_status(entry, ec);
    if (fs::exists(old) || fs::is_symlink(old)) {
        if (!force) {
            result.Outcome = MapOutcome::Taken;
            return result;
        }
        if (fs::is_directory(old)) {
            result.Outcome = MapOutcome::IsFolder;
            return result;
        }
    }
    // A new link under a temporary name, renamed over the entry.
    const fs::path temporary =
        entry.parent_path() / ("." + ComName(n) + ".novo." + std::to_string(::getpid()));
    fs::remove(temporary, ec);
    fs::create_symlink(result.Target, temporary, result.Error);
    if (!result.Error)
        fs::rename(temporary, entry, result.Error);
    if (result.Error) {
        fs::remove(temporary, ec);
        result.Outcome = MapOutcome::Failed;
    }
    return result;
}

MapResult Unmap(int n) {
    namespace fs = std::filesystem;
    MapResult result;
    const fs::path entry = entryPath(ComName(n));
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(entry, ec);
    if (!fs::exists(status) && !fs::is_symlink(status))
        result.Outcome = MapOutcome::NotMapped;
    else if (!fs::is_symlink(status))
        result.Outcome = MapOutcome::NotALink;
    else if (!fs::remove(entry, result.Error) || result.Error)
        result.Outcome = MapOutcome::Failed;
    if (result.Outcome == MapOutcome::Done || result.Outcome == MapOutcome::NotMapped)
        result.Target = DeviceOf(n);
    return result;
}

std::string AsidePath(int n) {
    return Folder() + "/.COM" + std::to_string(n) + ".guardado";
}

bool IsStale(const std::string& comName) {
    ClaimText claim;
    if (claimState(comName, claim) != ClaimState::Stale)
        return false;
    const std::string entry = entryPath(comName);
    if (!exists(entry))
        return exists(Folder() + "/." + comName + ".guardado");
    return !claim.Device.empty() && linkTarget(entry) == claim.Device;
}

Entry EntryOf(int n) {
    const std::string name = ComName(n);
    const std::string path = entryPath(name);
    Entry entry;
    entry.Device = DeviceOf(n);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        entry.Kind = IsStale(name) ? EntryKind::Stale : EntryKind::None;
        return entry;
    }
    entry.IsLink = S_ISLNK(st.st_mode);
    if (entry.IsLink) {
        ClaimText claim;
        const ClaimState state = claimState(name, claim);
        const bool ours = !claim.Device.empty() && linkTarget(path) == claim.Device;
        if (ours && state == ClaimState::Stale) {
            entry.Kind = EntryKind::Stale;
            return entry;
        }
        entry.Virtual = ours && state == ClaimState::Live;
        const std::string target = linkTarget(path).value_or(std::string());
        if (serial::net::HasScheme(target)) {
            entry.Kind = serial::net::ParseNetworkAddress(target) ? EntryKind::Network
                                                                  : EntryKind::BadAddress;
            return entry;
        }
        if (::stat(path.c_str(), &st) != 0) {
            entry.Kind = EntryKind::Missing;
            return entry;
        }
    }
    if (S_ISCHR(st.st_mode))
        entry.Kind = EntryKind::Device;
    else if (S_ISDIR(st.st_mode))
        entry.Kind = EntryKind::Folder;
    else if (S_ISREG(st.st_mode))
        entry.Kind = EntryKind::File;
    else
        entry.Kind = EntryKind::OtherFile;
    return entry;
}

std::optional<VirtualClaim> VirtualClaim::Take(int n, const std::string& device, std::string& error,
                                               bool& busy) {
    busy = false;
    const std::string path = lockPath(ComName(n));
    for (;;) {
        Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (fd.get() < 0) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            busy = errno == EWOULDBLOCK;
            error = std::strerror(errno);
            return std::nullopt;
        }
        if (!stillNamed(fd.get(), path))
            continue; // a mender removed it between our open and our lock
        struct stat st {};
        if (::fstat(fd.get(), &st) == 0 && st.st_size > 0) {
            // A printer that is gone left it: mend its link, then start over.
            mendLocked(n, fd.get());
            continue;
        }
        const std::string text = std::to_string(::getpid()) + "\n" + device + "\n";
        if (::pwrite(fd.get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
            error = std::strerror(errno);
            ::unlink(path.c_str());
            return std::nullopt;
        }
        return VirtualClaim(fd.release(), path);
    }
}

VirtualClaim::VirtualClaim(VirtualClaim&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

VirtualClaim::~VirtualClaim() {
    if (fd_ < 0)
        return;
    if (stillNamed(fd_, path_))
        ::unlink(path_.c_str());
    ::close(fd_);
}

VirtualLink::Placed VirtualLink::Place(int n, const std::string& device, bool force) {
    namespace fs = std::filesystem;
    number_ = n;
    target_ = device;
    const std::string entry = entryPath(ComName(n));
    const std::string aside = AsidePath(n);
    Placed result;
    bool busy = false;
    if (auto taken = VirtualClaim::Take(n, target_, result.Error, busy)) {
        claim_.emplace(std::move(*taken));
    } else {
        result.Why = busy ? Refusal::Busy : Refusal::ClaimFailed;
        return result;
    }
    std::error_code ec;
    const fs::file_status old = fs::symlink_status(entry, ec);
    if (fs::exists(old) || fs::is_symlink(old)) {
        if (!force || fs::is_directory(old)) {
            result.Why = force ? Refusal::IsFolder : Refusal::Taken;
            claim_.reset();
            return result;
        }
        if (exists(aside)) {
            result.Why = Refusal::AsideTaken;
            claim_.reset();
            return result;
        }
        if (::renameat2(AT_FDCWD, entry.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) != 0) {
            result.Why = Refusal::Failed;
            result.Error = std::strerror(errno);
            claim_.reset();
            return result;
        }
        saved_ = true;
    }
    if (::symlink(target_.c_str(), entry.c_str()) != 0) {
        result.Why = Refusal::Failed;
        result.Error = std::strerror(errno);
        if (saved_)
            ::rename(aside.c_str(), entry.c_str());
        saved_ = false;
        claim_.reset();
        return result;
    }
    placed_ = true;
    return result;
}

VirtualLink::Removal VirtualLink::Remove() {
    Removal result;
    result.KeptAside = saved_;
    // The claim goes last, once the link and what it kept aside are undone.
    struct Release {
        std::optional<VirtualClaim>& Claim;
        ~Release() { Claim.reset(); }
    } release{claim_};
    if (!placed_)
        return result;
    placed_ = false;
    const std::string entry = entryPath(ComName(number_));
    if (linkTarget(entry) != target_) {
        result.What = Undone::ChangedMeanwhile;
        return result;
    }
    const int done =
        saved_ ? ::rename(AsidePath(number_).c_str(), entry.c_str()) : ::unlink(entry.c_str());
    if (done != 0) {
        result.What = Undone::Failed;
        result.Error = std::strerror(errno);
        return result;
    }
    result.What = saved_ ? Undone::Restored : Undone::Removed;
    return result;
}

std::vector<Repair> RepairStale() {
    std::vector<Repair> repairs;
    DIR* dir = ::opendir(Folder().c_str());
    if (!dir)
        return repairs;
    std::vector<std::pair<int, std::string>> claims;
    while (const dirent* e = ::readdir(dir))
        if (const auto n = claimNumber(e->d_name))
            claims.emplace_back(*n, Folder() + "/" + e->d_name);
    ::closedir(dir);
    std::sort(claims.begin(), claims.end());
    for (const auto& [n, path] : claims) {
        const Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 ||
            !stillNamed(fd.get(), path))
            continue;
        repairs.push_back(mendLocked(n, fd.get()));
    }
    return repairs;
}

} // namespace ports
