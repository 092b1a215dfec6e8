// The port list on Windows: the system's port names, with nothing more known
// of them. A device's number is its place in that list.
#include "serial/PortListPlatform.h"

#include "serial/VaCommPlatform.h"

#include <algorithm>
#include <cctype>

namespace portlist::platform {

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
    for (const std::string& name : vaplatform::PortNames()) {
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
    const std::vector<std::string> names = vaplatform::PortNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (upper(names[i]) == name)
            return i + 1;
    return std::nullopt;
}

} // namespace portlist::platform
