#include "settings/ProfileRead.h"

#include "model/Utf8Path.h"

#include <filesystem>
#include <fstream>

bool FeedFile(const std::string& path, ProfileReader& reader) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(Utf8Path(path), ec))
        return false;
    std::ifstream in(Utf8Path(path), std::ios::binary);
    bool ok = static_cast<bool>(in);
    while (ok && !reader.Complete()) {
        char buffer[65536];
        in.read(buffer, sizeof buffer);
        if (in.gcount() > 0)
            reader.Feed(std::string_view(buffer, static_cast<std::size_t>(in.gcount())));
        if (in.bad())
            ok = false;
        else if (!in)
            break;
    }
    return ok;
}
