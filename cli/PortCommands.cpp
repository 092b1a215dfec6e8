// The port map commands: which device each COMn opens, and the entries of the
// port map folder that make a serial adapter or a network port one of them.
// On Windows the map holds network ports only; "ports" lists the system's.
#include "cli/Command.h"
#include "cli/HelpText.h"
#include "cli/PortName.h"
#include "cli/PortsOutput.h"
#include "model/Text.h"

#include "ports/PortList.h"
#include "ports/PortMap.h"
#include "serial/VaComm.h"
#include "serial/net/NetworkAddress.h"

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

using ports::WindowPorts;

#ifndef _WIN32

// What the entry of a port is, when it is not simply a device that exists.
std::string entryState(const ports::Entry& entry) {
    using ports::EntryKind;
    const std::string leads = entry.IsLink ? "leva a " : "é ";
    switch (entry.Kind) {
    case EntryKind::None: {
        std::error_code ec;
        return fs::exists(entry.Device, ec) ? "existe" : "não existe";
    }
    case EntryKind::Network:
        return "porta de rede";
    case EntryKind::BadAddress:
        return "endereço de rede malformado: não abre (use rfc2217://HOST:PORTA ou "
               "socket://HOST:PORTA)";
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
    const ports::Overview overview = ports::Current();
    // What an entry is when it is not simply a device: shown in place of
    // "existe" / "não existe", before a stale entry is mended below.
    std::map<int, std::string> notes;
    for (const ports::NamedPort& port : overview.Ports) {
        const ports::Entry entry = ports::EntryOf(port.Number);
        using ports::EntryKind;
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

#else
// The names the window offers, the device each opens and whether the system
// has it; then every port of the system.
int listPorts(bool json) {
    if (json) {
        PrintPortOverviewJson(std::cout, ports::Current());
        return ExitDone;
    }
    std::vector<std::string> system;
    TVaCustomComm::GetComPortNames(system);
    auto has = [&system](int n) {
        const std::string name = ports::ComName(n);
        return std::any_of(system.begin(), system.end(), [&](const std::string& port) {
            return ports::ParseComName(port) == ports::ParseComName(name);
        });
    };
    for (int n = 1; n <= WindowPorts; ++n) {
        std::string name = ports::WindowName(n);
        name.resize(7, ' ');
        std::cout << name << ports::DeviceOf(n) << "  " << (has(n) ? "existe" : "não existe")
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

#ifdef _WIN32
constexpr bool OnWindows = true;
#else
constexpr bool OnWindows = false;
#endif

std::string badAddressText(const std::string& target) {
    return "endereço de rede inválido \"" + target +
           "\": use rfc2217://HOST:PORTA ou socket://HOST:PORTA, PORTA de 1 a 65535" +
           (OnWindows ? " (no Windows o mapa guarda só portas de rede)" : "");
}

int badAddress(const std::string& target) {
    SayError(badAddressText(target) + ".");
    return ExitBadCommandLine;
}

int mapPort(int n, const std::string& target, bool force) {
    const std::string name = ports::ComName(n);
    const bool network = serial::net::HasScheme(target);
    if ((network || OnWindows) && !serial::net::ParseNetworkAddress(target))
        return badAddress(target);
#ifndef _WIN32
    MendPortMap();
    if (const auto refused = MakePortMapFolder()) {
        SayError(*refused + ".");
        return ExitDeviceFailed;
    }
#endif
    const ports::MapResult r = ports::Map(n, target, force);
    switch (r.Outcome) {
    case ports::MapOutcome::Done:
        break;
    case ports::MapOutcome::Taken:
        SayError(name + " já está no mapa de portas (abre " + ports::DeviceOf(n) +
                 "); use --force para trocar.");
        return ExitDeviceFailed;
    case ports::MapOutcome::IsFolder:
        SayError(ports::EntryPath(n) + " é uma pasta; não foi trocada.");
        return ExitDeviceFailed;
    case ports::MapOutcome::BadAddress:
        return badAddress(target);
    default:
        SayError("não foi possível mapear " + name + ": " + r.Error.message());
        return ExitDeviceFailed;
    }
    std::cout << name << " agora abre " << Printable(r.Target) << ".\n";
    std::error_code ec;
    if (r.Target.front() == '/' && !fs::exists(r.Target, ec))
        SayError("aviso: " + r.Target + " não existe agora.");
    return ExitDone;
}

int unmapPort(int n) {
    const std::string name = ports::ComName(n);
#ifndef _WIN32
    MendPortMap();
#endif
    const ports::MapResult r = ports::Unmap(n);
    switch (r.Outcome) {
    case ports::MapOutcome::NotMapped:
        std::cout << name << " não está no mapa de portas (abre " << Printable(r.Target) << ").\n";
        return ExitDone;
    case ports::MapOutcome::Done:
        std::cout << name << " saiu do mapa de portas; agora abre " << Printable(r.Target) << ".\n";
        return ExitDone;
    case ports::MapOutcome::NotALink:
#ifdef _WIN32
        SayError(ports::EntryPath(n) + " não é um arquivo; não foi removido.");
#else
        SayError(ports::EntryPath(n) + " não é um link simbólico; não foi removido.");
#endif
        return ExitDeviceFailed;
    default:
        SayError("não foi possível remover " + ports::EntryPath(n) + ": " + r.Error.message());
        return ExitDeviceFailed;
    }
}

const char* const ComNameHelp = "Nome da porta, como na janela: COM1 a COM10 (ou mais)";

} // namespace

#ifndef _WIN32
void MendPortMap() {
    for (const ports::Repair& r : ports::RepairStale()) {
        const std::string name = ports::ComName(r.Number);
        std::string text = name + " era de uma impressora virtual que terminou";
        if (r.LinkRemoved)
            text += ": o link para " + r.Device + " saiu do mapa de portas";
        if (r.Restored)
            text += "; " + name + " voltou a abrir " + ports::DeviceOf(r.Number);
        if (r.AsideLeft)
            text += "; o que havia antes continua em " + ports::AsidePath(r.Number) + ", pois " +
                    name + " tem outra entrada";
        SayError(text + ".");
    }
}

std::optional<std::string> MakePortMapFolder() {
    const fs::path folder = ports::Folder();
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
                return ports::ParseComName(text)
                           ? std::string()
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
    CLI::App* mapCommand = app.add_subcommand("map", helptext::MapCommand);
    AddComName(mapCommand, map->Name, ComNameHelp);
    mapCommand->add_option("DEVICE", map->Device, helptext::MapDevice)
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) {
                if (text.empty())
                    return std::string("vazio: diga o dispositivo, por exemplo /dev/ttyUSB0");
                if ((OnWindows || serial::net::HasScheme(text)) &&
                    !serial::net::ParseNetworkAddress(text))
                    return badAddressText(text);
                return std::string();
            },
            ""))
        ->type_name("");
    mapCommand->add_flag("--force", map->Force, "Troca o que COMn já tiver no mapa");
    commands.push_back(
        {mapCommand,
         [map] { return mapPort(*ports::ParseComName(map->Name), map->Device, map->Force); }});

    auto unmapName = std::make_shared<std::string>();
    CLI::App* unmap = app.add_subcommand("unmap", helptext::UnmapCommand);
    AddComName(unmap, *unmapName, ComNameHelp);
    commands.push_back(
        {unmap, [unmapName] { return unmapPort(*ports::ParseComName(*unmapName)); }});
}
