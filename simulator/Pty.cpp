#include "simulator/Pty.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace simulator::pty {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(SystemError(what));
}

// The handler only writes one byte into this pipe; the caller polls its
// other end.
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

Pair OpenPair(bool nonBlocking) {
    const int blocking = nonBlocking ? O_NONBLOCK : 0;
    Pair pair;
    pair.Master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | blocking));
    if (pair.Master.get() < 0)
        fail("posix_openpt");
    char name[128];
    if (::grantpt(pair.Master.get()) != 0 || ::unlockpt(pair.Master.get()) != 0 ||
        ::ptsname_r(pair.Master.get(), name, sizeof name) != 0)
        fail("pseudoterminal");
    pair.SlavePath = name;
    pair.Slave.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | blocking));
    if (pair.Slave.get() < 0)
        fail(pair.SlavePath);
    return pair;
}

void SetRawLine(int fd, speed_t speed, int stopBits) {
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        fail("tcgetattr");
    ::cfmakeraw(&line);
    ::cfsetispeed(&line, speed);
    ::cfsetospeed(&line, speed);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD | (stopBits == 2 ? CSTOPB : 0);
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (::tcsetattr(fd, TCSANOW, &line) != 0)
        fail("tcsetattr");
}

std::optional<termios> LineSettings(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return std::nullopt;
    return settings;
}

int CatchStopSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        fail("pipe2");
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
    return signalPipe[0];
}

Filled FillLine(int fd) {
    static const std::vector<uint8_t> filler(4096, 0xEE);
    Filled filled;
    for (const std::size_t size : {filler.size(), std::size_t{256}, std::size_t{1}}) {
        for (int refused = 0; refused < 2;) {
            const ssize_t n = ::write(fd, filler.data(), size);
            if (n > 0) {
                filled.Bytes += static_cast<std::size_t>(n);
                refused = 0;
            } else if (n < 0 && errno == EAGAIN) {
                ++refused;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            } else if (errno != EINTR) {
                filled.Error = errno;
                return filled;
            }
        }
    }
    return filled;
}

} // namespace simulator::pty
