#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Paths travel through the program as UTF-8 text. std::filesystem reads a
// plain std::string in the system's narrow code page on Windows, where an
// accented name then fails or names another file; these two convert through
// char8_t, which is UTF-8 on every system (a no-op on Linux).
inline std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
