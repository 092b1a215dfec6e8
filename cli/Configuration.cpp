#include "cli/Configuration.h"

#include "settings/FileCheck.h"
#include "settings/SettingsFile.h"

#include "journal/Sha256.h"
#include "model/Utf8Path.h"

#include <fstream>
#include <iterator>

LoadedConfiguration LoadConfiguration(const std::string& path) {
    LoadedConfiguration loaded;
    if ((loaded.Error = SettingsFile::Unusable(path)))
        return loaded;
    // Read once: what is parsed is what the journal's digest names. A file
    // that cannot be read holds no section, as the window finds it.
    std::ifstream in(Utf8Path(path), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    loaded.Sha256 = journal::Sha256Hex(bytes);
    const ProfileFile file = SettingsFile::Parse(bytes);
    if (!file.HasSection()) {
        loaded.Error = "o arquivo \"" + path + "\" não tem a seção [Programa].";
        return loaded;
    }
    loaded.Configuration = SettingsFile::Read(file);
    return loaded;
}
