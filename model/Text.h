#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// UTF-8 of a Windows-1252 text, one character per byte, so every byte string
// comes back from it unchanged.
std::string Utf8FromCp1252(std::string_view bytes);

// Appends code point c as UTF-8 (c below 0x10000, as Windows-1252 gives).
void AppendUtf8(std::string& out, char32_t c);

// text (UTF-8) followed by blanks up to columns characters.
std::string Padded(std::string text, std::size_t columns);

// The bytes as upper-case hex pairs separated by single blanks.
std::string HexBytes(std::span<const uint8_t> bytes);

// UTF-8 text made safe for a terminal: C0 controls (but the line break when
// keepLineBreaks), DEL, C1 (U+0080..U+009F) and bytes that are not UTF-8
// become \xNN, the bidirectional controls (U+061C, U+200E/F, U+202A..E,
// U+2066..9) \uNNNN, so no file name, port or text can drive the terminal. The one
// escaping of everything qrv prints for a person.
std::string Printable(std::string_view utf8, bool keepLineBreaks = false);
