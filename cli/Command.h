#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What every command of qrv shares: its exit statuses and how it joins the
// tool. Each group of commands lives in its own file and adds itself to the
// command line with one Add...Commands function, which main calls.

enum ExitStatus : int {
    ExitDone = 0,
    ExitDeviceFailed = 1, // a port could not be opened or written, or a map entry was refused
    ExitBadCommandLine = 2,
    ExitBadSettingsFile = 3,
};

// A command of the tool: its subcommand and what runs when it was chosen.
// Run may throw CLI::ParseError for a command line that CLI11 cannot judge
// alone (main reports it as CLI11 reports its own).
struct Command {
    CLI::App* App = nullptr;
    std::function<int()> Run;
};
using Commands = std::vector<Command>;

// "qrv: " and text on standard error, escaped for the terminal.
void SayError(const std::string& text);

// For a command that this system lacks (the port map and the simulator are
// Linux's): says so on standard error and gives ExitBadCommandLine.
int OnlyOnLinux(const std::string& command);

// The positional argument "COMn" of a command, checked as a port name.
CLI::Option* AddComName(CLI::App* sub, std::string& name, const std::string& description);

#ifndef _WIN32
// Mends the port map's entries whose virtual printer is gone, saying on
// standard error what each became. Every command that touches the map calls it.
void MendPortMap();
// Creates the port map folder when missing. Nothing, or why it cannot be
// made (Portuguese).
std::optional<std::string> MakePortMapFolder();
#endif

// "ports", "map", "unmap".
void AddPortCommands(CLI::App& app, Commands& commands);
// "show".
void AddShowCommand(CLI::App& app, Commands& commands);
// "program", "config", "clock", "print", "restart", "report".
void AddSendCommands(CLI::App& app, Commands& commands);
// "history", "history show", "history export".
void AddHistoryCommands(CLI::App& app, Commands& commands);
// "simulate".
void AddSimulateCommand(CLI::App& app, Commands& commands);
