#include "PtyPeer.h"
#include "PortMapPath.h"
#include "ports/PortMap.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
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
    simulator::pty::Pair pair = simulator::pty::OpenPair(false);
    master = std::move(pair.Master);
    slave = std::move(pair.Slave);
    slavePath = std::move(pair.SlavePath);
    if (::pipe2(wake, O_CLOEXEC) != 0)
        fail("pipe2");
    reader = std::thread([this] { readLoop(); });
}

PtyPeer::~PtyPeer() {
    stopReader();
    closeFd(wake[0]);
    closeFd(wake[1]);
}

termios PtyPeer::SlaveSettings() const {
    const std::optional<termios> settings = simulator::pty::LineSettings(slave.get());
    if (!settings)
        fail("tcgetattr");
    return *settings;
}

void PtyPeer::MapPort(const std::filesystem::path& configHome, int n) const {
    const auto folder = PortMapPath(configHome);
    std::filesystem::create_directories(folder);
    const auto link = folder / ports::ComName(n);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(slavePath, link);
}

void PtyPeer::readLoop() {
    uint8_t buffer[512];
    for (;;) {
        pollfd fds[2] = {{master.get(), POLLIN, 0}, {wake[0], POLLIN, 0}};
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
        const ssize_t n = ::read(master.get(), buffer, sizeof buffer);
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
    const int flags = ::fcntl(slave.get(), F_GETFL);
    if (flags < 0 || ::fcntl(slave.get(), F_SETFL, flags | O_NONBLOCK) != 0)
        fail("fcntl");
    const simulator::pty::Filled filled = simulator::pty::FillLine(slave.get());
    if (filled.Error != 0) {
        errno = filled.Error;
        fail("write");
    }
    ::fcntl(slave.get(), F_SETFL, flags);
    return filled.Bytes;
}

void PtyPeer::Resume() {
    if (!reader.joinable())
        reader = std::thread([this] { readLoop(); });
}

void PtyPeer::HangUp() {
    stopReader();
    master.reset();
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
