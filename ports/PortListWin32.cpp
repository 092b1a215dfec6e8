// The port list on Windows: the system's port names, with nothing more known
// of them. A device's number is its place in that list.
#include "ports/PortListPlatform.h"

#include "serial/device/Device.h"

#include <algorithm>
#include <cctype>

namespace ports::platform {

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

} // namespace

Scan ScanDevices() {
    Scan scan;
    uint64_t number = 0;
    for (const std::string& name : serial::device::PortNames()) {
        SerialDevice device;
        device.Node = name;
        device.Number = ++number;
        scan.Devices.push_back(std::move(device));
    }
    return scan;
}

std::optional<uint64_t> NodeNumber(const std::string& path) {
    // "\\.\COM3" is the device COM3.
    const std::string name = upper(path.starts_with("\\\\.\\") ? path.substr(4) : path);
    const std::vector<std::string> names = serial::device::PortNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (upper(names[i]) == name)
            return i + 1;
    return std::nullopt;
}

} // namespace ports::platform
