#include "cli/PortName.h"

#include "ports/PortMap.h"
#include "serial/net/NetworkAddress.h"

std::string PortName::Display() const {
    return Number > 0 ? ports::ComName(Number) : Path;
}

std::optional<PortName> ParsePortName(std::string_view text) {
    if (serial::net::IsNetworkAddress(text)) {
        const auto address = serial::net::ParseNetworkAddress(text);
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
    if (const auto n = ports::ParseComName(text))
        return PortName{*n, {}};
    return std::nullopt;
}
