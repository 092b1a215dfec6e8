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
