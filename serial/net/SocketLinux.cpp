// POSIX sockets for the network binding.

#include "serial/device/Bindings.h"
#include "serial/device/TimeLeft.h"
#include "serial/net/NetworkAddress.h"
#include "serial/net/Socket.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/sockios.h>

namespace serial::net {

using namespace serial::device;

namespace {

using Clock = std::chrono::steady_clock;

// Frames are a few dozen bytes; a small queue makes a server that takes
// nothing show as a write that finds no room, sooner.
constexpr int kSendQueueBytes = 4096;

void Tune(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    // A half-open connection (a server switched off) is noticed in about
    // 10 + 3 * 3 s while idle, and unacknowledged data fails in 15 s.
    const int idle = 10, interval = 3, count = 3;
    const unsigned userTimeoutMs = 15000;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendQueueBytes, sizeof kSendQueueBytes);
}

// One address: 0, or the error of this attempt.
int ConnectOne(const addrinfo& a, Clock::time_point deadline, int& fdOut) {
    const int fd =
        ::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol);
    if (fd < 0)
        return errno;
    Tune(fd);
    int error = 0;
    if (::connect(fd, a.ai_addr, a.ai_addrlen) != 0) {
        error = errno;
        while (error == EINPROGRESS || error == EINTR) {
            pollfd p{fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, MillisecondsLeft(deadline));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0) {
                error = r == 0 ? ETIMEDOUT : errno;
                break;
            }
            socklen_t size = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
            break;
        }
    }
    if (error != 0) {
        ::close(fd);
        return error;
    }
    fdOut = fd;
    return 0;
}

} // namespace

int Socket::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    const int r = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (r != 0) {
        if (r == EAI_SYSTEM)
            return errno;
        return NetworkErrorCode(NetworkError::UnknownHost);
    }
    int error = ECONNREFUSED;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        int fd = -1;
        error = ConnectOne(*a, deadline, fd);
        if (error == 0) {
            handle_ = fd;
            break;
        }
        if (MillisecondsLeft(deadline) == 0)
            break;
    }
    freeaddrinfo(list);
    return error;
}

bool Socket::IsOpen() const {
    return handle_ >= 0;
}

int Socket::Send(const void* data, size_t count, size_t& sent) {
    sent = 0;
    for (;;) {
        const ssize_t n = ::send(static_cast<int>(handle_), data, count, MSG_NOSIGNAL);
        if (n >= 0) {
            sent = static_cast<size_t>(n);
            return 0;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
    }
}

int Socket::Receive(void* data, size_t count, size_t& got, bool& closed) {
    got = 0;
    closed = false;
    for (;;) {
        const ssize_t n = ::recv(static_cast<int>(handle_), data, count, 0);
        if (n > 0) {
            got = static_cast<size_t>(n);
            return 0;
        }
        if (n == 0) {
            closed = true;
            return 0;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
    }
}

uint32_t Socket::Unsent() const {
    int n = 0;
    if (ioctl(static_cast<int>(handle_), SIOCOUTQ, &n) != 0 || n < 0)
        return 0;
    return static_cast<uint32_t>(n);
}

void Socket::Close() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
    handle_ = -1;
}

Socket::Ready Socket::Poll(Wakeup* wakeup, bool write, int timeoutMs) const {
    pollfd p[2] = {
        {static_cast<int>(handle_), static_cast<short>(POLLIN | (write ? POLLOUT : 0)), 0},
        {wakeup ? static_cast<int>(device::detail::NativeWakeup(*wakeup)) : -1, POLLIN, 0}};
    Ready ready;
    if (::poll(p, wakeup ? 2 : 1, timeoutMs) <= 0)
        return ready;
    ready.readable = p[0].revents & POLLIN;
    ready.writable = p[0].revents & POLLOUT;
    ready.failed = p[0].revents & (POLLERR | POLLHUP | POLLNVAL);
    ready.woken = wakeup && (p[1].revents & POLLIN);
    return ready;
}

bool PollWakeup(Wakeup& wakeup, int timeoutMs) {
    pollfd p{static_cast<int>(device::detail::NativeWakeup(wakeup)), POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}

bool ConnectionLost(int code) {
    return code == EPIPE || code == ECONNRESET || code == ECONNABORTED || code == ENOTCONN ||
           code == ETIMEDOUT || code == EHOSTUNREACH || code == ENETUNREACH;
}

} // namespace serial::net
