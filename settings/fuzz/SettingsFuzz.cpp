// Feeds arbitrary bytes to the profile reader and the key mapping, and checks
// what must hold for every input:
//  - line texts come back at most 20 characters long and free of control
//    codes, so the writer never meets one;
//  - the written file is the section line and 64 key lines, each ended by
//    CR LF, with no other CR, LF or NUL;
//  - writing what was read and reading it again gives the same values.
#include "settings/SettingsFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings_fuzz: %s\n", what);
        std::abort();
    }
}

bool sameTables(const ConfigurationModel& a, const ConfigurationModel& b) {
    for (int band = 1; band <= ConfigurationModel::BandCount; ++band)
        if (a.BandStart(band) != b.BandStart(band) || a.BandEnd(band) != b.BandEnd(band))
            return false;
    return a.BandLineText == b.BandLineText && a.LineStyle == b.LineStyle &&
           a.LineEnabled == b.LineEnabled;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The integer reader on its own, for inputs shorter than a file.
    if (size <= 24)
        (void)SettingsFile::ParseInteger(bytes, 7);

    const printer::PrinterConfiguration config = SettingsFile::Read(SettingsFile::Parse(bytes));
    for (const std::string& text : config.Model.BandLineText) {
        require(text.size() <= ConfigurationModel::MaxLineLength, "line text too long");
        for (const char c : text)
            require(static_cast<unsigned char>(c) >= 0x20, "control code in a line text");
    }

    const std::string written = SettingsFile::Format(config);
    std::size_t lines = 0;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const char c = written[i];
        require(c != '\0', "NUL in the written file");
        if (c == '\r') {
            require(i + 1 < written.size() && written[i + 1] == '\n', "CR without LF");
            ++lines;
            ++i;
        } else {
            require(c != '\n', "LF without CR");
        }
    }
    require(lines == 1 + SettingsFile::KeyCount && written.ends_with("\r\n"),
            "not 65 lines ended by CR LF");

    const printer::PrinterConfiguration again = SettingsFile::Read(SettingsFile::Parse(written));
    require(again.Options == config.Options, "options differ after writing and reading");
    require(sameTables(again.Model, config.Model), "model differs after writing and reading");
    return 0;
}
