#include "printer/PrinterConfiguration.h"

#include "model/Cp1252.h"

#include <algorithm>

namespace printer {

namespace {

template <typename Enum, std::size_t N>
Enum withinList(Enum value, const std::array<std::string_view, N>&) {
    const int32_t position = Position(value);
    return position >= 0 && position < static_cast<int32_t>(N) ? value : static_cast<Enum>(-1);
}

bool isControl(char byte) {
    const char32_t c = cp1252::CodePoint(static_cast<uint8_t>(byte));
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

PrinterConfiguration AsWindowHolds(PrinterConfiguration config) {
    PrinterOptions& o = config.Options;
    o.ResetAt = withinList(o.ResetAt, ResetItems);
    o.ReloadAt = withinList(o.ReloadAt, ReloadItems);
    o.Printer = withinList(o.Printer, PrinterItems);
    o.Protocol = withinList(o.Protocol, ProtocolItems);
    o.BandCount = std::clamp<int16_t>(o.BandCount, 1, ConfigurationModel::BandCount);

    ConfigurationModel& m = config.Model;
    for (int32_t& style : m.LineStyle)
        if (style < 0 || style >= static_cast<int32_t>(StyleItems.size()))
            style = -1;
    for (std::string& text : m.BandLineText) {
        std::erase_if(text, isControl);
        if (text.size() > ConfigurationModel::MaxLineLength)
            text.resize(ConfigurationModel::MaxLineLength);
    }
    return config;
}

} // namespace printer
