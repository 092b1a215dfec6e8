#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The values of a few keys of one section of a profile (INI) file, read with
// the lookup rules of the Windows private-profile functions, so that any file
// those functions read the same way reads the same here:
//  - a file that starts with a byte-order mark is Unicode: FF FE is UTF-16
//    little-endian, FE FF UTF-16 big-endian, EF BB BF UTF-8. Its characters
//    are turned into Windows-1252, and one that Windows-1252 cannot hold, or
//    a sequence that is not valid in that encoding, becomes "?". Every other
//    file is Windows-1252 as it stands;
//  - a line ends at the first CR or LF;
//  - the bytes 0x09..0x0D, 0x1A and 0x20 are blanks, trimmed from both ends of
//    each line; blank lines are skipped;
//  - a line that starts with "[" and holds a "]" is a section header: the name
//    is the trimmed text between "[" and the last "]";
//  - any other line splits at its first "=" into a name (trailing blanks
//    dropped) and a value (leading blanks dropped); a line without "=" is a
//    key with no value, which reads as missing;
//  - section and key names compare without regard to ASCII letter case, each
//    up to its first NUL; only the first section of a name is searched, and
//    in it the first key of the name wins; keys before any section belong to
//    no section;
//  - a value ends at its first NUL; if it is then at least two characters
//    long and starts and ends with the same quote (" or '), it loses both;
//    what remains is cut to MaxValueLength characters.
// Only the wanted section and keys are kept, so memory stays small whatever
// the size of the file. Plain data, no shared state: any thread may use its
// own instance.
class ProfileFile {
public:
    static constexpr std::size_t MaxValueLength = 2047;

    // Reads bytes for the keys named in keys of the section named section.
    // Never fails: bytes that make no sense give keys that are never found.
    static ProfileFile Parse(std::string_view bytes, std::string_view section,
                             const std::vector<std::string>& keys);

    // The same for the regular file at path, read in pieces; reading stops
    // once nothing later in the file can change a value. A file that is
    // missing or cannot be read (a folder, a device, no permission) gives a
    // profile in which every lookup misses.
    static ProfileFile Load(const std::string& path, std::string_view section,
                            const std::vector<std::string>& keys);

    // The value of key, or nullopt when the section, the key or the key's
    // "=" is missing, or key was not one of the keys asked for.
    std::optional<std::string> Value(std::string_view key) const;

    // True when the file has a header of the section asked for.
    bool HasSection() const { return sectionFound; }

private:
    friend class ProfileReader;
    struct Slot {
        bool Seen = false;
        std::optional<std::string> Value;
    };
    // By key name in upper case.
    std::unordered_map<std::string, Slot> entries;
    bool sectionFound = false;
};

// Reads a profile file piece by piece for ProfileFile; the pieces may be cut
// anywhere, even inside a character or a line.
class ProfileReader {
public:
    ProfileReader(std::string_view section, const std::vector<std::string>& keys);
    ~ProfileReader();
    ProfileReader(const ProfileReader&) = delete;
    ProfileReader& operator=(const ProfileReader&) = delete;

    // The next bytes of the file.
    void Feed(std::string_view bytes);
    // Whether the rest of the file can no longer change any value.
    bool Complete() const;
    // The file has ended: the values read.
    ProfileFile Finish();

private:
    struct State;
    std::unique_ptr<State> state;
};
