#pragma once
// Bit rates that termios has no constant for, through the kernel's termios2
// interface. Kept apart because <asm/termbits.h> clashes with <termios.h>.

#include <cstdint>

namespace serial::device::detail {

// Sets input and output rate to `rate` on an open terminal; 0 or errno.
int SetOtherBaudrate(int fd, uint32_t rate);
// The output rate the driver holds; 0 or errno.
int GetBaudrate(int fd, uint32_t& rate);

} // namespace serial::device::detail
