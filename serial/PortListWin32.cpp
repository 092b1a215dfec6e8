// The port list on Windows: the system's port names, with nothing more known
// of them; the names are the devices.
#include "serial/PortListPlatform.h"

#include "serial/VaCommPlatform.h"

namespace portlist::platform {

Scan ScanDevices() {
    Scan scan;
    uint64_t number = 0;
    for (const std::string& name : vaplatform::PortNames()) {
        SerialDevice device;
        device.Node = name;
        device.Number = ++number;
        scan.Devices.push_back(std::move(device));
    }
    return scan;
}

std::optional<uint64_t> NodeNumber(const std::string&) {
    return std::nullopt;
}

} // namespace portlist::platform
