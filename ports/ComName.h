#pragma once

#include <optional>
#include <string>
#include <string_view>

// How ports are named: the one grammar of "COMn" and the ports the window
// offers.
namespace ports {

// The names the window offers: Com1 to Com10.
inline constexpr int WindowPorts = 10;

// The port name grammar, the one every reader of a name uses: "COM" in any
// letter case and a number n >= 1 without leading zeros, so that one port has
// one spelling in the folder, in lock files and in messages.
std::optional<int> ParseComName(std::string_view text);
// "COM5": the entry's name, and how messages name the port.
std::string ComName(int n);
// "Com5": how the window lists it.
std::string WindowName(int n);

} // namespace ports
