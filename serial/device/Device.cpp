// What every binding shares: the choice of binding by name, and the hang-up
// mark.

#include "serial/device/Device.h"
#include "serial/device/Bindings.h"
#include "serial/net/NetworkAddress.h"

namespace serial::device {

std::unique_ptr<Device> Device::Open(const std::string& path, int& error) {
    if (net::IsNetworkAddress(path)) {
        const std::optional<net::NetworkAddress> address = net::ParseNetworkAddress(path);
        if (!address) {
            error = net::NetworkErrorCode(net::NetworkError::BadAddress);
            return nullptr;
        }
        return detail::OpenNetworkDevice(*address, error);
    }
    return detail::OpenLocalDevice(path, error);
}

Device::~Device() = default;

bool Device::NoteHangUp() {
    if (hungUp_.exchange(true))
        return false;
    errors_.fetch_or(VaLineError::IoError);
    return true;
}

} // namespace serial::device
