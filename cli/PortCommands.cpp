// The port map commands: which device each COMn opens, and the links of the
// port map folder that make a serial adapter one of them. Windows has no port
// map: there "ports" lists the system's ports, and map/unmap only say so.
#include "cli/Command.h"
#include "cli/PortName.h"
#include "cli/PortsOutput.h"

#include "serial/PortList.h"
#include "serial/PortMap.h"
#include "serial/VaComm.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The names the window offers.
constexpr int WindowPorts = 10;

#ifndef _WIN32
fs::path entryOf(int n) {
    return fs::path(portmap::Folder()) / ("COM" + std::to_string(n));
}

int listPorts(bool json) {
    const portlist::Overview overview = portlist::Current();
    if (json)
        PrintPortOverviewJson(std::cout, overview);
    else
        PrintPortOverview(std::cout, overview);
    return ExitDone;
}

int mapPort(int n, const std::string& device, bool force) {
    const fs::path entry = entryOf(n);
    const std::string name = "COM" + std::to_string(n);
    std::error_code ec;
    const fs::file_status old = fs::symlink_status(entry, ec);
    if (fs::exists(old) || fs::is_symlink(old)) {
        if (!force) {
            std::cerr << "qrv: " << name << " já está no mapa de portas (abre "
                      << portmap::DeviceOf(n) << "); use --force para trocar.\n";
            return ExitDeviceFailed;
        }
        if (fs::is_directory(old)) {
            std::cerr << "qrv: " << entry.string() << " é uma pasta; não foi trocada.\n";
            return ExitDeviceFailed;
        }
    }
    const fs::path target = fs::absolute(device, ec);
    if (ec) {
        std::cerr << "qrv: " << device << ": " << ec.message() << '\n';
        return ExitDeviceFailed;
    }
    fs::create_directories(entry.parent_path(), ec);
    if (ec) {
        std::cerr << "qrv: não foi possível criar " << entry.parent_path().string() << ": "
                  << ec.message() << '\n';
        return ExitDeviceFailed;
    }
    // A new link under a temporary name, renamed over the entry: the entry is
    // never missing, and never half made.
    const fs::path temporary =
        entry.parent_path() / ("." + name + ".novo." + std::to_string(::getpid()));
    fs::remove(temporary, ec);
    fs::create_symlink(target, temporary, ec);
    if (!ec)
        fs::rename(temporary, entry, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        std::cerr << "qrv: não foi possível mapear " << name << ": " << ec.message() << '\n';
        return ExitDeviceFailed;
    }
    std::cout << name << " agora abre " << target.string() << ".\n";
    if (!fs::exists(target, ec))
        std::cerr << "qrv: aviso: " << target.string() << " não existe agora.\n";
    return ExitDone;
}

int unmapPort(int n) {
    const fs::path entry = entryOf(n);
    const std::string name = "COM" + std::to_string(n);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(entry, ec);
    if (!fs::exists(status) && !fs::is_symlink(status)) {
        std::cout << name << " não está no mapa de portas (abre " << portmap::DeviceOf(n) << ").\n";
        return ExitDone;
    }
    if (!fs::is_symlink(status)) {
        std::cerr << "qrv: " << entry.string() << " não é um link simbólico; não foi removido.\n";
        return ExitDeviceFailed;
    }
    if (!fs::remove(entry, ec) || ec) {
        std::cerr << "qrv: não foi possível remover " << entry.string() << ": " << ec.message()
                  << '\n';
        return ExitDeviceFailed;
    }
    std::cout << name << " saiu do mapa de portas; agora abre " << portmap::DeviceOf(n) << ".\n";
    return ExitDone;
}

#else
// The names the window offers, the device each opens and whether the system
// has it; then every port of the system.
int listPorts(bool json) {
    if (json) {
        PrintPortOverviewJson(std::cout, portlist::Current());
        return ExitDone;
    }
    std::vector<std::string> system;
    TVaCustomComm::GetComPortNames(system);
    auto has = [&system](int n) {
        const std::string name = "COM" + std::to_string(n);
        return std::any_of(system.begin(), system.end(), [&](const std::string& port) {
            return ParseComNumber(port) == ParseComNumber(name);
        });
    };
    for (int n = 1; n <= WindowPorts; ++n) {
        std::string name = "Com" + std::to_string(n);
        name.resize(7, ' ');
        std::cout << name << portmap::DeviceOf(n) << "  " << (has(n) ? "existe" : "não existe")
                  << '\n';
    }
    std::cout << '\n';
    if (system.empty()) {
        std::cout << "O sistema não tem porta serial.\n";
        return ExitDone;
    }
    std::cout << "Portas seriais do sistema:\n";
    for (const std::string& port : system)
        std::cout << "  " << port << '\n';
    return ExitDone;
}

#endif

const char* const ComNameHelp = "Nome da porta, como na janela: COM1 a COM10 (ou mais)";

} // namespace

CLI::Option* AddComName(CLI::App* sub, std::string& name, const std::string& description) {
    return sub->add_option("COMn", name, description)
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) {
                return ParseComNumber(text) ? std::string()
                                            : "nome de porta inválido \"" + text + "\": use COMn";
            },
            ""))
        ->type_name("");
}

void AddPortCommands(CLI::App& app, Commands& commands) {
    CLI::App* ports = app.add_subcommand(
        "ports",
        "Com1 a Com10: o dispositivo que cada uma abre; as portas seriais e como mapeá-las");
    auto portsJson = std::make_shared<bool>(false);
    ports->add_flag("--json", *portsJson, "Um objeto JSON, para scripts");
    commands.push_back({ports, [portsJson] { return listPorts(*portsJson); }});

    struct MapOptions {
        std::string Name;
        std::string Device;
        bool Force = false;
    };
    auto map = std::make_shared<MapOptions>();
    CLI::App* mapCommand =
        app.add_subcommand("map", "Faz COMn abrir DEVICE (um link no mapa de portas)");
    AddComName(mapCommand, map->Name, ComNameHelp);
    mapCommand->add_option("DEVICE", map->Device, "Dispositivo, por exemplo /dev/serial/by-id/...")
        ->required()
        ->type_name("");
    mapCommand->add_flag("--force", map->Force, "Troca o que COMn já tiver no mapa");
    commands.push_back({mapCommand, [map] {
#ifdef _WIN32
                            return OnlyOnLinux("map");
#else
                            return mapPort(*ParseComNumber(map->Name), map->Device, map->Force);
#endif
                        }});

    auto unmapName = std::make_shared<std::string>();
    CLI::App* unmap =
        app.add_subcommand("unmap", "Tira COMn do mapa de portas (remove só um link simbólico)");
    AddComName(unmap, *unmapName, ComNameHelp);
    commands.push_back({unmap, [unmapName] {
#ifdef _WIN32
                            return OnlyOnLinux("unmap");
#else
                            return unmapPort(*ParseComNumber(*unmapName));
#endif
                        }});
}
