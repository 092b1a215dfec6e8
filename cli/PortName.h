#pragma once

#include <optional>
#include <string>
#include <string_view>

// A port as the command line names it: "COMn" in any letter case (n >= 1),
// opened as the window opens Com n, or a device path beginning with "/".
struct PortName {
    int Number = 0;   // n of COMn; 0 for a path
    std::string Path; // the path, when Number is 0

    // "COM3", or the path: how messages name the port.
    std::string Display() const;
    bool operator==(const PortName&) const = default;
};

// Nothing when text is neither a COMn name nor a path.
std::optional<PortName> ParsePortName(std::string_view text);
// Only COMn names.
std::optional<int> ParseComNumber(std::string_view text);
