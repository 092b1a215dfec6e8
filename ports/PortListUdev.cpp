// The port list on Linux: what udev knows of each tty device. The stable
// names come from the devices' DEVLINKS rather than from /dev/serial, which
// may be missing (a container, a test bed) while udev still knows them.
#include "ports/PortListPlatform.h"
#include "ports/PortMap.h"
#include "serial/linux/NoDevice.h"

#include <libudev.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <sstream>

namespace ports::platform {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T> using Owned = std::unique_ptr<T, UdevDeleter>;

std::string text(const char* value) {
    return value ? value : "";
}

std::string property(udev_device* device, const char* key) {
    return text(udev_device_get_property_value(device, key));
}

std::string attribute(udev_device* device, const char* key) {
    return device ? text(udev_device_get_sysattr_value(device, key)) : std::string();
}

// The first value that is set. Names and serial numbers come from the
// device's own descriptors: a control character in them becomes "?", so
// that no device can write to the technician's terminal.
std::string firstOf(std::initializer_list<std::string> values) {
    for (std::string value : values)
        if (!value.empty()) {
            for (char& c : value)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                    c = '?';
            return value;
        }
    return {};
}

// udev's "type" attribute of a serial port is the UART type TIOCGSERIAL
// reports; without it, the port gives no type.
int serialType(udev_device* device) {
    const std::string value = attribute(device, "type");
    int type = serial::device::detail::kNoSerialType;
    std::from_chars(value.data(), value.data() + value.size(), type);
    return type;
}

std::string driverOf(udev_device* device) {
    const std::string usb = property(device, "ID_USB_DRIVER");
    if (!usb.empty())
        return usb;
    // Since Linux 6.5 a built-in port sits on the serial core's own devices
    // (drivers "port" and "ctrl"); the UART's driver is above them.
    for (udev_device* d = udev_device_get_parent(device); d; d = udev_device_get_parent(d)) {
        const char* driver = udev_device_get_driver(d);
        if (driver && text(udev_device_get_subsystem(d)) != "serial-base")
            return driver;
    }
    return {};
}

SerialDevice describe(udev_device* device, const std::string& node) {
    SerialDevice serial;
    serial.Node = node;
    serial.Number = udev_device_get_devnum(device);
    std::istringstream links(property(device, "DEVLINKS"));
    for (std::string link; links >> link;) {
        if (link.starts_with("/dev/serial/by-id/"))
            serial.ById.push_back(link);
        else if (link.starts_with("/dev/serial/by-path/"))
            serial.ByPath.push_back(link);
    }
    std::sort(serial.ById.begin(), serial.ById.end());
    std::sort(serial.ByPath.begin(), serial.ByPath.end());

    // Borrowed: the parent belongs to `device`.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    serial.VendorId = firstOf({property(device, "ID_VENDOR_ID"), attribute(usb, "idVendor")});
    serial.ProductId = firstOf({property(device, "ID_MODEL_ID"), attribute(usb, "idProduct")});
    serial.Vendor = firstOf({property(device, "ID_VENDOR_FROM_DATABASE"),
                             attribute(usb, "manufacturer"), property(device, "ID_VENDOR")});
    serial.Product = firstOf({property(device, "ID_MODEL_FROM_DATABASE"), attribute(usb, "product"),
                              property(device, "ID_MODEL")});
    serial.Serial = firstOf({property(device, "ID_SERIAL_SHORT"), attribute(usb, "serial")});
    serial.Driver = driverOf(device);
    if (usb)
        serial.UsbLocation = text(udev_device_get_sysname(usb));
    const std::string name = node.substr(node.rfind('/') + 1);
    serial.BuiltIn = name.starts_with("ttyS") && !usb;
    return serial;
}

// ttyUSB2 before ttyUSB10.
bool nodeOrder(const SerialDevice& a, const SerialDevice& b) {
    const auto split = [](const std::string& node) {
        const size_t digits = node.find_last_not_of("0123456789") + 1;
        unsigned long number = 0;
        std::from_chars(node.data() + digits, node.data() + node.size(), number);
        return std::make_pair(node.substr(0, digits), number);
    };
    return split(a.Node) < split(b.Node);
}

} // namespace

Scan ScanDevices() {
    Scan scan;
    const Owned<udev> context(udev_new());
    if (!context)
        return scan;
    const Owned<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate)
        return scan;
    udev_enumerate_add_match_subsystem(enumerate.get(), "tty");
    udev_enumerate_scan_devices(enumerate.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const Owned<udev_device> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        // Virtual terminals and pseudo-terminals sit on no bus: no parent.
        if (!device || !udev_device_get_parent(device.get()))
            continue;
        const char* node = udev_device_get_devnode(device.get());
        if (!node)
            continue;
        // The binding's own rule for a built-in port with no UART, with the
        // type udev read, so that listing opens no port (opening one raises
        // its modem lines).
        if (serial::device::detail::NoDeviceBehind(node, 0, serialType(device.get()))) {
            scan.WithoutUart.push_back(udev_device_get_devnum(device.get()));
            continue;
        }
        scan.Devices.push_back(describe(device.get(), node));
    }
    std::sort(scan.Devices.begin(), scan.Devices.end(), nodeOrder);
    return scan;
}

std::optional<uint64_t> NodeNumber(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    return static_cast<uint64_t>(st.st_rdev);
}

} // namespace ports::platform

namespace ports {

std::vector<std::string> PortNames() {
    std::vector<std::string> names;
    for (const SerialDevice& device : platform::ScanDevices().Devices)
        names.push_back(device.Node);
    for (const int n : EntryNumbers())
        names.push_back(ComName(n));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

} // namespace ports
