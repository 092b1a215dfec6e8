#include "settings/ProfileFile.h"
#include "settings/ProfileRead.h"

#include "model/Cp1252.h"

#include <algorithm>

namespace {

bool isBlank(unsigned char c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

char foldCase(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string folded(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), foldCase);
    return out;
}

// One part of a line (a name, a value) as the lookup rules see it, fed one
// byte at a time without ever holding more than a few bytes of it: blanks
// before its first other byte are dropped, it ends at its first NUL, and
// blanks at its end count only once another byte follows them on the line.
// Of its text, only the first Capacity bytes are kept; its length and its
// last byte are known whatever its size.
class Piece {
public:
    void Start(std::size_t capacity) {
        kept.clear();
        pending.clear();
        keep = capacity;
        length = 0;
        pendingLength = 0;
        last = pendingLast = '\0';
        started = ended = false;
    }

    void Add(char c) {
        if (ended)
            return;
        if (isBlank(static_cast<unsigned char>(c))) {
            if (!started)
                return;
            if (kept.size() + pending.size() < keep)
                pending += c;
            ++pendingLength;
            pendingLast = c;
            return;
        }
        started = true;
        if (pendingLength != 0) {
            kept += pending;
            length += pendingLength;
            last = pendingLast;
            pending.clear();
            pendingLength = 0;
        }
        if (c == '\0') {
            ended = true;
            return;
        }
        if (kept.size() < keep)
            kept += c;
        ++length;
        last = c;
    }

    std::string_view Kept() const { return kept; }
    std::size_t Length() const { return length; }
    char Last() const { return last; }

private:
    std::string kept;
    std::string pending; // the blanks after kept, as far as they fit
    std::size_t keep = 0;
    std::size_t length = 0;
    std::size_t pendingLength = 0;
    char last = '\0';
    char pendingLast = '\0';
    bool started = false;
    bool ended = false;
};

enum class Encoding { Unknown, Windows1252, Utf8, Utf16Le, Utf16Be };

} // namespace

struct ProfileReader::State {
    enum class Where { Before, Inside, After };
    enum class Mode { Start, Name, Value, Skip };

    ProfileFile result;
    std::string section;
    std::vector<bool> wantedLength; // by length of a key name
    std::size_t unseen = 0;
    Where where = Where::Before;

    Encoding encoding = Encoding::Unknown;
    std::string head; // the first bytes, until the byte-order mark is known
    std::string decoded;
    char32_t utf8Code = 0;
    int utf8Needed = 0;
    unsigned char utf8Low = 0x80;
    unsigned char utf8High = 0xBF;
    int utf16Byte = -1;     // the first byte of a unit, when one is waiting
    char16_t utf16High = 0; // a high surrogate waiting for its low one

    Mode mode = Mode::Start;
    bool bracket = false;
    Piece name;
    Piece value;
    Piece header;                // the text after "[" of a line that starts with it
    std::optional<Piece> closed; // header as it was at the last "]" so far
    ProfileFile::Slot* slot = nullptr;

    bool Complete() const { return where == Where::After || unseen == 0; }

    ProfileFile::Slot* find(const Piece& key) {
        if (key.Length() >= wantedLength.size() || !wantedLength[key.Length()])
            return nullptr;
        const auto it = result.entries.find(folded(key.Kept()));
        return it == result.entries.end() || it->second.Seen ? nullptr : &it->second;
    }

    void keep(ProfileFile::Slot* found, std::optional<std::string> text) {
        if (found == nullptr)
            return;
        found->Seen = true;
        found->Value = std::move(text);
        --unseen;
    }

    void endLine() {
        if (bracket && closed) {
            if (where == Where::Inside)
                where = Where::After;
            else if (where == Where::Before && closed->Length() == section.size() &&
                     folded(closed->Kept()) == section) {
                where = Where::Inside;
                result.sectionFound = true;
            }
        } else if (mode == Mode::Name) {
            keep(find(name), std::nullopt);
        } else if (mode == Mode::Value) {
            std::string_view text = value.Kept();
            const std::size_t length = value.Length();
            if (length >= 2 && (text[0] == '"' || text[0] == '\'') && value.Last() == text[0])
                text = text.substr(1, std::min(length - 2, ProfileFile::MaxValueLength));
            else
                text = text.substr(0, std::min(length, ProfileFile::MaxValueLength));
            keep(slot, std::string(text));
        }
        mode = Mode::Start;
        bracket = false;
        slot = nullptr;
    }

    void addToHeader(char c) {
        if (c == ']')
            closed = header;
        header.Add(c);
    }

    // Windows-1252 bytes of the file.
    void lines(std::string_view bytes) {
        for (std::size_t i = 0; i < bytes.size() && !Complete(); ++i) {
            if (mode == Mode::Skip && !bracket) {
                while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n')
                    ++i;
                if (i == bytes.size())
                    return;
            }
            const char c = bytes[i];
            if (c == '\r' || c == '\n') {
                endLine();
                continue;
            }
            switch (mode) {
            case Mode::Start:
                if (isBlank(static_cast<unsigned char>(c)))
                    break;
                bracket = c == '[';
                if (bracket) {
                    header.Start(section.size() + 1);
                    closed.reset();
                }
                mode = where == Where::Inside ? Mode::Name : Mode::Skip;
                if (mode == Mode::Name) {
                    name.Start(wantedLength.size());
                    name.Add(c);
                }
                break;
            case Mode::Name:
                if (bracket)
                    addToHeader(c);
                if (c != '=') {
                    name.Add(c);
                } else if ((slot = find(name)) != nullptr) {
                    mode = Mode::Value;
                    value.Start(ProfileFile::MaxValueLength + 2);
                } else {
                    mode = Mode::Skip;
                }
                break;
            case Mode::Value:
                if (bracket)
                    addToHeader(c);
                value.Add(c);
                break;
            case Mode::Skip:
                addToHeader(c);
                break;
            }
        }
    }

