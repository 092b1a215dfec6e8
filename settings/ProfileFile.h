#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A profile (INI) file, read with the lookup rules of the Windows
// private-profile functions, so that any file those functions read the same
// way reads the same here:
//  - a line ends at the first CR or LF; a UTF-8 byte-order mark at the start
//    is skipped; every other byte is taken as it is (Windows-1252);
//  - the bytes 0x09..0x0D, 0x1A and 0x20 are blanks, trimmed from both ends of
//    each line; blank lines are skipped;
//  - a line that starts with "[" and holds a "]" is a section header: the name
//    is the trimmed text between "[" and the last "]";
//  - any other line splits at its first "=" into a name (trailing blanks
//    dropped) and a value (leading blanks dropped); a line without "=" is a
//    key with no value, which reads as missing;
//  - section and key names compare without regard to ASCII letter case; only
//    the first section of a name is searched, and in it the first key of the
//    name wins; keys before any section belong to no section;
//  - a value ends at its first NUL; if it is then at least two characters
//    long and starts and ends with the same quote (" or '), it loses both;
//    what remains is cut to MaxValueLength characters.
// Plain data, no shared state: any thread may use its own instance.
class ProfileFile {
public:
    static constexpr std::size_t MaxValueLength = 2047;

    // Never fails: bytes that make no sense give keys that are never found.
    static ProfileFile Parse(std::string_view bytes);

    // Reads the regular file at path. A file that is missing or cannot be
    // read (a folder, a device, no permission) gives an empty profile, in
    // which every lookup misses.
    static ProfileFile Load(const std::string& path);

    // The value of key in section, or nullopt when the section, the key or
    // the key's "=" is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // True when the file has a header for section (any letter case).
    bool HasSection(std::string_view section) const;

private:
    struct Entry {
        std::string Name;
        std::optional<std::string> Value;
    };
    struct Section {
        std::optional<std::string> Name; // none for the keys before any header
        std::vector<Entry> Entries;
    };
    std::vector<Section> sections;
};
