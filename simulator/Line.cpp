#include "simulator/Line.h"

namespace simulator {

namespace {

long baud(speed_t speed) {
    struct Pair {
        speed_t Code;
        long Baud;
    };
    static constexpr Pair table[] = {
        {B0, 0},           {B50, 50},         {B75, 75},         {B110, 110},
        {B134, 134},       {B150, 150},       {B200, 200},       {B300, 300},
        {B600, 600},       {B1200, 1200},     {B1800, 1800},     {B2400, 2400},
        {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
        {B500000, 500000}, {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
    };
    for (const Pair& p : table)
        if (p.Code == speed)
            return p.Baud;
    return -1;
}

} // namespace

std::string LineSettings::Text() const {
    return (Speed < 0 ? std::string("?") : std::to_string(Speed)) + " " + std::to_string(DataBits) +
           Parity + std::to_string(StopBits);
}

bool LineSettings::IsPrinters() const {
    return *this == PrintersLine;
}

LineSettings LineOf(const termios& line) {
    LineSettings s;
    s.Speed = baud(cfgetospeed(&line));
    switch (line.c_cflag & CSIZE) {
    case CS5:
        s.DataBits = 5;
        break;
    case CS6:
        s.DataBits = 6;
        break;
    case CS7:
        s.DataBits = 7;
        break;
    default:
        s.DataBits = 8;
    }
    s.Parity = (line.c_cflag & PARENB) == 0 ? 'N' : (line.c_cflag & PARODD) != 0 ? 'O' : 'E';
    s.StopBits = (line.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return s;
}

} // namespace simulator
