#pragma once

#include "ports/ComName.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The serial devices of the system and the port names that open them: what
// `qrv ports` shows. Devices are told apart by their device numbers, never by
// their paths, so one device reached under two names (its node, a
// /dev/serial link, a port map entry) is one device. Plain functions; any
// thread.
namespace ports {

// One serial port of the system with hardware behind it.
struct SerialDevice {
    std::string Node;                // "/dev/ttyUSB0"
    uint64_t Number = 0;             // the device number (stat's st_rdev)
    std::vector<std::string> ById;   // its /dev/serial/by-id names, sorted
    std::vector<std::string> ByPath; // its /dev/serial/by-path names, sorted
    std::string VendorId, ProductId; // USB IDs, four hex digits; empty if not USB
    std::string Vendor, Product;     // names, from the hardware database or the device
    std::string Serial;              // the USB serial number; empty when it has none
    std::string Driver;              // "ftdi_sio", "cp210x", "serial8250"...
    std::string UsbLocation;         // bus and socket chain, "1-1.4"; empty if not USB
    bool BuiltIn = false;            // a /dev/ttyS* port
};

// Every serial port with hardware behind it, sorted by node: on Linux the tty
// devices udev knows that sit on a bus (virtual terminals and
// pseudo-terminals are not serial ports), without the built-in ports whose
// UART is missing. On Windows: the system's port names, nothing else known.
std::vector<SerialDevice> SerialDevices();

// The device number of `path`: stat's, following links; else, for a name
// that is not on disk, the device that udev gives that name (`devices`'
// by-id and by-path names). Nothing for a path that names no device.
std::optional<uint64_t> DeviceNumber(const std::string& path,
                                     const std::vector<SerialDevice>& devices);

// The name to map `device` by, the one that stays the same from one plug to
// the next: its by-id name when it has a serial number and no other device
// of `devices` has that name; else its by-path name (the USB socket); else
// whatever it has (by-id, then its node).
std::string StableName(const SerialDevice& device, const std::vector<SerialDevice>& devices);

// The stable name of whatever serial device `path` (a node or any of its
// names) is, as StableName gives it; empty for a network port, or a device
// that has no by-id or by-path name.
std::string StableNameOf(const std::string& path);

// A port name "COMn" as the map and the devices make it.
struct NamedPort {
    int Number = 0;     // n of COMn
    std::string Device; // the device it opens (map entry or /dev/ttyS<n-1>)
    bool Mapped = false;
    bool Exists = false;   // there is a device behind it
    bool InWindow = false; // the window can choose it (1 <= n <= WindowPorts)
};

// A serial device and the names that open it, or the map line that would
// name it.
struct Adapter {
    SerialDevice Device;
    std::vector<int> OpenedBy;        // n of each COMn that opens it
    std::string StableName;           // see StableName
    std::optional<int> SuggestedPort; // the free COMn to map it to, when no name opens it
};

struct Overview {
    std::string Folder;            // the port map folder
    std::vector<NamedPort> Ports;  // Com1 to Com10, then the map's other entries, by n
    std::vector<Adapter> Adapters; // by node
};

// What the map says of one name, before any device is looked at.
struct MapEntry {
    int Number = 0;
    std::string Device;
    bool Mapped = false;
    std::optional<uint64_t> DeviceNumber; // of Device, see DeviceNumber
    bool BuiltInWithoutUart = false;      // Device is a /dev/ttyS* with nothing behind it
};

// Joins the names and the devices: which names open which device, and for
// each device no name opens, the first COMn of the window's list that opens
// nothing today (neither mapped nor an existing /dev/ttyS<n-1>). Pure.
// `entries` holds Com1 to Com10 and any other COMn of the map, each once.
Overview Join(std::string folder, std::vector<MapEntry> entries,
              const std::vector<SerialDevice>& devices);

// The overview of this system, from the port map and SerialDevices().
Overview Current();

// The names a program opens the system's ports by, sorted, each once: on
// Linux each serial device's node and every COMn of the port map; on
// Windows the system's COMn names.
std::vector<std::string> PortNames();

} // namespace ports
