// The port map's Linux side: the folder, what an entry is and leads to, and
// its writers. The lock files by which a virtual printer's link is told apart
// from a user's entry are VirtualClaimLinux.cpp's. An entry is a symbolic
// link whose target is what COMn opens: a device path, or a network port's
// address as text (a link may hold any text, and `ls -l` shows it as it is).
#include "ports/PortMap.h"

#include "ports/MapFolderLinux.h"
#include "serial/net/NetworkAddress.h"

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ports {

namespace detail {

std::string EntryFile(const std::string& comName) {
    return Folder() + "/" + comName;
}

std::optional<std::string> LinkTarget(const std::string& path) {
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
    if (n <= 0)
        return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    return target;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace detail

using detail::EntryFile;
using detail::Exists;
using detail::LinkTarget;

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
    return EntryFile(ComName(n));
}

bool HasEntry(int n) {
    return Exists(EntryFile(ComName(n)));
}

std::set<int> EntryNumbers() {
    std::set<int> numbers;
    DIR* dir = ::opendir(Folder().c_str());
    if (!dir)
        return numbers;
    while (const dirent* entry = ::readdir(dir)) {
        // Only the canonical spelling names an entry: "com5" opens nothing.
        const std::string name = entry->d_name;
        if (const auto n = ParseComName(name); n && ComName(*n) == name)
            numbers.insert(*n);
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
    const std::string entry = EntryFile(comName);
    // The link of a virtual printer that has ended leads to whatever took its
    // pseudo-terminal since: never open it.
    if (IsStale(comName))
        throw StaleEntry("Port map entry " + entry +
                         " was left by a virtual printer that has ended (qrv ports mends it).");
    if (!Exists(entry))
        return "/dev/ttyS" + std::to_string(*number - 1);
    // The link's target, so an error names the device that is missing.
    const auto target = LinkTarget(entry);
    if (!target)
        return entry;
    if (serial::net::HasScheme(*target) || target->front() == '/')
        return *target;
    return Folder() + "/" + *target;
}

MapResult Map(int n, const std::string& target, bool force) {
    namespace fs = std::filesystem;
    MapResult result;
    const fs::path entry = EntryFile(ComName(n));
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
    const fs::path entry = EntryFile(ComName(n));
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

Entry EntryOf(int n) {
    const std::string name = ComName(n);
    const std::string path = EntryFile(name);
    Entry entry;
    entry.Device = DeviceOf(n);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        entry.Kind = IsStale(name) ? EntryKind::Stale : EntryKind::None;
        return entry;
    }
    entry.IsLink = S_ISLNK(st.st_mode);
    if (entry.IsLink) {
        detail::ClaimText claim;
        const detail::ClaimState state = detail::ClaimStateOf(name, claim);
        const bool ours = !claim.Device.empty() && LinkTarget(path) == claim.Device;
        if (ours && state == detail::ClaimState::Stale) {
            entry.Kind = EntryKind::Stale;
            return entry;
        }
        entry.Virtual = ours && state == detail::ClaimState::Live;
        const std::string target = LinkTarget(path).value_or(std::string());
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

} // namespace ports
