#include "cli/PortsOutput.h"
#include "model/Text.h"

#include "ports/PortMap.h"
#include "serial/net/NetworkAddress.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace {

// "1a86:7523 QinHeng Electronics USB Serial, sem número de série, driver
// ch341, USB 1-1": what tells one adapter from another at a glance.
std::string facts(const ports::SerialDevice& d) {
    std::vector<std::string> parts;
    if (!d.UsbLocation.empty() || !d.VendorId.empty()) {
        std::string id = d.VendorId + ":" + d.ProductId;
        for (const std::string* name : {&d.Vendor, &d.Product})
            if (!name->empty())
                id += " " + *name;
        parts.push_back(id);
        parts.push_back(d.Serial.empty() ? "sem número de série" : "número de série " + d.Serial);
    } else if (d.BuiltIn) {
        parts.push_back("porta da placa");
    }
    if (!d.Driver.empty())
        parts.push_back("driver " + d.Driver);
    if (!d.UsbLocation.empty())
        parts.push_back("USB " + d.UsbLocation);
    std::string line;
    for (const std::string& part : parts)
        line += (line.empty() ? "" : ", ") + part;
    return line;
}

nlohmann::ordered_json orNull(const std::string& value) {
    return value.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(value);
}

std::string mapLine(const ports::Adapter& a) {
    return "qrv map " + ports::ComName(*a.SuggestedPort) + " " + a.StableName;
}

} // namespace

void PrintPortOverview(std::ostream& out, const ports::Overview& overview,
                       const std::map<int, std::string>& notes) {
    out << "Pasta do mapa de portas: " << Printable(overview.Folder) << "\n\n";
    for (const ports::NamedPort& port : overview.Ports) {
        std::string name =
            port.InWindow ? ports::WindowName(port.Number) : ports::ComName(port.Number);
        name.resize(std::max<size_t>(name.size() + 1, 7), ' ');
        const auto note = notes.find(port.Number);
        out << name << Printable(port.Device) << (port.Mapped ? " (mapeada)" : "") << "  "
            << (note != notes.end() ? note->second
                : port.Exists       ? "existe"
                                    : "não existe")
            << (port.InWindow ? "" : "  (a janela não oferece este nome)") << '\n';
    }

    out << '\n';
    if (overview.Adapters.empty()) {
        out << "Nenhuma porta serial encontrada.\n";
        return;
    }
    out << "Portas seriais:\n";
    for (const ports::Adapter& a : overview.Adapters) {
        const std::string about = facts(a.Device);
        out << "  " << Printable(a.Device.Node) << (about.empty() ? "" : "  " + about) << '\n';
        for (const std::string& name : a.Device.ById)
            out << "    by-id:   " << Printable(name) << '\n';
        for (const std::string& name : a.Device.ByPath)
            out << "    by-path: " << Printable(name) << '\n';
        if (!a.OpenedBy.empty()) {
            std::string names;
            for (const int n : a.OpenedBy)
                names += (names.empty() ? "" : ", ") + ports::ComName(n);
            out << "    aberto por: " << names << '\n';
        } else if (a.SuggestedPort) {
            out << "    " << Printable(mapLine(a)) << '\n';
        } else {
            out << "    (Com1 a Com10 já abrem outros dispositivos)\n";
        }
    }
}

void PrintPortOverviewJson(std::ostream& out, const ports::Overview& overview,
                           const std::map<int, std::string>& notes) {
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    for (const ports::NamedPort& port : overview.Ports) {
        const auto note = notes.find(port.Number);
        // Whether a device server is there is known only by connecting: a
        // network port's "exists" is null, and "network" says what it names.
        const bool network = serial::net::HasScheme(port.Device);
        nlohmann::ordered_json server;
        if (network) {
            const auto address = serial::net::ParseNetworkAddress(port.Device);
            server = {{"valid", address.has_value()},
                      {"protocol",
                       address ? nlohmann::ordered_json(
                                     address->Kind == serial::net::NetworkAddress::Protocol::Rfc2217
                                         ? "rfc2217"
                                         : "socket")
                               : nlohmann::ordered_json()},
                      {"host",
                       address ? nlohmann::ordered_json(address->Host) : nlohmann::ordered_json()},
                      {"port",
                       address ? nlohmann::ordered_json(address->Port) : nlohmann::ordered_json()}};
        }
        ports.push_back(
            {{"name", ports::ComName(port.Number)},
             {"device", port.Device},
             {"mapped", port.Mapped},
             {"exists", network ? nlohmann::ordered_json() : nlohmann::ordered_json(port.Exists)},
             {"network", server},
             {"window", port.InWindow},
             {"note", note != notes.end() ? nlohmann::ordered_json(note->second)
                                          : nlohmann::ordered_json()}});
    }
    nlohmann::ordered_json adapters = nlohmann::ordered_json::array();
    for (const ports::Adapter& a : overview.Adapters) {
        const ports::SerialDevice& d = a.Device;
        nlohmann::ordered_json names = nlohmann::ordered_json::array();
        for (const int n : a.OpenedBy)
            names.push_back(ports::ComName(n));
        adapters.push_back({{"device", d.Node},
                            {"byId", d.ById},
                            {"byPath", d.ByPath},
                            {"vendorId", orNull(d.VendorId)},
                            {"productId", orNull(d.ProductId)},
                            {"vendor", orNull(d.Vendor)},
                            {"product", orNull(d.Product)},
                            {"serial", orNull(d.Serial)},
                            {"driver", orNull(d.Driver)},
                            {"usb", orNull(d.UsbLocation)},
                            {"builtIn", d.BuiltIn},
                            {"ports", names},
                            {"stableName", a.StableName},
                            {"map", a.SuggestedPort ? nlohmann::ordered_json(mapLine(a))
                                                    : nlohmann::ordered_json()}});
    }
    const nlohmann::ordered_json all = {
        {"folder", overview.Folder}, {"ports", ports}, {"adapters", adapters}};
    out << all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}
