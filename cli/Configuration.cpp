#include "cli/Configuration.h"

#include "settings/ProfileFile.h"
#include "settings/SettingsFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

printer::PrinterOptions optionsOf(const SettingsOptions& s) {
    printer::PrinterOptions o;
    o.PrintDate = s.CheckBox5;
    o.PrintTime = s.CheckBox7;
    o.PrintFooter = s.CheckBox4;
    o.ResetAt = static_cast<printer::ResetPolicy>(s.ComboBox8);
    o.ReloadAt = static_cast<printer::ReloadPolicy>(s.ComboBox10);
    o.Printer = static_cast<printer::PrinterModel>(s.ComboBox11);
    o.Protocol = static_cast<printer::ProtocolFormat>(s.ComboBox12);
    o.BandCount = s.Up1;
    return o;
}

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

} // namespace

LoadedConfiguration LoadConfiguration(const std::string& path) {
    LoadedConfiguration loaded;
    if ((loaded.Error = unusable(path)))
        return loaded;
    const ProfileFile file = ProfileFile::Load(path);
    if (!file.HasSection(SettingsFile::Section)) {
        loaded.Error = "o arquivo \"" + path + "\" não tem a seção [Programa].";
        return loaded;
    }
    loaded.Configuration.Options = optionsOf(SettingsFile::Apply(file, loaded.Configuration.Model));
    return loaded;
}
