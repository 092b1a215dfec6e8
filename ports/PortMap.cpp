#include "ports/PortMap.h"

#include "serial/VaComm.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace ports {

namespace {

fs::path canonicalOrSelf(const fs::path& path) {
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    return ec ? path : resolved;
}

} // namespace

std::string DeviceOf(int n) {
    try {
        return Resolve(ComName(n));
    } catch (const EVaCommError&) {
        // A stale entry, which no opener opens: where its link leads.
        const fs::path entry = fs::path(Folder()) / ComName(n);
        std::error_code ec;
        const fs::path target = fs::read_symlink(entry, ec);
        return ec ? entry.string() : (fs::path(Folder()) / target).string();
    }
}

std::vector<std::string> SerialAdapters() {
    std::vector<std::string> adapters;
    std::set<fs::path> seen;
    std::error_code ec;
    std::vector<std::string> byId;
    // Folders change while they are read (an adapter unplugged): an error
    // ends the listing, it never throws.
    for (auto it = fs::directory_iterator("/dev/serial/by-id", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec))
        byId.push_back(it->path().string());
    std::sort(byId.begin(), byId.end());
    for (const std::string& path : byId) {
        adapters.push_back(path);
        seen.insert(canonicalOrSelf(path));
    }
    std::vector<std::string> nodes;
    ec.clear();
    for (auto it = fs::directory_iterator("/dev", ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM"))
            nodes.push_back(it->path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    for (const std::string& path : nodes)
        if (!seen.contains(canonicalOrSelf(path)))
            adapters.push_back(path);
    return adapters;
}

} // namespace ports
