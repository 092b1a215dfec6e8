#pragma once

#include <optional>
#include <string>
#include <string_view>

// A port as the command line names it: "COMn" as the port map reads it,
// opened as the window opens Com n, a device path beginning with "/", or a
// network port (rfc2217://HOST:PORT, socket://HOST:PORT; Path holds it with
// the scheme and host in lower case, so one server is one port).
struct PortName {
    int Number = 0;   // n of COMn; 0 for a path
    std::string Path; // the path or network port, when Number is 0

    // "COM3", or the path: how messages name the port.
    std::string Display() const;
    bool operator==(const PortName&) const = default;
};

// Nothing when text is neither a COMn name nor a path.
std::optional<PortName> ParsePortName(std::string_view text);
