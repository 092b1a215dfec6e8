#pragma once

#include <string>

// The parts of qrv's help that differ between systems: what the port map
// is made of there, and which commands the system has.
namespace helptext {

extern const char* const MapCommand;
extern const char* const MapDevice;
extern const char* const UnmapCommand;

// Whether --help lists `command`; one it does not list still runs and says
// why it cannot here.
bool Listed(const std::string& command);

} // namespace helptext
