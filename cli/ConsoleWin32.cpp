#include "cli/Console.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <streambuf>
#include <string>
#include <windows.h>

namespace {

// The length of `text` without an incomplete UTF-8 sequence at its end,
// which waits for the rest of its bytes.
std::size_t completePrefix(const std::string& text) {
    std::size_t start = text.size();
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue;
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back)
            start = text.size() - back;
        break;
    }
    return start;
}

// A console's stream: UTF-8 in, WriteConsoleW out, at every flush.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE handle) : console(handle) {}

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            pending += traits_type::to_char_type(c);
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending.append(s, static_cast<std::size_t>(n));
        return n;
    }
    int sync() override {
        const std::size_t whole = completePrefix(pending);
        if (whole == 0)
            return 0;
        const int units =
            MultiByteToWideChar(CP_UTF8, 0, pending.data(), static_cast<int>(whole), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, pending.data(), static_cast<int>(whole), wide.data(),
                            units);
        pending.erase(0, whole);
        for (std::size_t at = 0; at < wide.size();) {
            DWORD written = 0;
            if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(wide.size() - at),
                               &written, nullptr) ||
                written == 0)
                return -1;
            at += written;
        }
        return 0;
    }

private:
    HANDLE console;
    std::string pending;
};

void prepare(std::FILE* file, DWORD which, std::ostream& stream) {
    const HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
        // Never freed: the streams flush at exit, after every other object.
        stream.rdbuf(new ConsoleBuffer(handle));
        stream.setf(std::ios::unitbuf);
    } else {
        _setmode(_fileno(file), _O_BINARY);
    }
}

} // namespace

void PrepareStandardStreams() {
    prepare(stdout, STD_OUTPUT_HANDLE, std::cout);
    prepare(stderr, STD_ERROR_HANDLE, std::cerr);
}
