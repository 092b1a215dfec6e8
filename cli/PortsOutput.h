#pragma once

#include "serial/PortList.h"

#include <ostream>

// `qrv ports`: the overview of the port names and the serial devices, for a
// person or, as one JSON object, for scripts.
void PrintPortOverview(std::ostream& out, const portlist::Overview& overview);
void PrintPortOverviewJson(std::ostream& out, const portlist::Overview& overview);
