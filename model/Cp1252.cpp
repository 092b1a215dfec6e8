#include "model/Cp1252.h"

#include <array>

namespace cp1252 {
namespace {

// 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::array<char32_t, 32> High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98
};

} // namespace

char32_t CodePoint(uint8_t b) {
    if (b >= 0x80 && b <= 0x9F)
        return High[b - 0x80];
    return b;
}

std::optional<uint8_t> ByteOf(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<uint8_t>(c);
    for (std::size_t i = 0; i < High.size(); ++i)
        if (High[i] == c)
            return static_cast<uint8_t>(0x80 + i);
    return std::nullopt;
}

std::u32string Decode(std::string_view bytes) {
    std::u32string text;
    text.reserve(bytes.size());
    for (char b : bytes)
        text.push_back(CodePoint(static_cast<uint8_t>(b)));
    return text;
}

std::string Encode(std::u32string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char32_t c : text)
        bytes.push_back(static_cast<char>(ByteOf(c).value_or('?')));
    return bytes;
}

} // namespace cp1252
