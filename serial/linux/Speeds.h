#pragma once
// The bit rates termios has a B... constant for, both ways: what the Linux
// binding asks of a terminal, and what the virtual printer reads back from
// its pseudo-terminal. Apart from Baud.h, whose <asm/termbits.h> clashes with
// <termios.h>.

#include <cstdint>
#include <optional>
#include <termios.h>

namespace serial::device {

struct StandardSpeed {
    speed_t Code;
    uint32_t Baud;
};

inline constexpr StandardSpeed StandardSpeeds[] = {
    {B0, 0},           {B50, 50},         {B75, 75},         {B110, 110},         {B134, 134},
    {B150, 150},       {B200, 200},       {B300, 300},       {B600, 600},         {B1200, 1200},
    {B1800, 1800},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},       {B19200, 19200},
    {B38400, 38400},   {B57600, 57600},   {B115200, 115200}, {B230400, 230400},   {B460800, 460800},
    {B500000, 500000}, {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
};

// The constant for `baud`; B0 for a rate that has none (set through
// termios2 instead, see Baud.h).
constexpr speed_t SpeedCode(uint32_t baud) {
    for (const StandardSpeed& s : StandardSpeeds)
        if (s.Baud == baud)
            return s.Code;
    return B0;
}

// The rate of a constant; nothing for a code that is not in the table.
constexpr std::optional<uint32_t> SpeedBaud(speed_t code) {
    for (const StandardSpeed& s : StandardSpeeds)
        if (s.Code == code)
            return s.Baud;
    return std::nullopt;
}

} // namespace serial::device
