#pragma once

#include "model/ConfigurationModel.h"
#include "printer/PrinterOptions.h"

namespace printer {

// Everything a settings file holds and a printer is told: the bands with
// their header lines, and the global options.
struct PrinterConfiguration {
    ConfigurationModel Model;
    PrinterOptions Options;
};

// The configuration as the window holds it once it has shown it in its
// controls and every band has been through the editor: a list position
// outside its list becomes no item (-1), a line style outside 0..3 becomes
// -1, the number of bands is held to 1..4, and a header line loses the
// control characters its field refuses and anything past 20 characters.
// A settings file edited by hand may hold any of these; what the window would
// send for it is what this gives.
PrinterConfiguration AsWindowHolds(PrinterConfiguration config);

} // namespace printer
