#include "settings/SettingsFile.h"

#include <type_traits>

namespace SettingsFile {

namespace {

std::string keyName(const char* family, int band, int line) {
    return family + std::to_string(band) + std::to_string(line);
}

// A line text key: its field and the placeholder that a missing key gives.
template <typename Text> struct LineText {
    Text& text;
    int band;
    int line;
};

// Walks the 64 keys in file order. Model and Options may be const, so that
// reading and writing share one table. fn is called with the key name and
// either a LineText or a reference to the field together with the default
// that a missing key gives.
template <typename Model, typename Options, typename Fn>
void forEachKey(Model& model, Options& options, Fn&& fn) {
    using Index = ConfigurationModel;
    for (int b = 1; b <= Index::BandCount; ++b)
        for (int l = 1; l <= Index::LinesPerBand; ++l)
            fn(keyName("LINHA", b, l),
               LineText<std::remove_reference_t<decltype(model.BandLineText[0])>>{
                   model.BandLineText[Index::LineIndex(b, l)], b, l});
    fn(std::string("COMBO8"), options.ResetAt, 0);
    fn(std::string("COMBO10"), options.ReloadAt, 0);
    fn(std::string("COMBO11"), options.Printer, 0);
    fn(std::string("COMBO12"), options.Protocol, 0);
    for (int b = 1; b <= Index::BandCount; ++b)
        for (int l = 1; l <= Index::LinesPerBand; ++l)
            fn(keyName("FONTE", b, l), model.LineStyle[Index::LineIndex(b, l)], 0);
    for (int b = 1; b <= Index::BandCount; ++b)
        for (int l = 1; l <= Index::LinesPerBand; ++l)
            fn(keyName("FONT", b, l), model.LineEnabled[Index::LineIndex(b, l)], true);
    fn(std::string("CHECK4"), options.PrintFooter, true);
    fn(std::string("CHECK5"), options.PrintDate, true);
    fn(std::string("CHECK7"), options.PrintTime, true);
    fn(std::string("UP1"), options.BandCount, 4);
    for (int b = 1; b <= Index::BandCount; ++b) {
        fn("SENHA" + std::to_string(b) + "I", model.Ranges[b - 1].Start, 1);
        fn("SENHA" + std::to_string(b) + "F", model.Ranges[b - 1].End, 999);
    }
}

bool isProfileBlank(unsigned char c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

const std::vector<std::string>& KeyNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        const ConfigurationModel model;
        const printer::PrinterOptions options;
        forEachKey(model, options,
                   [&all](const std::string& name, auto&&...) { all.push_back(name); });
        return all;
    }();
    return names;
}

ProfileFile Load(const std::string& path) {
    return ProfileFile::Load(path, Section, KeyNames());
}

ProfileFile Parse(std::string_view bytes) {
    return ProfileFile::Parse(bytes, Section, KeyNames());
}

namespace {

// Appends "KEY=value" CR LF for each key it is called with.
struct Writer {
    std::string& Out;
    void Put(const std::string& name, const std::string& value) {
        Out += name;
        Out += '=';
        Out += value;
        Out += "\r\n";
    }
    void operator()(const std::string& name, LineText<const std::string> line) {
        Put(name, EncodeLineText(line.text));
    }
    void operator()(const std::string& name, bool value, bool) { Put(name, value ? "1" : "0"); }
    void operator()(const std::string& name, int32_t value, int32_t) {
        Put(name, std::to_string(value));
    }
    void operator()(const std::string& name, int16_t value, int32_t) {
        Put(name, std::to_string(value));
    }
    template <typename Enum>
    requires std::is_enum_v<Enum>
    void operator()(const std::string& name, Enum value, int32_t) {
        Put(name, std::to_string(static_cast<int32_t>(value)));
    }
};

// Sets each field it is called with from the file, or to its default.
struct Reader {
    const ProfileFile& File;
    void operator()(const std::string& name, LineText<std::string> line) {
        if (const auto value = File.Value(name)) {
            line.text = DecodeLineText(*value);
            if (line.text.size() > ConfigurationModel::MaxLineLength)
                line.text.resize(ConfigurationModel::MaxLineLength);
        } else {
            line.text = ConfigurationModel::PlaceholderText(line.band, line.line);
        }
    }
    int32_t integer(const std::string& name, int32_t fallback) {
        const auto value = File.Value(name);
        return value ? ParseInteger(*value, fallback) : fallback;
    }
    void operator()(const std::string& name, bool& field, bool fallback) {
        field = integer(name, fallback ? 1 : 0) != 0;
    }
    void operator()(const std::string& name, int32_t& field, int32_t fallback) {
        field = integer(name, fallback);
    }
    // The band count is a 16-bit signed position: a wider number keeps its
    // low 16 bits.
    void operator()(const std::string& name, int16_t& field, int32_t fallback) {
        field = static_cast<int16_t>(integer(name, fallback));
    }
    // A list position: any number is kept, as the window's lists get it.
    template <typename Enum>
    requires std::is_enum_v<Enum>
    void operator()(const std::string& name, Enum& field, int32_t fallback) {
        field = static_cast<Enum>(integer(name, fallback));
    }
};

} // namespace

std::string Format(const printer::PrinterConfiguration& config) {
    std::string out = "[" + std::string(Section) + "]\r\n";
    forEachKey(config.Model, config.Options, Writer{out});
    return out;
}

printer::PrinterConfiguration Read(const ProfileFile& file) {
    printer::PrinterConfiguration config;
    forEachKey(config.Model, config.Options, Reader{file});
    return config;
}

std::string EncodeLineText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::string value;
    value.reserve(text.size() + 2);
    for (const char c : text) {
        auto stored = static_cast<unsigned char>(static_cast<unsigned char>(c) + 0x20);
        if (stored == 0x00 || stored == '\n' || stored == '\r')
            stored += 0x20;
        value += static_cast<char>(stored);
    }
    if (value.empty())
        return value;
    // The reader drops blanks at either end, and like quotes around a value.
    const auto front = static_cast<unsigned char>(value.front());
    const auto back = static_cast<unsigned char>(value.back());
    const bool looksQuoted = value.size() >= 2 && front == back && (front == '"' || front == '\'');
    if (isProfileBlank(front) || isProfileBlank(back) || looksQuoted)
        value = '"' + value + '"';
    return value;
}

