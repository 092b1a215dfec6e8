#pragma once

#include <filesystem>

// The port map folder of the program when XDG_CONFIG_HOME is configHome.
inline std::filesystem::path PortMapPath(const std::filesystem::path& configHome) {
    return configHome / "impressora-qrv" / "ports";
}
