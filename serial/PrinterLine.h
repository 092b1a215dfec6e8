#pragma once

#include "serial/VaComm.h"

// Gives a closed port the printer's line: 9600 baud, 8 data bits, no parity,
// 2 stop bits, no flow control, and direct writes on the caller's thread
// (each byte waits for the line, at most Buffers.WriteTimeout ms). Throws
// EVaCommError when the port is open.
void SetPrinterLine(TVaComm& port);