    void emit(char32_t code) { decoded += static_cast<char>(cp1252::ByteOf(code).value_or('?')); }

    void utf8(unsigned char b) {
        if (utf8Needed != 0) {
            if (b >= utf8Low && b <= utf8High) {
                utf8Code = (utf8Code << 6) | (b & 0x3F);
                utf8Low = 0x80;
                utf8High = 0xBF;
                if (--utf8Needed == 0)
                    emit(utf8Code);
                return;
            }
            // The sequence broke off: it counts as one "?", and b starts anew.
            utf8Needed = 0;
            emit(U'\uFFFD');
        }
        // Second bytes that would give an overlong form, a surrogate or a
        // code above U+10FFFF are refused.
        utf8Low = 0x80;
        utf8High = 0xBF;
        if (b < 0x80) {
            emit(b);
        } else if (b >= 0xC2 && b <= 0xDF) {
            utf8Needed = 1;
            utf8Code = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            utf8Needed = 2;
            utf8Code = b & 0x0F;
            if (b == 0xE0)
                utf8Low = 0xA0;
            else if (b == 0xED)
                utf8High = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            utf8Needed = 3;
            utf8Code = b & 0x07;
            if (b == 0xF0)
                utf8Low = 0x90;
            else if (b == 0xF4)
                utf8High = 0x8F;
        } else {
            emit(U'\uFFFD');
        }
    }

    void utf16(unsigned char b) {
        if (utf16Byte < 0) {
            utf16Byte = b;
            return;
        }
        const auto unit = static_cast<char16_t>(
            encoding == Encoding::Utf16Le ? (b << 8) | utf16Byte : (utf16Byte << 8) | b);
        utf16Byte = -1;
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (utf16High != 0) {
            const char16_t first = utf16High;
            utf16High = 0;
            if (low) {
                emit(0x10000 + ((char32_t(first) - 0xD800) << 10) + (unit - 0xDC00));
                return;
            }
            emit(U'\uFFFD');
        }
        if (high)
            utf16High = unit;
        else
            emit(low ? U'\uFFFD' : unit);
    }

    void decode(std::string_view bytes) {
        if (encoding == Encoding::Windows1252) {
            lines(bytes);
            return;
        }
        constexpr std::size_t slice = 65536;
        for (std::size_t i = 0; i < bytes.size() && !Complete(); ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (encoding == Encoding::Utf8)
                utf8(b);
            else
                utf16(b);
            if (decoded.size() >= slice)
                flushDecoded();
        }
        flushDecoded();
    }

    void flushDecoded() {
        lines(decoded);
        decoded.clear();
    }

    // Decides the encoding from the first bytes and reads them.
    void startWith(std::string_view first) {
        encoding = Encoding::Windows1252;
        if (first.starts_with("\xFF\xFE"))
            encoding = Encoding::Utf16Le;
        else if (first.starts_with("\xFE\xFF"))
            encoding = Encoding::Utf16Be;
        else if (first.starts_with("\xEF\xBB\xBF"))
            encoding = Encoding::Utf8;
        first.remove_prefix(encoding == Encoding::Windows1252 ? 0
                            : encoding == Encoding::Utf8      ? 3
                                                              : 2);
        decode(first);
    }

    void feed(std::string_view bytes) {
        if (encoding == Encoding::Unknown) {
            const std::size_t take = std::min(bytes.size(), 3 - head.size());
            head.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (head.size() < 3)
                return;
            startWith(head);
        }
        decode(bytes);
    }

    ProfileFile finish() {
        if (encoding == Encoding::Unknown)
            startWith(head);
        // A sequence cut off by the end of the file.
        if (utf8Needed != 0 || utf16Byte >= 0 || utf16High != 0)
            emit(U'\uFFFD');
        flushDecoded();
        endLine();
        return std::move(result);
    }
};

ProfileReader::ProfileReader(std::string_view section, const std::vector<std::string>& keys)
    : state(std::make_unique<State>()) {
    state->section = folded(section);
    std::size_t longest = 0;
    for (const std::string& key : keys) {
        state->result.entries.emplace(folded(key), ProfileFile::Slot{});
        longest = std::max(longest, key.size());
    }
    state->unseen = state->result.entries.size();
    // A name one byte longer than the longest key is known not to match.
    state->wantedLength.assign(longest + 1, false);
    for (const std::string& key : keys)
        state->wantedLength[key.size()] = true;
}

ProfileReader::~ProfileReader() = default;

void ProfileReader::Feed(std::string_view bytes) {
    state->feed(bytes);
}

bool ProfileReader::Complete() const {
    return state->Complete();
}

ProfileFile ProfileReader::Finish() {
    return state->finish();
}

ProfileFile ProfileFile::Parse(std::string_view bytes, std::string_view section,
                               const std::vector<std::string>& keys) {
    ProfileReader reader(section, keys);
    reader.Feed(bytes);
    return reader.Finish();
}

ProfileFile ProfileFile::Load(const std::string& path, std::string_view section,
                              const std::vector<std::string>& keys) {
    ProfileReader reader(section, keys);
    return FeedFile(path, reader) ? reader.Finish() : ProfileFile{};
}

std::optional<std::string> ProfileFile::Value(std::string_view key) const {
    const auto it = entries.find(folded(key));
    return it == entries.end() ? std::nullopt : it->second.Value;
}
