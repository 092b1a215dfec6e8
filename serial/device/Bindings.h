#pragma once
// How Device::Open reaches the bindings: the platform's own device, or a
// network port. Private to serial/.

#include "serial/device/Device.h"

#include <cstdint>
#include <memory>
#include <string>

namespace serial::net {
struct NetworkAddress;
}

namespace serial::device {

namespace detail {

std::unique_ptr<Device> OpenLocalDevice(const std::string& path, int& error);
std::unique_ptr<Device> OpenNetworkDevice(const net::NetworkAddress& address, int& error);

// The system object behind a wake-up (a descriptor on POSIX, an event handle
// on Windows), for a binding that waits on it beside its own.
std::intptr_t NativeWakeup(Wakeup& wakeup);

} // namespace detail
} // namespace serial::device
