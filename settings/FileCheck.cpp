#include "settings/FileCheck.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SettingsFile {

namespace {

std::string unreadable(const std::string& name, int error) {
    return "não foi possível ler o arquivo " + name + " (" + std::strerror(error) + ").";
}

} // namespace

std::optional<std::string> Unusable(const std::string& path) {
    const std::string name = "\"" + path + "\"";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return "o arquivo " + name + " não existe.";
        return unreadable(name, errno);
    }
    if (!S_ISREG(st.st_mode))
        return name + " não é um arquivo comum.";
    if (static_cast<std::uintmax_t>(st.st_size) > MaxFileBytes)
        return "o arquivo " + name + " tem " + std::to_string(st.st_size) +
               " bytes, mais que os 16 MiB que um arquivo de configuração pode ter.";
    // Opened, not read: the permission and the file system have the last word.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return unreadable(name, errno);
    ::close(fd);
    return std::nullopt;
}

} // namespace SettingsFile
