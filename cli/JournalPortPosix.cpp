#include "cli/JournalPort.h"

#include "serial/PortMap.h"

#include <filesystem>

bool IsVirtualPrinter(const PortName& port, const std::string& device) {
    if (port.Number > 0)
        return portmap::EntryOf(port.Number).Virtual;
    std::error_code ec;
    const auto target = std::filesystem::canonical(device, ec);
    if (ec)
        return false;
    for (const int n : portmap::EntryNumbers()) {
        const portmap::Entry entry = portmap::EntryOf(n);
        if (entry.Virtual && std::filesystem::canonical(entry.Device, ec) == target && !ec)
            return true;
    }
    return false;
}