std::string DecodeLineText(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    for (const char c : value) {
        const auto stored = static_cast<unsigned char>(c);
        // The earlier writer stored only the codes 0x00..0x1F for the
        // characters 0xE0..0xFF (never 0x20..0x3F, which only control codes
        // would give), so both stand for those characters.
        const auto code = (stored >= 0x20 && stored <= 0x3F) ? stored + 0xC0 : stored - 0x20;
        text += static_cast<char>(static_cast<unsigned char>(code));
    }
    return text;
}

int32_t ParseInteger(std::string_view value, int32_t fallback) {
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    bool negative = false;
    if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }

    std::size_t prefix = 0;
    if (value.starts_with("$") || value.starts_with("x") || value.starts_with("X"))
        prefix = 1;
    else if (value.starts_with("0x") || value.starts_with("0X"))
        prefix = 2;
    const bool hex = prefix != 0;
    value.remove_prefix(prefix);
    if (value.empty())
        return fallback;

    // Decimal: the magnitude may reach 2^31 for a negative number.
    // Hexadecimal: any 32-bit pattern.
    const uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    uint64_t magnitude = 0;
    for (const char c : value) {
        const int digit = hex ? hexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0)
            return fallback;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (magnitude > limit)
            return fallback;
    }
    auto bits = static_cast<uint32_t>(magnitude);
    if (negative)
        bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

} // namespace SettingsFile
