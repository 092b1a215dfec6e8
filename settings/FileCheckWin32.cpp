#include "settings/FileCheck.h"

#include <filesystem>
#include <fstream>

namespace SettingsFile {

std::optional<std::string> Unusable(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string name = "\"" + path + "\"";
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        return "o arquivo " + name + " não existe.";
    if (ec)
        return "não foi possível ler o arquivo " + name + " (" + ec.message() + ").";
    if (!fs::is_regular_file(status))
        return name + " não é um arquivo comum.";
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec)
        return "não foi possível ler o arquivo " + name + " (" + ec.message() + ").";
    if (size > MaxFileBytes)
        return "o arquivo " + name + " tem " + std::to_string(size) +
               " bytes, mais que os 16 MiB que um arquivo de configuração pode ter.";
    if (!std::ifstream(path, std::ios::binary))
        return "não foi possível ler o arquivo " + name + ".";
    return std::nullopt;
}

} // namespace SettingsFile
