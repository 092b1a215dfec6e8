#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Windows-1252, the 8-bit text of header lines in the model, on the wire and
// in the settings file. Plain C++, no Qt, no state: callable from any thread.
//
// Every byte decodes to one code point. The five bytes that Windows-1252
// leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) decode to the C1 control
// of the same value and encode back, so any byte string survives a round trip.
namespace cp1252 {

// The code point of byte b.
char32_t CodePoint(uint8_t b);
// The byte of code point c, or nothing when Windows-1252 cannot hold it.
std::optional<uint8_t> ByteOf(char32_t c);

// One code point per byte.
std::u32string Decode(std::string_view bytes);
// One byte per code point; a code point without a byte becomes "?".
std::string Encode(std::u32string_view text);

} // namespace cp1252
