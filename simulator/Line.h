#pragma once
// The line settings a sender put on the virtual printer's pseudo-terminal:
// what a real printer, fixed at 9600 8N2, would have had to read.

#include <string>
#include <termios.h>

namespace simulator {

struct LineSettings {
    long Speed = 0;    // baud
    int DataBits = 8;  // 5 to 8
    char Parity = 'N'; // 'N', 'E' or 'O'
    int StopBits = 1;  // 1 or 2

    // "9600 8N2".
    std::string Text() const;
    // The printer's own line, 9600 8N2: anything else reaches it as garbage.
    bool IsPrinters() const;
    bool operator==(const LineSettings&) const = default;
};

// The printer's own line.
inline constexpr LineSettings PrintersLine{9600, 8, 'N', 2};

LineSettings LineOf(const termios& line);

} // namespace simulator
