#include "cli/JournalPort.h"

#include "ports/PortMap.h"

#include <filesystem>

bool IsVirtualPrinter(const PortName& port, const std::string& device) {
    if (port.Number > 0)
        return ports::EntryOf(port.Number).Virtual;
    std::error_code ec;
    const auto target = std::filesystem::canonical(device, ec);
    if (ec)
        return false;
    for (const int n : ports::EntryNumbers()) {
        const ports::Entry entry = ports::EntryOf(n);
        if (entry.Virtual && std::filesystem::canonical(entry.Device, ec) == target && !ec)
            return true;
    }
    return false;
}
