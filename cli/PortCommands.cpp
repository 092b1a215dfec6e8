// The port map commands: which device each COMn opens, and the links of the
// port map folder that make a serial adapter one of them. Windows has no port
// map: there "ports" lists the system's ports, and map/unmap only say so.
#include "cli/Command.h"
#include "cli/PortName.h"
#include "cli/PortsOutput.h"
#include "cli/Text.h"

#include "serial/PortList.h"
#include "serial/PortMap.h"
#include "serial/VaComm.h"

#include <map>

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

// What the entry of a port is, when it is not simply a device that exists.
std::string entryState(const portmap::Entry& entry) {
    using portmap::EntryKind;
    const std::string leads = entry.IsLink ? "leva a " : "é ";
    switch (entry.Kind) {
    case EntryKind::None: {
        std::error_code ec;
        return fs::exists(entry.Device, ec) ? "existe" : "não existe";
    }
    case EntryKind::Device:
        return entry.Virtual ? "existe (impressora virtual)" : "existe";
    case EntryKind::Missing:
        return "não existe";
    case EntryKind::Folder:
        return leads + "uma pasta, não um dispositivo";
    case EntryKind::File:
        return leads + "um arquivo comum, não um dispositivo";
    case EntryKind::OtherFile:
        return leads + "algo que não é um dispositivo serial";
    case EntryKind::Stale:
        return "de uma impressora virtual que terminou: não abre, desfeita agora";
    }
    return {};
}

int listPorts(bool json) {
    const portlist::Overview overview = portlist::Current();
    // What an entry is when it is not simply a device: shown in place of
    // "existe" / "não existe", before a stale entry is mended below.
    std::map<int, std::string> notes;
    for (const portlist::NamedPort& port : overview.Ports) {
        const portmap::Entry entry = portmap::EntryOf(port.Number);
        using portmap::EntryKind;
        if (entry.Kind == EntryKind::Device && entry.Virtual)
            notes[port.Number] = "existe (impressora virtual)";
        else if (entry.Kind != EntryKind::None && entry.Kind != EntryKind::Device &&
                 entry.Kind != EntryKind::Missing)
            notes[port.Number] = entryState(entry);
    }
    if (json)
        PrintPortOverviewJson(std::cout, overview, notes);
    else
        PrintPortOverview(std::cout, overview, notes);
    MendPortMap();
    return ExitDone;
}

int mapPort(int n, const std::string& device, bool force) {
    MendPortMap();
    const fs::path entry = entryOf(n);
    const std::string name = "COM" + std::to_string(n);
    std::error_code ec;
    const fs::file_status old = fs::symlink_status(entry, ec);
    if (fs::exists(old) || fs::is_symlink(old)) {
        if (!force) {
            SayError(name + " já está no mapa de portas (abre " + portmap::DeviceOf(n) +
                     "); use --force para trocar.");
            return ExitDeviceFailed;
        }
        if (fs::is_directory(old)) {
            SayError(entry.string() + " é uma pasta; não foi trocada.");
            return ExitDeviceFailed;
        }
    }
    const fs::path target = fs::absolute(device, ec);
    if (ec) {
        SayError(device + ": " + ec.message());
        return ExitDeviceFailed;
    }
    if (const auto refused = MakePortMapFolder()) {
        SayError(*refused + ".");
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
        SayError("não foi possível mapear " + name + ": " + ec.message());
        return ExitDeviceFailed;
    }
    std::cout << name << " agora abre " << Printable(target.string()) << ".\n";
    if (!fs::exists(target, ec))
        SayError("aviso: " + target.string() + " não existe agora.");
    return ExitDone;
}

int unmapPort(int n) {
    MendPortMap();
    const fs::path entry = entryOf(n);
    const std::string name = "COM" + std::to_string(n);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(entry, ec);
    if (!fs::exists(status) && !fs::is_symlink(status)) {
        std::cout << name << " não está no mapa de portas (abre " << Printable(portmap::DeviceOf(n))
                  << ").\n";
        return ExitDone;
    }
    if (!fs::is_symlink(status)) {
        SayError(entry.string() + " não é um link simbólico; não foi removido.");
        return ExitDeviceFailed;
    }
    if (!fs::remove(entry, ec) || ec) {
        SayError("não foi possível remover " + entry.string() + ": " + ec.message());
        return ExitDeviceFailed;
    }
    std::cout << name << " saiu do mapa de portas; agora abre " << Printable(portmap::DeviceOf(n))
              << ".\n";
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

#ifndef _WIN32
void MendPortMap() {
    for (const portmap::Repair& r : portmap::RepairStale()) {
        const std::string name = "COM" + std::to_string(r.Number);
        std::string text = name + " era de uma impressora virtual que terminou";
        if (r.LinkRemoved)
            text += ": o link para " + r.Device + " saiu do mapa de portas";
        if (r.Restored)
            text += "; " + name + " voltou a abrir " + portmap::DeviceOf(r.Number);
        if (r.AsideLeft)
            text += "; o que havia antes continua em " + portmap::AsidePath(r.Number) + ", pois " +
                    name + " tem outra entrada";
        SayError(text + ".");
    }
}

std::optional<std::string> MakePortMapFolder() {
    const fs::path folder = portmap::Folder();
    std::error_code ec;
    // create_directories says only "File exists" of a link that leads nowhere.
    for (fs::path p = folder; !p.empty() && p != p.parent_path(); p = p.parent_path()) {
        const fs::file_status link = fs::symlink_status(p, ec);
        if (fs::is_symlink(link) && !fs::exists(p, ec)) {
            const fs::path target = fs::read_symlink(p, ec);
            return "a pasta do mapa de portas não pode ser criada: " + p.string() +
                   " é um link para " + target.string() + ", que não existe";
        }
        if (fs::exists(link) && !fs::is_symlink(link) && !fs::is_directory(link))
            return "a pasta do mapa de portas não pode ser criada: " + p.string() +
                   " não é uma pasta";
    }
    fs::create_directories(folder, ec);
    if (ec)
        return "não foi possível criar " + folder.string() + ": " + ec.message();
    return std::nullopt;
}
#endif

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
        ->check(CLI::Validator(
            [](std::string& text) {
                return text.empty() ? "vazio: diga o dispositivo, por exemplo /dev/ttyUSB0"
                                    : std::string();
            },
            ""))
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
