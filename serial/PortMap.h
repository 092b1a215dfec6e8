#pragma once

#include <string>
#include <vector>

// The port map: how the names "COM1", "COM2", ... become devices, and the
// serial adapters the system has. Plain functions, no state; any thread.
namespace portmap {

// The folder whose entries "COMn" name the device of COMn:
// $XDG_CONFIG_HOME/impressora-qrv/ports, ~/.config/impressora-qrv/ports by
// default. It may not exist.
std::string Folder();

// The device that the port "COMn" (n >= 1) opens: the target of the entry
// COMn of the folder, else /dev/ttyS<n-1>. The same path the serial
// component opens and names in its errors.
std::string DeviceOf(int n);

// True when the folder holds an entry "COMn", whatever it is.
bool HasEntry(int n);

// The serial adapters the system has: the entries of /dev/serial/by-id (the
// names that stay the same from one plug to the next) and /dev/ttyUSB*,
// /dev/ttyACM*, sorted. A device seen under both names appears once, by its
// /dev/serial/by-id name.
std::vector<std::string> SerialAdapters();

} // namespace portmap
