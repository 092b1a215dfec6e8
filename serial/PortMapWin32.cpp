// The port map's Windows side. Local ComN is \\.\COMN, the system's own
// name; the map adds network ports only. Links need privileges on Windows, so
// an entry is a small file, %APPDATA%\impressora-qrv\ports\COMn, whose one
// line is the address COMn opens.
#include "serial/PortMap.h"

#include "serial/NetworkAddress.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace portmap {

namespace {

// The address an entry holds; nothing when it holds none that is valid.
std::optional<std::string> entryAddress(int n) {
    // Without a folder there is no entry: a bare "COMn" would be the port.
    if (Folder().empty())
        return std::nullopt;
    std::ifstream in(fs::path(Folder()) / ComName(n), std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    const auto address = vaplatform::ParseNetworkAddress(line);
    if (!address)
        return std::nullopt;
    return address->Text();
}

} // namespace

std::string Folder() {
    const char* appData = std::getenv("APPDATA");
    if (!appData || !*appData)
        return {};
    return (fs::path(appData) / "impressora-qrv" / "ports").string();
}

std::string Resolve(const std::string& name) {
    if (vaplatform::IsNetworkAddress(name))
        return name;
    if (const auto n = ParseComName(name)) {
        if (const auto address = entryAddress(*n))
            return *address;
        // "\\.\COM10": the plain name reaches only COM1 to COM9.
        return "\\\\.\\" + ComName(*n);
    }
    const bool verbatim =
        name.starts_with("\\\\") ||
        (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':');
    return verbatim ? name : "\\\\.\\" + name;
}

MapResult Map(int n, const std::string& target, bool force) {
    MapResult result;
    const auto address = vaplatform::ParseNetworkAddress(target);
    if (!address) {
        result.Outcome = MapOutcome::BadAddress;
        return result;
    }
    result.Target = address->Text();
    if (Folder().empty()) {
        result.Outcome = MapOutcome::Failed;
        result.Error = std::make_error_code(std::errc::no_such_file_or_directory);
        return result;
    }
    const fs::path entry = fs::path(Folder()) / ComName(n);
    std::error_code ec;
    fs::create_directories(Folder(), result.Error);
    if (result.Error) {
        result.Outcome = MapOutcome::Failed;
        return result;
    }
    if (fs::exists(entry, ec)) {
        if (!force) {
            result.Outcome = MapOutcome::Taken;
            return result;
        }
        if (fs::is_directory(entry, ec)) {
            result.Outcome = MapOutcome::IsFolder;
            return result;
        }
    }
    // Written aside and renamed over the entry, so it is never half made.
    const fs::path temporary = fs::path(Folder()) / ("." + ComName(n) + ".novo");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << result.Target << "\r\n";
        if (!out.flush())
            result.Error = std::make_error_code(std::errc::io_error);
    }
    if (!result.Error)
        fs::rename(temporary, entry, result.Error);
    if (result.Error) {
        fs::remove(temporary, ec);
        result.Outcome = MapOutcome::Failed;
    }
    return result;
}

MapResult Unmap(int n) {
    MapResult result;
    if (Folder().empty()) {
        result.Outcome = MapOutcome::NotMapped;
        result.Target = DeviceOf(n);
        return result;
    }
    const fs::path entry = fs::path(Folder()) / ComName(n);
    std::error_code ec;
    if (!fs::exists(entry, ec))
        result.Outcome = MapOutcome::NotMapped;
    else if (!fs::is_regular_file(entry, ec))
        result.Outcome = MapOutcome::NotALink;
    else if (!fs::remove(entry, result.Error) || result.Error)
        result.Outcome = MapOutcome::Failed;
    if (result.Outcome == MapOutcome::Done || result.Outcome == MapOutcome::NotMapped)
        result.Target = DeviceOf(n);
    return result;
}

} // namespace portmap
