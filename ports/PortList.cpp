#include "ports/PortList.h"

#include "ports/PortListPlatform.h"
#include "ports/PortMap.h"
#include "serial/net/NetworkAddress.h"

#include <algorithm>
#include <set>

namespace ports {

namespace {

bool shares(const std::string& name, const SerialDevice& self,
            const std::vector<SerialDevice>& devices) {
    return std::any_of(devices.begin(), devices.end(), [&](const SerialDevice& other) {
        return other.Number != self.Number &&
               std::find(other.ById.begin(), other.ById.end(), name) != other.ById.end();
    });
}

} // namespace

std::optional<uint64_t> DeviceNumber(const std::string& path,
                                     const std::vector<SerialDevice>& devices) {
    if (const auto number = platform::NodeNumber(path))
        return number;
    for (const SerialDevice& device : devices) {
        const auto named = [&path](const std::vector<std::string>& names) {
            return std::find(names.begin(), names.end(), path) != names.end();
        };
        if (device.Node == path || named(device.ById) || named(device.ByPath))
            return device.Number;
    }
    return std::nullopt;
}

std::string StableName(const SerialDevice& device, const std::vector<SerialDevice>& devices) {
    // Without a serial number the by-id name says only which model it is: a
    // second adapter of the same model takes it over.
    if (!device.Serial.empty())
        for (const std::string& name : device.ById)
            if (!shares(name, device, devices))
                return name;
    if (!device.ByPath.empty())
        return device.ByPath.front();
    if (!device.ById.empty())
        return device.ById.front();
    return device.Node;
}

Overview Join(std::string folder, std::vector<MapEntry> entries,
              const std::vector<SerialDevice>& devices) {
    Overview overview;
    overview.Folder = std::move(folder);
    std::sort(entries.begin(), entries.end(),
              [](const MapEntry& a, const MapEntry& b) { return a.Number < b.Number; });

    std::set<int> taken;
    for (const MapEntry& entry : entries) {
        NamedPort port;
        port.Number = entry.Number;
        port.Device = entry.Device;
        port.Mapped = entry.Mapped;
        port.Exists = entry.DeviceNumber.has_value() && !entry.BuiltInWithoutUart;
        port.InWindow = entry.Number >= 1 && entry.Number <= WindowPorts;
        if (entry.Mapped || port.Exists)
            taken.insert(entry.Number);
        overview.Ports.push_back(std::move(port));
    }

    int next = 1;
    for (const SerialDevice& device : devices) {
        Adapter adapter;
        adapter.Device = device;
        adapter.StableName = StableName(device, devices);
        for (const MapEntry& entry : entries)
            if (entry.DeviceNumber == device.Number && !entry.BuiltInWithoutUart)
                adapter.OpenedBy.push_back(entry.Number);
        if (adapter.OpenedBy.empty()) {
            while (next <= WindowPorts && taken.contains(next))
                ++next;
            if (next <= WindowPorts)
                adapter.SuggestedPort = next++;
        }
        overview.Adapters.push_back(std::move(adapter));
    }
    return overview;
}

std::string StableNameOf(const std::string& path) {
    if (path.empty() || serial::net::IsNetworkAddress(path))
        return {};
    const std::vector<SerialDevice> devices = SerialDevices();
    const std::optional<uint64_t> number = DeviceNumber(path, devices);
    for (const SerialDevice& device : devices)
        if (number && device.Number == *number && (!device.ById.empty() || !device.ByPath.empty()))
            return StableName(device, devices);
    return {};
}

Overview Current() {
    const platform::Scan scan = platform::ScanDevices();
    std::set<int> numbers = ports::EntryNumbers();
    for (int n = 1; n <= WindowPorts; ++n)
        numbers.insert(n);
    std::vector<MapEntry> entries;
    for (const int n : numbers) {
        MapEntry entry;
        entry.Number = n;
        entry.Device = ports::DeviceOf(n);
        entry.Mapped = ports::HasEntry(n);
        entry.DeviceNumber = DeviceNumber(entry.Device, scan.Devices);
        entry.BuiltInWithoutUart =
            entry.DeviceNumber && std::find(scan.WithoutUart.begin(), scan.WithoutUart.end(),
                                            *entry.DeviceNumber) != scan.WithoutUart.end();
        entries.push_back(std::move(entry));
    }
    return Join(ports::Folder(), std::move(entries), scan.Devices);
}

std::vector<SerialDevice> SerialDevices() {
    return platform::ScanDevices().Devices;
}

} // namespace ports
