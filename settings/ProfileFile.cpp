#include "settings/ProfileFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isBlank(unsigned char c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlank(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    return s;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isBlank(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// The platform's functions hand names and values over as C strings.
std::string_view upToNul(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

char foldCase(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    a = upToNul(a);
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    return true;
}

} // namespace

ProfileFile ProfileFile::Parse(std::string_view bytes) {
    ProfileFile file;
    file.sections.push_back(Section{});

    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (bytes.starts_with(bom))
        bytes.remove_prefix(bom.size());

    while (!bytes.empty()) {
        const std::size_t end = bytes.find_first_of("\r\n");
        std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);

        line = trimRight(trimLeft(line));
        if (line.empty())
            continue;

        if (line.front() == '[') {
            const std::size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                const std::string_view name = trimRight(trimLeft(line.substr(1, close - 1)));
                file.sections.push_back(Section{std::string(name), {}});
                continue;
            }
        }

        Entry entry;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            entry.Name = line;
        } else {
            entry.Name = trimRight(line.substr(0, eq));
            entry.Value = std::string(trimLeft(line.substr(eq + 1)));
        }
        file.sections.back().Entries.push_back(std::move(entry));
    }
    return file;
}

ProfileFile ProfileFile::Load(const std::string& path) {
    // Non-blocking, so that a FIFO or a device chosen by mistake cannot hang
    // the window; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {};
    struct stat st {};
    std::string bytes;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (ok) {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0)
            break;
        else if (errno != EINTR)
            ok = false;
    }
    ::close(fd);
    return ok ? Parse(bytes) : ProfileFile{};
}

std::optional<std::string> ProfileFile::Value(std::string_view section,
                                              std::string_view key) const {
    for (const Section& s : sections) {
        if (!s.Name || !sameName(*s.Name, section))
            continue;
        for (const Entry& e : s.Entries) {
            if (!sameName(e.Name, key))
                continue;
            if (!e.Value)
                return std::nullopt;
            std::string_view v = upToNul(*e.Value);
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            return std::string(v.substr(0, MaxValueLength));
        }
        return std::nullopt;
    }
    return std::nullopt;
}

bool ProfileFile::HasSection(std::string_view section) const {
    return std::any_of(sections.begin(), sections.end(), [section](const Section& s) {
        return s.Name && sameName(*s.Name, section);
    });
}
