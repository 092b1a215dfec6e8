#include "ports/PortMap.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace ports {

std::string DeviceOf(int n) {
    try {
        return Resolve(ComName(n));
    } catch (const StaleEntry&) {
        // A stale entry, which no opener opens: where its link leads.
        const fs::path entry = fs::path(Folder()) / ComName(n);
        std::error_code ec;
        const fs::path target = fs::read_symlink(entry, ec);
        return ec ? entry.string() : (fs::path(Folder()) / target).string();
    }
}

} // namespace ports
