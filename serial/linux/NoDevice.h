#pragma once
// What the POSIX binding concludes from the system's answers when it opens a
// device. Pure, so that every answer can be checked without hardware.

#include <string>

namespace serial::device::detail {

// Serial type for a device that did not answer TIOCGSERIAL.
constexpr int kNoSerialType = -1;

// True when nothing is behind `path` (its canonical path): the open failed
// with `openError` (0: it succeeded) in a way that means no device, or the
// driver reported `serialType` (TIOCGSERIAL's type, kNoSerialType when it
// gave none) for a built-in port without a UART.
bool NoDeviceBehind(const std::string& path, int openError, int serialType);

} // namespace serial::device::detail
