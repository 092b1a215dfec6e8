#pragma once

#include "ports/PortList.h"

#include <map>
#include <ostream>
#include <string>

// `qrv ports`: the overview of the port names and the serial devices, for a
// person or, as one JSON object, for scripts.
// `notes`: for a name whose map entry is not simply a device (a folder, a
// stale virtual printer's link...), what it is, shown instead of whether it
// exists.
void PrintPortOverview(std::ostream& out, const ports::Overview& overview,
                       const std::map<int, std::string>& notes = {});
void PrintPortOverviewJson(std::ostream& out, const ports::Overview& overview,
                           const std::map<int, std::string>& notes = {});
