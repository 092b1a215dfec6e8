#include "cli/JournalPort.h"

// The virtual printer is Linux's.
bool IsVirtualPrinter(const PortName&, const std::string&) {
    return false;
}
