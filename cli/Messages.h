#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

// The Portuguese sentence for a command line that CLI11 refused, naming the
// word, option or value refused. `arguments` are the words after "qrv";
// `commands` the names of the tool's commands, for an unknown one.
std::string CommandLineErrorText(const CLI::Error& error, const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& commands);
