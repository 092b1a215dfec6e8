#include "cli/SentFrames.h"

#include "simulator/Overloaded.h"

namespace {

template <typename Enum> Enum fromBit(bool set, Enum base) {
    if (set)
        return static_cast<Enum>(1);
    return printer::Position(base) == 1 ? static_cast<Enum>(0) : base;
}

void applyLine(SentConfiguration& sent, const protocol::LineCommand& line) {
    ConfigurationModel& m = sent.Configuration.Model;
    const auto k = static_cast<std::size_t>(line.Id - 1);
    m.BandLineText[k] = line.Text;
    // What HeaderLineFrame sends: the style, or 0 for a line not printed.
    const bool sameAsBase =
        m.LineEnabled[k] ? static_cast<uint8_t>(m.LineStyle[k]) == line.Style : line.Style == 0;
    if (!sameAsBase) {
        m.LineEnabled[k] = line.Style != 0;
        if (line.Style != 0)
            m.LineStyle[k] = line.Style == 0xFF ? -1 : line.Style;
    }
    sent.LineSent[k] = true;
}

void applyConfig(SentConfiguration& sent, const protocol::ConfigCommand& config) {
    printer::PrinterOptions& o = sent.Configuration.Options;
    const protocol::OptionConditions& c = config.Options;
    o.PrintDate = c.PrintDate;
    o.PrintTime = c.PrintTime;
    o.PrintFooter = c.PrintFooter;
    o.Protocol = fromBit(c.OldProtocol, o.Protocol);
    o.ResetAt = fromBit(c.ResetAtMidnight, o.ResetAt);
    o.ReloadAt = fromBit(c.ReloadAtBandEnd, o.ReloadAt);
    o.Printer = fromBit(c.PrinterMecaf, o.Printer);
    o.BandCount = config.BandCount;
    const int first = protocol::FirstBandOf(config.Id);
    ConfigurationModel& m = sent.Configuration.Model;
    m.BandStart(first) = config.First.Start;
    m.BandEnd(first) = config.First.End;
    m.BandStart(first + 1) = config.Second.Start;
    m.BandEnd(first + 1) = config.Second.End;
    sent.RangeSent[static_cast<std::size_t>(first - 1)] = true;
    sent.RangeSent[static_cast<std::size_t>(first)] = true;
    sent.OptionsSent = true;
}

} // namespace

bool SentConfiguration::CarriesConfiguration() const {
    for (const bool sent : LineSent)
        if (sent)
            return true;
    return OptionsSent;
}

SentConfiguration FromFrames(const std::vector<std::vector<uint8_t>>& frames,
                             printer::PrinterConfiguration base) {
    SentConfiguration sent;
    sent.Configuration = std::move(base);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const protocol::DecodeResult result = protocol::Decode(frames[i]);
        if (const auto* error = std::get_if<protocol::DecodeError>(&result)) {
            sent.Undecoded.emplace_back(i + 1, error->Text);
            continue;
        }
        std::visit(
            Overloaded{
                [&](const protocol::E2pCommand&) { sent.Erased = true; },
                [&](const protocol::PrintBandCommand& c) { sent.PrintedBands.push_back(c.Band); },
                [&](const protocol::RestartCommand&) { sent.Restarted = true; },
                [&](const protocol::ReportCommand&) { sent.Reported = true; },
                [&](const protocol::ClockCommand& c) { sent.Clock = c; },
                [&](const protocol::LineCommand& c) {
                    if (c.Id >= 1 && c.Id <= ConfigurationModel::LineCount)
                        applyLine(sent, c);
                },
                [&](const protocol::ConfigCommand& c) { applyConfig(sent, c); },
            },
            std::get<protocol::Command>(result));
    }
    return sent;
}
