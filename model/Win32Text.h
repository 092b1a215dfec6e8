#pragma once

// Text to and from the wide (UTF-16) API of Windows, which is the only one
// that takes every name and gives every message whole: the narrow API goes
// through the ANSI code page. Windows files only.
#include <windows.h>

#include <string>
#include <string_view>
#include <system_error>

namespace win32 {

// Invalid UTF-8 becomes U+FFFD, so a bad name still fails as "not found"
// rather than naming another file.
inline std::wstring Wide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    return out;
}

inline std::string Utf8(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

// The system's message for an error code in the user's language, as UTF-8
// and as the system wrote it (line breaks and final full stop included); empty
// when the system has none.
inline std::string SystemMessage(unsigned long code) {
    wchar_t buffer[512] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, buffer, 512, nullptr);
    return Utf8(std::wstring_view(buffer, n < 512 ? n : 512));
}

// SystemMessage on one line, without its final full stop: how messages quote
// it. "Unknown error <code>" when the system has no text.
inline std::string SystemText(unsigned long code) {
    std::string text;
    for (const char c : SystemMessage(code)) {
        if (static_cast<unsigned char>(c) >= ' ')
            text += c;
        else if (!text.empty() && text.back() != ' ')
            text += ' ';
    }
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "Unknown error " + std::to_string(code) : text;
}

// GetLastError's codes as std::error_code, whose message() is SystemText
// (the standard library's system_category goes through the ANSI code page).
inline const std::error_category& Category() {
    class WindowsCategory final : public std::error_category {
    public:
        const char* name() const noexcept override { return "windows"; }
        std::string message(int code) const override {
            return SystemText(static_cast<unsigned long>(code));
        }
    };
    static const WindowsCategory category;
    return category;
}

inline std::error_code LastError() {
    return {static_cast<int>(GetLastError()), Category()};
}

// A path as Windows shows it: "C:\Users\ana\agência.snh", not "C:/Users/...".
inline std::string NativePath(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The value of an environment variable as UTF-8 (getenv gives it in the
// ANSI code page); empty when it is not set.
inline std::string Environment(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0)
        return {};
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, value.data(), n);
    value.resize(got < n ? got : 0);
    return Utf8(value);
}

} // namespace win32
