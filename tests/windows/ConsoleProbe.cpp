// A console for qrv.exe under wine, as cmd.exe gives one on Windows:
//   console-probe.exe [--ctrl-c] PROGRAM [ARGUMENTS...]
// runs PROGRAM in a new console of code page 850, its standard streams on
// that console; with --ctrl-c it sends Ctrl+C to the console's processes
// once a line arrives on the probe's own standard input (the probe lets it
// pass). wine sends no Ctrl+Break (its console server answers "not
// implemented"), so only Ctrl+C is sent. Then it prints, UTF-8 on its
// standard output, "status N", "code page N" (the console's after PROGRAM)
// and the console's lines as they show on screen.
#include <windows.h>

#include <string>
#include <vector>

namespace {

BOOL WINAPI survive(DWORD) {
    return TRUE;
}

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

void say(HANDLE out, const std::string& text) {
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Quoted for CommandLineToArgvW's rules.
std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, L'\\');
    return out + L"\"";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE lines = GetStdHandle(STD_INPUT_HANDLE);
    int first = 1;
    const bool interrupt = argc > 1 && std::wstring(argv[1]) == L"--ctrl-c";
    if (interrupt)
        first = 2;
    if (first >= argc) {
        say(report, "usage: console-probe.exe [--ctrl-c] PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::wstring command;
    for (int i = first; i < argc; ++i)
        command += (command.empty() ? L"" : L" ") + quoted(argv[i]);

    FreeConsole();
    if (!AllocConsole()) {
        say(report, "AllocConsole failed: " + std::to_string(GetLastError()) + "\n");
        return 1;
    }
    SetConsoleOutputCP(850);
    SetConsoleCP(850);
    SetConsoleCtrlHandler(survive, TRUE);
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherited, OPEN_EXISTING, 0, nullptr);
    const HANDLE keyboard =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherited, OPEN_EXISTING, 0, nullptr);
    // Wide enough that no line of qrv's wraps.
    SetConsoleScreenBufferSize(screen, {300, 500});
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = keyboard;
    start.hStdOutput = screen;
    start.hStdError = screen;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &start, &child)) {
        say(report, "CreateProcess failed: " + std::to_string(GetLastError()) + "\n");
        return 1;
    }
    if (interrupt) {
        char c = 0;
        DWORD got = 0;
        while (ReadFile(lines, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        }
        if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
            say(report,
                "GenerateConsoleCtrlEvent failed: " + std::to_string(GetLastError()) + "\n");
    }
    if (WaitForSingleObject(child.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 1);
        say(report, "the program did not end\n");
        return 1;
    }
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    say(report, "status " + std::to_string(status) + "\n");
    say(report, "code page " + std::to_string(GetConsoleOutputCP()) + "\n");

    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(screen, &info);
    std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), {0, y},
                                    &read);
        std::wstring text = row.substr(0, read);
        text.erase(text.find_last_not_of(L' ') + 1);
        say(report, utf8(text) + "\n");
    }
    return 0;
}
