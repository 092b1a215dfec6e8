#pragma once
// Pseudo-terminals and signals for programs that stand in for a printer
// (qrv simulate) or for its far end (the tests' peers): a pair opened in one
// call, a raw line, a pipe that signals write into, and filling a line until
// the kernel takes no more. POSIX only, no Qt; errors are std::runtime_error
// with the failed call and the system's text.

#include "serial/device/FileDescriptor.h"

#include <cstddef>
#include <optional>
#include <string>
#include <termios.h>

namespace simulator::pty {

// "what: " and the text of errno.
std::string SystemError(const std::string& what);

struct Pair {
    serial::device::FileDescriptor Master;
    // Kept open by the owner, so that the master never sees a hang-up when
    // the program under test closes its own descriptor of the slave.
    serial::device::FileDescriptor Slave;
    std::string SlavePath; // "/dev/pts/N"
};

// A new pseudo-terminal and its slave, both close-on-exec, the slave not a
// controlling terminal; both non-blocking when nonBlocking is true. The line
// has the system's default settings. Throws naming posix_openpt,
// "pseudoterminal" (grant, unlock or name) or the slave's path.
Pair OpenPair(bool nonBlocking);

// Makes fd's line raw at speed (a B... code): 8 data bits, no parity,
// stopBits 1 or 2, no flow control, receiver on, modem lines ignored. Throws
// naming tcgetattr or tcsetattr.
void SetRawLine(int fd, speed_t speed, int stopBits);

// The line settings of fd, or nothing when the system will not tell.
std::optional<termios> LineSettings(int fd);

// From now on SIGINT, SIGTERM and SIGHUP only write one byte into a pipe;
// returns its read end (non-blocking) for the caller's poll, which does the
// cleaning up. Once per process. Throws naming pipe2.
int CatchStopSignals();

struct Filled {
    std::size_t Bytes = 0; // filler bytes the line took
    int Error = 0;         // errno of a write that failed; 0: the line is full
};
// Writes filler bytes at fd, which must be non-blocking, until the kernel
// takes no more, as a printer whose buffer is full: from then on a write at
// the other end finds no room. The kernel moves written bytes on a little
// later, which may make room again, so full means refused twice, a pause
// apart; smaller writes then find what room is left, down to one byte, the
// size a sender writes. Stops at the first write that fails otherwise.
Filled FillLine(int fd);

} // namespace simulator::pty
