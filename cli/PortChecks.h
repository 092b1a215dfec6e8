#pragma once

#include "cli/PortName.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the system can tell about a port beyond the serial component's own
// message. One file per platform; on Windows most of it knows nothing.

// The device a path stands for, whatever names lead to it: the device number
// of a device node, the file's identity otherwise. Nothing when the path
// leads nowhere (or the system cannot tell).
std::optional<std::pair<uint64_t, uint64_t>> DeviceIdentity(const std::string& path);

// The device a port opens: the path, or the device of COMn's map entry;
// empty for an entry left by a virtual printer that has ended.
std::string DevicePath(const PortName& port);

// Lines (Portuguese, without "qrv: <port>: ") that follow the component's
// message when `port` (opening `device`) was refused with the system's error
// `code`: who may open the device, who holds a busy port, a map entry left by
// a virtual printer.
std::vector<std::string> RefusalHints(const PortName& port, const std::string& device, int code);

// Who is not allowed in: who may open `device` and what would let the user
// in (AccessAdvice on the device's owner, group and mode).
std::optional<std::string> GroupHint(const std::string& device);
// Who holds `device`: processes that have it open (from /proc), or a UUCP
// lock file LCK..<name> of `lockFolder` naming a live process; or that it
// cannot be told. The sentence names the device as `subject` ("a porta" when
// the line names it already).
std::string HolderHint(const std::string& device, const std::string& lockFolder,
                       const std::string& subject);

// What a system error code says of a connection.
enum class ConnectionFault {
    None,        // nothing of a connection
    Refused,     // nothing listens on the port
    Closed,      // the peer closed or reset it
    Unreachable, // no route to the host or its network
};
ConnectionFault ConnectionFaultOf(int code);
