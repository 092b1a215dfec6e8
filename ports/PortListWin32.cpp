// The port list on Windows: the system's port names (the registry's serial
// ports and the COMn among the DOS devices), with nothing more known of
// them. A device's number is its place in that list.
#include "ports/PortListPlatform.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <set>

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
    for (const std::string& name : PortNames()) {
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
    const std::vector<std::string> names = PortNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (upper(names[i]) == name)
            return i + 1;
    return std::nullopt;
}

} // namespace ports::platform

namespace ports {

std::vector<std::string> PortNames() {
    std::set<std::string> names;
    HKEY key{};
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            char value[256];
            DWORD valueSize = sizeof value;
            BYTE data[256];
            DWORD dataSize = sizeof data - 1;
            DWORD type = 0;
            const LONG r =
                RegEnumValueA(key, i, value, &valueSize, nullptr, &type, data, &dataSize);
            if (r == ERROR_NO_MORE_ITEMS)
                break;
            if (r != ERROR_SUCCESS || type != REG_SZ)
                continue;
            data[dataSize] = 0;
            std::string port(reinterpret_cast<const char*>(data));
            while (!port.empty() && port.back() == '\0')
                port.pop_back();
            if (!port.empty())
                names.insert(port);
        }
        RegCloseKey(key);
    }
    // Every DOS device name; the COMn among them are the ports.
    std::vector<char> all(65536);
    const DWORD n = QueryDosDeviceA(nullptr, all.data(), static_cast<DWORD>(all.size()));
    for (DWORD i = 0; i < n && all[i];) {
        const std::string device(&all[i]);
        i += static_cast<DWORD>(device.size()) + 1;
        if (ParseComName(device))
            names.insert(device);
    }
    std::vector<std::string> sorted(names.begin(), names.end());
    // COM2 before COM10.
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return sorted;
}

} // namespace ports
