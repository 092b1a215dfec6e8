#pragma once

#include "cli/PortName.h"

#include <string>

// What the journal asks of a port beyond its name. One file per system.

// True when `port` (opening `device`) is a virtual printer of
// `qrv simulate`: its sends are rehearsals and leave no record. A port map
// entry COMn is one while a live printer holds its claim on COMn; a path is
// one when it is the device such an entry leads to.
bool IsVirtualPrinter(const PortName& port, const std::string& device);
