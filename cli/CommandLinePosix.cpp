#include "cli/CommandLine.h"

CommandLine::CommandLine(int argc, char** argv) : arguments_(argv, argv + argc) {
    point();
}

void CommandLine::point() {
    for (std::string& argument : arguments_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
}
