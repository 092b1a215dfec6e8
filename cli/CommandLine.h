#pragma once

#include <string>
#include <vector>

// The program's arguments as UTF-8, as every file name and text inside qrv
// is. Linux gives them so already; Windows gives main() the ANSI code page,
// where "agência.snh" would name no file, so they are taken again from the
// wide command line. One file per platform.
class CommandLine {
public:
    CommandLine(int argc, char** argv);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;
    int Count() const { return static_cast<int>(arguments_.size()); }
    // Lives as long as this object; null-terminated like main's.
    char** Argv() { return pointers_.data(); }

private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;
    void point();
};
