// The virtual printer's claims on entries of the port map: the lock files
// ".COMn.simulador" beside the entries, what they say, how a claim is taken,
// given up and mended, and the link a running printer places under one.
#include "ports/LockOwner.h"
#include "ports/MapFolderLinux.h"
#include "ports/PortMap.h"

#include "serial/device/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ports {

using detail::ClaimState;
using detail::ClaimText;
using detail::EntryFile;
using detail::Exists;
using detail::LinkTarget;
using serial::device::FileDescriptor;

bool LockOwnerAlive(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

namespace {

std::string lockPath(const std::string& comName) {
    return Folder() + "/." + comName + ".simulador";
}

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

// The lock file still has the name we opened it by (a mender may have
// removed it meanwhile).
bool stillNamed(int fd, const std::string& path) {
    struct stat byFd {
    }, byName{};
    return ::fstat(fd, &byFd) == 0 && ::lstat(path.c_str(), &byName) == 0 &&
           byFd.st_dev == byName.st_dev && byFd.st_ino == byName.st_ino;
}

// Mends the claim of COMn whose lock `fd` we hold.
Repair mendLocked(int n, int fd) {
    const std::string name = ComName(n);
    const std::string entry = EntryFile(name);
    const std::string aside = AsidePath(n);
    Repair repair;
    repair.Number = n;
    repair.Device = readClaim(fd).Device;
    if (!repair.Device.empty() && LinkTarget(entry) == repair.Device &&
        ::unlink(entry.c_str()) == 0)
        repair.LinkRemoved = true;
    if (Exists(aside)) {
        if (!Exists(entry) &&
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
    static const std::string prefix = ".", suffix = ".simulador";
    if (!file.starts_with(prefix) || !file.ends_with(suffix) ||
        file.size() < prefix.size() + suffix.size())
        return std::nullopt;
    const std::string name =
        file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
    if (const auto n = ParseComName(name); n && ComName(*n) == name)
        return n;
    return std::nullopt;
}

} // namespace

namespace detail {

// A lock nobody holds is a printer gone. A lock held by a process that is
// gone is a mender at work on a printer gone.
ClaimState ClaimStateOf(const std::string& comName, ClaimText& claim) {
    const FileDescriptor fd(::open(lockPath(comName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0)
        return ClaimState::None;
    claim = readClaim(fd.get());
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) == 0)
        return ClaimState::Stale;
    return LockOwnerAlive(claim.Pid) ? ClaimState::Live : ClaimState::Stale;
}

} // namespace detail

std::string AsidePath(int n) {
    return Folder() + "/." + ComName(n) + ".guardado";
}

bool IsStale(const std::string& comName) {
    ClaimText claim;
    if (detail::ClaimStateOf(comName, claim) != ClaimState::Stale)
        return false;
    const std::string entry = EntryFile(comName);
    if (!Exists(entry)) {
        const auto n = ParseComName(comName);
        return n && Exists(AsidePath(*n));
    }
    return !claim.Device.empty() && LinkTarget(entry) == claim.Device;
}

std::optional<VirtualClaim> VirtualClaim::Take(int n, const std::string& device, std::string& error,
                                               bool& busy) {
    busy = false;
    const std::string path = lockPath(ComName(n));
    for (;;) {
        FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
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
    const std::string entry = EntryFile(ComName(n));
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
        if (Exists(aside)) {
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
    const std::string entry = EntryFile(ComName(number_));
    if (LinkTarget(entry) != target_) {
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
        const FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 ||
            !stillNamed(fd.get(), path))
            continue;
        repairs.push_back(mendLocked(n, fd.get()));
    }
    return repairs;
}

} // namespace ports
