// Walks an installer's (or uninstaller's) pages as a user accepting every
// default would, and prints what each page shows:
//   pages-probe.exe PROGRAM [ARGUMENTS...]
// For each new page, "--- page" and then its caption and the texts of its
// visible controls, one a line (line breaks inside a text as "\n"), UTF-8.
// Check boxes are cleared before Next (the finish page's "run" one would
// start the program). Ends when no wizard window is left.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring textOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The wizard: a visible dialog of this session.
BOOL CALLBACK findWizard(HWND window, LPARAM found) {
    if (IsWindowVisible(window) && className(window) == L"#32770") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

struct Page {
    std::vector<std::wstring> texts;
    std::vector<HWND> checkBoxes;
};

BOOL CALLBACK collect(HWND control, LPARAM into) {
    Page& page = *reinterpret_cast<Page*>(into);
    if (!IsWindowVisible(control))
        return TRUE;
    const std::wstring kind = className(control);
    if (kind == L"Button" && (GetWindowLongW(control, GWL_STYLE) & 0x0F) == BS_AUTOCHECKBOX)
        page.checkBoxes.push_back(control);
    // The licence's own text and the list of files are the files' words.
    if (kind == L"RichEdit20W" || kind == L"RICHEDIT50W" || kind == L"SysListView32")
        return TRUE;
    std::wstring text = textOf(control);
    // U+FFFF starts a reference to an icon, not a text.
    if (!text.empty() && text[0] != 0xFFFF)
        page.texts.push_back(text);
    return TRUE;
}

std::string shown(const std::wstring& text) {
    std::wstring out;
    for (const wchar_t c : text)
        if (c == L'\n')
            out += L"\\n";
        else if (c != L'\r')
            out += c;
    return utf8(out);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    auto say = [report](const std::string& text) {
        DWORD written = 0;
        WriteFile(report, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    };
    if (argc < 2) {
        say("usage: pages-probe.exe PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::wstring command;
    for (int i = 1; i < argc; ++i)
        command += (command.empty() ? L"\"" : L" \"") + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &start, &child)) {
        say("CreateProcess failed: " + std::to_string(GetLastError()) + "\n");
        return 1;
    }
    std::vector<std::wstring> last;
    int absent = 0;
    for (int round = 0; round < 1200; ++round) {
        Sleep(250);
        HWND wizard = nullptr;
        EnumWindows(findWizard, reinterpret_cast<LPARAM>(&wizard));
        if (wizard == nullptr) {
            // An uninstaller goes on in a copy of itself: wait for its window.
            if (++absent > 40)
                return 0;
            continue;
        }
        absent = 0;
        Page page;
        page.texts.push_back(textOf(wizard));
        EnumChildWindows(wizard, collect, reinterpret_cast<LPARAM>(&page));
        const HWND next = GetDlgItem(wizard, IDOK);
        if (page.texts == last || next == nullptr || !IsWindowEnabled(next))
            continue;
        Sleep(500); // the page's texts are all set once its button is enabled
        page = Page{};
        page.texts.push_back(textOf(wizard));
        EnumChildWindows(wizard, collect, reinterpret_cast<LPARAM>(&page));
        last = page.texts;
        say("--- page\n");
        for (const std::wstring& text : page.texts)
            say(shown(text) + "\n");
        for (const HWND box : page.checkBoxes)
            SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
        PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(next));
    }
    say("the wizard did not end\n");
    return 1;
}
