#pragma once
// The platform half of the port list: what the system knows of its serial
// devices. One file per platform (PortListUdev.cpp, PortListWin32.cpp).

#include "ports/PortList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ports::platform {

struct Scan {
    std::vector<SerialDevice> Devices; // with hardware behind them, sorted by node
    std::vector<uint64_t> WithoutUart; // device numbers of built-in ports with no UART
};
Scan ScanDevices();

// stat's device number of a character device at `path` (links followed).
std::optional<uint64_t> NodeNumber(const std::string& path);

} // namespace ports::platform
