#pragma once

#include <string>
#include <string_view>

// UTF-8 of a Windows-1252 text, one character per byte, so every byte string
// comes back from it unchanged.
std::string Utf8FromCp1252(std::string_view bytes);
