#include "cli/Configuration.h"

#include "settings/SettingsFile.h"

#include <cerrno>
#include <cstring>
#ifdef _WIN32
#include <filesystem>
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::optional<std::string> unusable(const std::string& path) {
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
    if (!std::ifstream(path, std::ios::binary))
        return "não foi possível ler o arquivo " + name + ".";
    return std::nullopt;
}
#else

// Why the file cannot be read, or nothing when it can. Checked here because
// the profile reader takes any unreadable file as an empty one.
std::optional<std::string> unusable(const std::string& path) {
    const std::string name = "\"" + path + "\"";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return "o arquivo " + name + " não existe.";
        return "não foi possível ler o arquivo " + name + " (" + std::strerror(errno) + ").";
    }
    if (!S_ISREG(st.st_mode))
        return name + " não é um arquivo comum.";
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return "não foi possível ler o arquivo " + name + " (" + std::strerror(errno) + ").";
    ::close(fd);
    return std::nullopt;
}
#endif

} // namespace

LoadedConfiguration LoadConfiguration(const std::string& path) {
    LoadedConfiguration loaded;
    if ((loaded.Error = unusable(path)))
        return loaded;
    const ProfileFile file = SettingsFile::Load(path);
    if (!file.HasSection()) {
        loaded.Error = "o arquivo \"" + path + "\" não tem a seção [Programa].";
        return loaded;
    }
    loaded.Configuration = SettingsFile::Read(file);
    return loaded;
}
