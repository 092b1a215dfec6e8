#include "model/Text.h"

#include "model/Cp1252.h"

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf8FromCp1252(std::string_view bytes) {
    std::string out;
    for (const char32_t c : cp1252::Decode(bytes))
        AppendUtf8(out, c);
    return out;
}

std::string Padded(std::string text, std::size_t columns) {
    std::size_t characters = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++characters;
    if (characters < columns)
        text.append(columns - characters, ' ');
    return text;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const uint8_t b : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

namespace {

void appendEscaped(std::string& out, unsigned value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[(value >> 4) & 0x0F];
    out += digits[value & 0x0F];
}

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

// Marks that reorder the text around them: a file name holding U+202E shows
// "gpj.exe" as "exe.jpg".
bool isBidiControl(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

char32_t decode(std::string_view sequence) {
    static constexpr unsigned char leadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<unsigned char>(sequence[0]) & leadBits[sequence.size()];
    for (std::size_t k = 1; k < sequence.size(); ++k)
        c = (c << 6) | (static_cast<unsigned char>(sequence[k]) & 0x3F);
    return c;
}

} // namespace

std::string Printable(std::string_view utf8, bool keepLineBreaks) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            if ((lead < 0x20 && !(keepLineBreaks && lead == '\n')) || lead == 0x7F)
                appendEscaped(out, lead);
            else
                out += static_cast<char>(lead);
            ++i;
            continue;
        }
        const std::size_t length = sequenceLength(utf8, i);
        if (length == 0) {
            appendEscaped(out, lead);
            ++i;
        } else if (length == 2 && lead == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            appendEscaped(out, static_cast<unsigned char>(utf8[i + 1])); // C1: U+0080..U+009F
            i += 2;
        } else if (const char32_t c = decode(utf8.substr(i, length)); isBidiControl(c)) {
            static constexpr char digits[] = "0123456789ABCDEF";
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += digits[(c >> shift) & 0x0F];
            i += length;
        } else {
            out.append(utf8.substr(i, length));
            i += length;
        }
    }
    return out;
}
