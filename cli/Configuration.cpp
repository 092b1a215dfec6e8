#include "cli/Configuration.h"

#include "settings/FileCheck.h"
#include "settings/SettingsFile.h"

LoadedConfiguration LoadConfiguration(const std::string& path) {
    LoadedConfiguration loaded;
    if ((loaded.Error = SettingsFile::Unusable(path)))
        return loaded;
    const ProfileFile file = SettingsFile::Load(path);
    if (!file.HasSection()) {
        loaded.Error = "o arquivo \"" + path + "\" não tem a seção [Programa].";
        return loaded;
    }
    loaded.Configuration = SettingsFile::Read(file);
    return loaded;
}
