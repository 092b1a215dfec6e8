#include "cli/PortChecks.h"

#include "cli/FailureText.h"

#include "ports/LockOwner.h"
#include "ports/PortMap.h"

#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string userName() {
    if (const passwd* pw = ::getpwuid(::geteuid()))
        return pw->pw_name;
    return std::to_string(::geteuid());
}

std::string groupName(gid_t gid) {
    if (const group* gr = ::getgrgid(gid))
        return gr->gr_name;
    return std::to_string(gid);
}

bool inSession(gid_t gid) {
    if (::getegid() == gid)
        return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
    for (int i = 0; i < n; ++i)
        if (groups[static_cast<std::size_t>(i)] == gid)
            return true;
    return false;
}

bool inGroupFile(const std::string& user, gid_t gid) {
    const group* gr = ::getgrgid(gid);
    if (!gr)
        return false;
    for (char** member = gr->gr_mem; member && *member; ++member)
        if (user == *member)
            return true;
    return false;
}

std::string programOf(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "?" : name;
}

std::vector<long> processes() {
    std::vector<long> pids;
    if (DIR* dir = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(dir)) {
            long pid = 0;
            const char* end = e->d_name + std::char_traits<char>::length(e->d_name);
            if (std::from_chars(e->d_name, end, pid).ptr == end && pid > 0)
                pids.push_back(pid);
        }
        ::closedir(dir);
    }
    return pids;
}

// The processes other than this one with `device` open; `unreadable` when
// some process's descriptors could not be read (another user's, without root).
std::vector<long> openers(const struct stat& device, bool& unreadable) {
    std::vector<long> found;
    for (const long pid : processes()) {
        if (pid == ::getpid())
            continue;
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
        DIR* dir = ::opendir(fds.c_str());
        if (!dir) {
            unreadable = unreadable || errno == EACCES;
            continue;
        }
        while (const dirent* e = ::readdir(dir)) {
            struct stat st {};
            if (e->d_name[0] == '.' || ::stat((fds + "/" + e->d_name).c_str(), &st) != 0)
                continue;
            const bool same = S_ISCHR(device.st_mode)
                                  ? S_ISCHR(st.st_mode) && st.st_rdev == device.st_rdev
                                  : st.st_dev == device.st_dev && st.st_ino == device.st_ino;
            if (same) {
                found.push_back(pid);
                break;
            }
        }
        ::closedir(dir);
    }
    return found;
}

// The PID a UUCP lock file names: ten ASCII digits, or a binary int of the
// oldest tools.
long lockFilePid(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    long pid = 0;
    const std::size_t first = text.find_first_not_of(' ');
    if (first != std::string::npos &&
        text.find_first_not_of(" 0123456789\n") == std::string::npos &&
        std::from_chars(text.data() + first, text.data() + text.size(), pid).ec == std::errc{})
        return pid;
    if (text.size() == 4) {
        int32_t binary = 0;
        std::copy(text.begin(), text.end(), reinterpret_cast<char*>(&binary));
        return binary;
    }
    return 0;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::optional<std::pair<uint64_t, uint64_t>> DeviceIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return std::pair<uint64_t, uint64_t>{UINT64_MAX, st.st_rdev};
    return std::pair<uint64_t, uint64_t>{st.st_dev, st.st_ino};
}

std::string DevicePath(const PortName& port) {
    if (port.Number == 0)
        return port.Path;
    // A stale entry opens nothing, whatever its link now leads to.
    if (ports::IsStale(ports::ComName(port.Number)))
        return {};
    return ports::DeviceOf(port.Number);
}

std::optional<std::string> GroupHint(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return std::nullopt;
    DeviceAccess access;
    access.Device = device;
    access.Mode = st.st_mode & 07777;
    access.User = userName();
    access.Group = groupName(st.st_gid);
    const passwd* owner = ::getpwuid(st.st_uid);
    access.Owner = owner ? owner->pw_name : std::to_string(st.st_uid);
    access.GroupIsRoot = st.st_gid == 0;
    access.InSession = inSession(st.st_gid);
    access.InGroupFile = inGroupFile(access.User, st.st_gid);
    return AccessAdvice(access);
}

std::string HolderHint(const std::string& device, const std::string& lockFolder,
                       const std::string& subject) {
    struct stat st {};
    bool unreadable = false;
    std::vector<long> pids;
    if (::stat(device.c_str(), &st) == 0)
        pids = openers(st, unreadable);
    if (!pids.empty()) {
        std::string text = subject + " está aberta por ";
        for (std::size_t i = 0; i < pids.size(); ++i)
            text += (i == 0 ? "" : ", ") + std::string("processo ") + std::to_string(pids[i]) +
                    " (" + programOf(pids[i]) + ")";
        return text;
    }
    std::vector<std::string> names{baseName(device)};
    char target[4096];
    const ssize_t n = ::readlink(device.c_str(), target, sizeof target - 1);
    if (n > 0)
        names.push_back(baseName(std::string(target, static_cast<std::size_t>(n))));
    for (const std::string& name : names) {
        const std::string lock = lockFolder + "/LCK.." + name;
        if (const long pid = lockFilePid(lock); ports::LockOwnerAlive(pid))
            return lock + " diz que o processo " + std::to_string(pid) + " (" + programOf(pid) +
                   ") usa " + subject;
    }
    return "não foi possível saber que programa usa " + subject +
           (unreadable ? " (há processos de outros usuários que só o root pode ver)" : "");
}

std::vector<std::string> RefusalHints(const PortName& port, const std::string& device, int code) {
    if (code == ports::StaleEntry::Code)
        return {"a entrada do mapa de portas foi deixada por uma impressora virtual que terminou; "
                "nada foi enviado. qrv ports desfaz a entrada"};
    switch (code) {
    case EACCES:
        if (const auto hint = GroupHint(device))
            return {*hint};
        return {};
    case EAGAIN:
    case EBUSY:
        return {HolderHint(device, "/run/lock", device == port.Display() ? "a porta" : device)};
    default:
        return {};
    }
}

ConnectionFault ConnectionFaultOf(int code) {
    switch (code) {
    case ECONNREFUSED:
        return ConnectionFault::Refused;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ENOTCONN:
        return ConnectionFault::Closed;
    case EHOSTUNREACH:
    case ENETUNREACH:
        return ConnectionFault::Unreachable;
    default:
        return ConnectionFault::None;
    }
}
