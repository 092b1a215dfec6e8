#pragma once

#include <optional>
#include <string>

// The run of "qrv simulate", behind one call for every system: on Linux the
// virtual printer on a pseudo-terminal (SimulateRunPosix.cpp), elsewhere a
// message that it is Linux's (SimulateRunWin32.cpp).

struct SimulateOptions {
    std::string Name; // "COMn", checked by the command line
    bool Json = false;
    bool Force = false;
    std::optional<int> StallAfter;
    std::optional<int> HangUpAfter;
};

// Runs the virtual printer until a signal, or the hang-up asked for; the
// exit status. Throws CLI::ValidationError when the options exclude each
// other.
int RunSimulation(const SimulateOptions& options);
