#include "cli/PortChecks.h"

#include "ports/PortMap.h"

#include <winsock2.h>

// Windows names a port by the system's own name: two names of one port are
// two spellings of it, which PortName already makes one.
std::optional<std::pair<uint64_t, uint64_t>> DeviceIdentity(const std::string&) {
    return std::nullopt;
}

std::string DevicePath(const PortName& port) {
    return port.Number > 0 ? ports::DeviceOf(port.Number) : port.Path;
}

std::vector<std::string> RefusalHints(const PortName&, const std::string&, int) {
    return {};
}

std::optional<std::string> GroupHint(const std::string&) {
    return std::nullopt;
}

std::string HolderHint(const std::string&, const std::string&, const std::string& subject) {
    return "não foi possível saber que programa usa " + subject;
}

ConnectionFault ConnectionFaultOf(int code) {
    switch (code) {
    case WSAECONNREFUSED:
        return ConnectionFault::Refused;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENOTCONN:
    case WSAESHUTDOWN:
    case WSAENETRESET:
        return ConnectionFault::Closed;
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
        return ConnectionFault::Unreachable;
    default:
        return ConnectionFault::None;
    }
}
