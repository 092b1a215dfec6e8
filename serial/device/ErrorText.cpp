#include "serial/device/Device.h"

namespace serial::device {

std::string TidyErrorText(std::string text) {
    if (text.size() > 256)
        text.resize(256);
    // A line break inside a message reads as a blank.
    std::string out;
    for (const char c : text) {
        const bool control = static_cast<unsigned char>(c) < ' ' || c == 0x7F;
        if (!control)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    while (!out.empty() && (static_cast<unsigned char>(out.back()) <= ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

} // namespace serial::device
