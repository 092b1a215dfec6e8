#include "cli/SimulateRun.h"

#include "cli/Command.h"

int RunSimulation(const SimulateOptions&) {
    return OnlyOnLinux("simulate");
}
