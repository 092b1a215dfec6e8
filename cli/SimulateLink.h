#pragma once

#include "ports/PortMap.h"

#include <optional>
#include <string>

// The port map entry of "qrv simulate": COMn of the port map folder as a
// link to the virtual printer's pseudo-terminal for the run, and what was
// there before put back at the end. Linux only.
namespace simulator {

class PortLink {
public:
    // Nothing, or why the link cannot be made (Portuguese).
    std::optional<std::string> Place(int n, const std::string& device, bool force);
    // Takes the link away, puts back a saved entry; what happened, for the
    // user. Warnings go to standard error.
    std::string Remove();

private:
    int number = 0;
    ports::VirtualLink link;
};

} // namespace simulator
