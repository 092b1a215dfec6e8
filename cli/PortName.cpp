#include "cli/PortName.h"

#include "serial/NetworkAddress.h"
#include "serial/PortMap.h"

std::string PortName::Display() const {
    return Number > 0 ? portmap::ComName(Number) : Path;
}

std::optional<int> ParseComNumber(std::string_view text) {
    return portmap::ParseComName(text);
}

std::optional<PortName> ParsePortName(std::string_view text) {
    if (vaplatform::IsNetworkAddress(text)) {
        const auto address = vaplatform::ParseNetworkAddress(text);
        if (!address)
            return std::nullopt;
        return PortName{0, address->Text()};
    }
    if (!text.empty() && text.front() == '/')
        return PortName{0, std::string(text)};
#ifdef _WIN32
    // A device path of the system's own, such as \\.\COM12 or \\?\...
    if (text.starts_with("\\\\"))
        return PortName{0, std::string(text)};
#endif
    if (const auto n = ParseComNumber(text))
        return PortName{*n, {}};
    return std::nullopt;
}
