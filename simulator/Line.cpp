#include "simulator/Line.h"

#include "serial/linux/Speeds.h"

namespace simulator {

std::string LineSettings::Text() const {
    return (Speed < 0 ? std::string("?") : std::to_string(Speed)) + " " + std::to_string(DataBits) +
           Parity + std::to_string(StopBits);
}

bool LineSettings::IsPrinters() const {
    return *this == PrintersLine;
}

LineSettings LineOf(const termios& line) {
    LineSettings s;
    const auto baud = serial::device::SpeedBaud(cfgetospeed(&line));
    s.Speed = baud ? static_cast<long>(*baud) : -1;
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
