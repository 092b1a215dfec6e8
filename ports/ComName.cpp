#include "ports/ComName.h"

#include <charconv>

namespace ports {

std::optional<int> ParseComName(std::string_view text) {
    if (text.size() < 4 || text[3] < '1' || text[3] > '9')
        return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if ((text[i] | 0x20) != "com"[i])
            return std::nullopt;
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data() + 3, text.data() + text.size(), n);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return n;
}

std::string ComName(int n) {
    return "COM" + std::to_string(n);
}

std::string WindowName(int n) {
    return "Com" + std::to_string(n);
}

} // namespace ports
