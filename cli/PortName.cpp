#include "cli/PortName.h"

#include "serial/NetworkAddress.h"

#include <charconv>

std::string PortName::Display() const {
    return Number > 0 ? "COM" + std::to_string(Number) : Path;
}

std::optional<int> ParseComNumber(std::string_view text) {
    if (text.size() < 4)
        return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if ((text[i] | 0x20) != "com"[i])
            return std::nullopt;
    const std::string_view digits = text.substr(3);
    if (digits.front() < '0' || digits.front() > '9')
        return std::nullopt;
    int n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc{} || end != digits.data() + digits.size() || n < 1)
        return std::nullopt;
    return n;
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
