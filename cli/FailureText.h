#pragma once

#include <optional>
#include <string>

// What qrv says, in the user's words, after the serial component's own
// message: why a device was refused, what a device server did. Plain
// decisions on facts gathered elsewhere, the same on every system.

// Who may open a device the system refused, and where the user stands.
struct DeviceAccess {
    std::string Device;
    unsigned Mode = 0; // the permission bits
    std::string Owner, Group, User;
    bool GroupIsRoot = false; // the group is root's (gid 0)
    bool InSession = false;   // this session has the group
    bool InGroupFile = false; // the user is listed in the group: a new session has it
};
// One line (Portuguese, without "qrv: "). Joining the group is advised only
// when the group may read and write the device and is not root's.
std::string AccessAdvice(const DeviceAccess& access);

// How a port to a device server failed: the component's code, and whether
// the port had been opened (the failure came while sending).
struct NetworkFailure {
    int Code = 0;
    bool WhileSending = false;
    bool OutOfMemory = false;
    std::string Address; // the port, "rfc2217://HOST:PORT" or "socket://HOST:PORT"
    int WriteLimitMs = 0;
    // What the system's code says of the connection, which only the
    // platform knows (ConnectionFault of PortChecks.h).
    bool ConnectionRefused = false;
    bool ConnectionClosed = false;
    bool HostUnreachable = false;
};
// The line that says what happened (Portuguese, without "qrv: "), or nothing
// when the component's message is already the user's (it says so in
// Portuguese) or the code tells nothing more.
std::optional<std::string> NetworkFailureLine(const NetworkFailure& failure);
