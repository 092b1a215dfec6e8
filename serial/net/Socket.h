#pragma once
// A thin layer over the system's TCP sockets for the network binding: one
// file per platform (SocketLinux.cpp, SocketWin32.cpp). Every call is
// non-blocking except Connect and Poll, which take a limit; codes are the
// system's (errno, or WSAGetLastError's), 0 for success.

#include "serial/device/Device.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace serial::net {

class Socket {
public:
    Socket() = default;
    ~Socket() { Close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Resolves `host` and connects to each of its addresses in turn until one
    // takes the connection, all within timeoutMs. A refused connection fails
    // at once. A host that does not resolve gives
    // NetworkErrorCode(NetworkError::UnknownHost). The connected socket is
    // non-blocking, sends each write at once (no Nagle delay), keeps its own
    // send queue small and probes an idle connection (keep-alive).
    int Connect(const std::string& host, uint16_t port, int timeoutMs);
    bool IsOpen() const;

    // Sends what the system takes now; `sent` may be less than count, also 0.
    int Send(const void* data, size_t count, size_t& sent);
    // Takes what has arrived; `closed` when the peer has closed its side.
    int Receive(void* data, size_t count, size_t& got, bool& closed);
    // Bytes this side has queued but the peer has not yet acknowledged (0
    // where the system does not tell).
    uint32_t Unsent() const;
    void Close();

    struct Ready {
        bool woken = false;
        bool readable = false;
        bool writable = false;
        bool failed = false; // an error or hang-up on the socket
    };
    // Waits until the socket is readable (always watched) or writable (when
    // `write`), the wake-up (when given) is set, or timeoutMs passes (-1: no
    // limit).
    Ready Poll(device::Wakeup* wakeup, bool write, int timeoutMs) const;

private:
    std::intptr_t handle_ = -1;
};

// Waits for the wake-up alone.
bool PollWakeup(device::Wakeup& wakeup, int timeoutMs);
// Whether a code means the connection is gone (reset, aborted, broken pipe).
bool ConnectionLost(int code);

} // namespace serial::net
