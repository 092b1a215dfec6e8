// What every binding shares: the choice of binding by name, and the hang-up
// mark.

#include "serial/NetworkAddress.h"
#include "serial/VaCommBindings.h"
#include "serial/VaCommPlatform.h"

namespace vaplatform {

std::unique_ptr<Device> Device::Open(const std::string& path, int& error) {
    if (IsNetworkAddress(path)) {
        const std::optional<NetworkAddress> address = ParseNetworkAddress(path);
        if (!address) {
            error = NetworkErrorCode(NetworkError::BadAddress);
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

} // namespace vaplatform
