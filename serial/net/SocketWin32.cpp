// Winsock for the network binding.

// winsock2.h must come before anything that includes windows.h, and
// mstcpip.h after both.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mstcpip.h>
// clang-format on

#include "serial/device/Bindings.h"
#include "serial/device/TimeLeft.h"
#include "serial/net/NetworkAddress.h"
#include "serial/net/Socket.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace serial::net {

using namespace serial::device;

namespace {

using Clock = std::chrono::steady_clock;

// Winsock cannot wait on a socket and an event handle in one call without
// binding the socket to a single event, which two waiting threads would
// fight over; so a wait looks at the wake-up this often.
constexpr int kWakeupTickMs = 20;
constexpr int kSendQueueBytes = 4096;

void StartWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

SOCKET Native(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

void Tune(SOCKET s) {
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&one), sizeof one);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendQueueBytes),
               sizeof kSendQueueBytes);
    tcp_keepalive keep{1, 10000, 3000};
    DWORD ignored = 0;
    WSAIoctl(s, SIO_KEEPALIVE_VALS, &keep, sizeof keep, nullptr, 0, &ignored, nullptr, nullptr);
}

int ConnectOne(const addrinfo& a, Clock::time_point deadline, SOCKET& out) {
    SOCKET s = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
    if (s == INVALID_SOCKET)
        return WSAGetLastError();
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    Tune(s);
    int error = 0;
    if (::connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            const int ms = MillisecondsLeft(deadline);
            timeval limit{ms / 1000, (ms % 1000) * 1000};
            const int r = ::select(0, nullptr, &writable, &failed, &limit);
            if (r == 0) {
                error = WSAETIMEDOUT;
            } else if (r < 0) {
                error = WSAGetLastError();
            } else {
                int soError = 0;
                int size = sizeof soError;
                getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size);
                error = FD_ISSET(s, &failed) ? (soError ? soError : WSAECONNREFUSED) : soError;
            }
        }
    }
    if (error != 0) {
        closesocket(s);
        return error;
    }
    out = s;
    return 0;
}

} // namespace

int Socket::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    StartWinsock();
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0)
        return NetworkErrorCode(NetworkError::UnknownHost);
    int error = WSAECONNREFUSED;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        SOCKET s = INVALID_SOCKET;
        error = ConnectOne(*a, deadline, s);
        if (error == 0) {
            handle_ = static_cast<std::intptr_t>(s);
            break;
        }
        if (MillisecondsLeft(deadline) == 0)
            break;
    }
    freeaddrinfo(list);
    return error;
}

bool Socket::IsOpen() const {
    return handle_ != -1;
}

int Socket::Send(const void* data, size_t count, size_t& sent) {
    sent = 0;
    const int n = ::send(Native(handle_), static_cast<const char*>(data),
                         static_cast<int>(std::min<size_t>(count, 1 << 30)), 0);
    if (n >= 0) {
        sent = static_cast<size_t>(n);
        return 0;
    }
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK ? 0 : error;
}

int Socket::Receive(void* data, size_t count, size_t& got, bool& closed) {
    got = 0;
    closed = false;
    const int n = ::recv(Native(handle_), static_cast<char*>(data),
                         static_cast<int>(std::min<size_t>(count, 1 << 30)), 0);
    if (n > 0) {
        got = static_cast<size_t>(n);
        return 0;
    }
    if (n == 0) {
        closed = true;
        return 0;
    }
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK ? 0 : error;
}

uint32_t Socket::Unsent() const {
    return 0;
}

void Socket::Close() {
    if (handle_ != -1)
        closesocket(Native(handle_));
    handle_ = -1;
}

Socket::Ready Socket::Poll(Wakeup* wakeup, bool write, int timeoutMs) const {
    const HANDLE wake =
        wakeup ? reinterpret_cast<HANDLE>(device::detail::NativeWakeup(*wakeup)) : nullptr;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    Ready ready;
    for (;;) {
        WSAPOLLFD p{Native(handle_), static_cast<SHORT>(POLLRDNORM | (write ? POLLWRNORM : 0)), 0};
        int slice =
            timeoutMs < 0 ? kWakeupTickMs : std::min(kWakeupTickMs, MillisecondsLeft(deadline));
        if (!wake)
            slice = timeoutMs < 0 ? -1 : MillisecondsLeft(deadline);
        const int r = WSAPoll(&p, 1, slice);
        ready.woken = wake && WaitForSingleObject(wake, 0) == WAIT_OBJECT_0;
        if (r > 0) {
            ready.readable = p.revents & POLLRDNORM;
            ready.writable = p.revents & POLLWRNORM;
            ready.failed = p.revents & (POLLERR | POLLHUP | POLLNVAL);
        }
        if (r != 0 || ready.woken || (timeoutMs >= 0 && MillisecondsLeft(deadline) == 0))
            return ready;
    }
}

bool PollWakeup(Wakeup& wakeup, int timeoutMs) {
    const HANDLE wake = reinterpret_cast<HANDLE>(device::detail::NativeWakeup(wakeup));
    return WaitForSingleObject(wake, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) ==
           WAIT_OBJECT_0;
}

bool ConnectionLost(int code) {
    return code == WSAECONNRESET || code == WSAECONNABORTED || code == WSAENOTCONN ||
           code == WSAESHUTDOWN || code == WSAETIMEDOUT || code == WSAEHOSTUNREACH ||
           code == WSAENETRESET || code == WSAENETUNREACH;
}

} // namespace serial::net
