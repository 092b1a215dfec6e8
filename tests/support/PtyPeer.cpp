#include "PtyPeer.h"
#include "PortMapPath.h"
#include "serial/PortMap.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PtyPeer::PtyPeer() {
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        fail("openpty");
    slavePath = name;
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        closeFd(master);
        closeFd(slave);
        fail("pipe2");
    }
    reader = std::thread([this] { readLoop(); });
}

PtyPeer::~PtyPeer() {
    stopReader();
    closeFd(master);
    closeFd(slave);
    closeFd(wake[0]);
    closeFd(wake[1]);
}

termios PtyPeer::SlaveSettings() const {
    termios t{};
    if (::tcgetattr(slave, &t) != 0)
        fail("tcgetattr");
    return t;
}

void PtyPeer::MapPort(const std::filesystem::path& configHome, int n) const {
    const auto folder = PortMapPath(configHome);
    std::filesystem::create_directories(folder);
    const auto link = folder / portmap::ComName(n);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(slavePath, link);
}

void PtyPeer::readLoop() {
    uint8_t buffer[512];
    for (;;) {
        pollfd fds[2] = {{master, POLLIN, 0}, {wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0) {
            if (fds[0].revents != 0)
                return; // hang-up or error: nothing more will come
            continue;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        const auto now = Clock::now();
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return;
        const std::lock_guard guard(lock);
        bytes.insert(bytes.end(), buffer, buffer + n);
        arrivals.insert(arrivals.end(), static_cast<std::size_t>(n), now);
    }
}

void PtyPeer::stopReader() {
    if (!reader.joinable())
        return;
    const char stop = 1;
    while (::write(wake[1], &stop, 1) < 0 && errno == EINTR) {
    }
    reader.join();
    char taken = 0;
    while (::read(wake[0], &taken, 1) < 0 && errno == EINTR) {
    }
}

std::size_t PtyPeer::Stall() {
    stopReader();
    // Our own descriptor: the port under test may hold the device exclusively.
    // Non-blocking on it alone leaves the port's descriptor as it was.
    const int flags = ::fcntl(slave, F_GETFL);
    if (flags < 0 || ::fcntl(slave, F_SETFL, flags | O_NONBLOCK) != 0)
        fail("fcntl");
    // The kernel moves written bytes on to the master's queue a little later,
    // which may make room again: full means refused twice, a pause apart.
    // Small writes still find the small buffers that earlier reads gave
    // back, so the filling ends with one byte at a time, as the port writes.
    const std::vector<uint8_t> chunk(4096, 0xEE);
    std::size_t total = 0;
    for (const std::size_t size : {chunk.size(), std::size_t{256}, std::size_t{1}}) {
        for (int refused = 0; refused < 2;) {
            const ssize_t n = ::write(slave, chunk.data(), size);
            if (n > 0) {
                total += static_cast<std::size_t>(n);
                refused = 0;
            } else if (n < 0 && errno == EAGAIN) {
                ++refused;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            } else if (errno != EINTR) {
                fail("write");
            }
        }
    }
    ::fcntl(slave, F_SETFL, flags);
    return total;
}

void PtyPeer::Resume() {
    if (!reader.joinable())
        reader = std::thread([this] { readLoop(); });
}

void PtyPeer::HangUp() {
    stopReader();
    closeFd(master);
}

std::vector<uint8_t> PtyPeer::Bytes() const {
    const std::lock_guard guard(lock);
    return bytes;
}

std::size_t PtyPeer::ByteCount() const {
    const std::lock_guard guard(lock);
    return bytes.size();
}

std::vector<PtyPeer::Frame> PtyPeer::Frames() const {
    const std::lock_guard guard(lock);
    std::vector<Frame> frames;
    constexpr std::size_t CommandPosition = 2;
    std::size_t at = 0;
    while (at + CommandPosition < bytes.size()) {
        const std::size_t size = bytes[at + CommandPosition] == 'L' ? 28 : 14;
        if (at + size > bytes.size())
            break;
        const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(at);
        frames.push_back({std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(size)),
                          arrivals[at], arrivals[at + size - 1]});
        at += size;
    }
    return frames;
}

void PtyPeer::Clear() {
    const std::lock_guard guard(lock);
    bytes.clear();
    arrivals.clear();
}
