#include "cli/CommandLine.h"

#include "model/Win32Text.h"

#include <shellapi.h>

CommandLine::CommandLine(int argc, char** argv) {
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments_.push_back(win32::Utf8(wide[i]));
        LocalFree(wide);
    } else {
        arguments_.assign(argv, argv + argc);
    }
    point();
}

void CommandLine::point() {
    for (std::string& argument : arguments_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
}
