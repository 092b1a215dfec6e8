#include "simulator/VirtualPrinter.h"

#include "simulator/Overloaded.h"

#include <iterator>
#include <utility>

namespace simulator {

namespace {

std::time_t secondsOf(WallClock::time_point now) {
    return static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()).count());
}

} // namespace

std::optional<std::time_t> ToldTime(const protocol::ClockCommand& c) {
    if (c.Seconds > 59 || c.Minutes > 59 || c.Hours > 23 || c.Day < 1 || c.Month < 1 ||
        c.Month > 12 || c.YearInCentury > 99)
        return std::nullopt;
    std::tm fields{};
    fields.tm_sec = c.Seconds;
    fields.tm_min = c.Minutes;
    fields.tm_hour = c.Hours;
    fields.tm_mday = c.Day;
    fields.tm_mon = c.Month - 1;
    fields.tm_year = 100 + c.YearInCentury;
    fields.tm_isdst = -1;
    std::tm normalised = fields;
    const std::time_t t = std::mktime(&normalised);
    // mktime moves 31/02 to March: such a date does not exist.
    if (t == static_cast<std::time_t>(-1) || normalised.tm_mday != fields.tm_mday ||
        normalised.tm_mon != fields.tm_mon)
        return std::nullopt;
    return t;
}

std::time_t PrinterTime(const PrinterClock& clock, WallClock::time_point now) {
    std::time_t t = secondsOf(now);
    if (clock.Set && clock.Valid)
        t += static_cast<std::time_t>(clock.Offset.count());
    return t;
}

std::optional<Printout> VirtualPrinter::Take(const protocol::Command& command,
                                             WallClock::time_point now) {
    using namespace protocol;
    return std::visit(
        Overloaded{
            [](const E2pCommand&) -> std::optional<Printout> { return std::nullopt; },
            [&](const PrintBandCommand& c) -> std::optional<Printout> {
                if (c.Band < 1 || c.Band > ConfigurationModel::BandCount)
                    return std::nullopt;
                BandState& band = state.Bands[static_cast<std::size_t>(c.Band - 1)];
                Ticket ticket;
                ticket.Band = c.Band;
                ticket.Number = band.Next;
                // A range whose start lies past its end prints its start each time.
                band.Next = band.Next >= band.Range.End ? band.Range.Start : band.Next + 1;
                for (int l = 1; l <= ConfigurationModel::LinesPerBand; ++l) {
                    const HeaderLine& line = state.Lines[static_cast<std::size_t>(
                        ConfigurationModel::LineIndex(c.Band, l))];
                    if (line.Received)
                        ticket.Lines.push_back({l, line.Style, line.Text});
                }
                ticket.Clock = PrinterTime(state.Clock, now);
                ticket.PrintDate = state.Options.PrintDate;
                ticket.PrintTime = state.Options.PrintTime;
                ticket.PrintFooter = state.Options.PrintFooter;
                ticket.ClockSet = state.Clock.Set && state.Clock.Valid;
                ticket.BandCount = state.BandCount;
                ++state.Tickets;
                return ticket;
            },
            [&](const RestartCommand&) -> std::optional<Printout> {
                for (BandState& band : state.Bands)
                    band.Next = band.Range.Start;
                return std::nullopt;
            },
            [&](const ReportCommand&) -> std::optional<Printout> {
                return Report{state, PrinterTime(state.Clock, now)};
            },
            [&](const ClockCommand& c) -> std::optional<Printout> {
                state.Clock.Set = true;
                state.Clock.Told = c;
                const std::optional<std::time_t> told = ToldTime(c);
                state.Clock.Valid = told.has_value();
                state.Clock.Offset = std::chrono::seconds(told ? *told - secondsOf(now) : 0);
                return std::nullopt;
            },
            [&](const LineCommand& c) -> std::optional<Printout> {
                // The decoder gives out only ids 1 to 16 as lines.
                state.Lines[static_cast<std::size_t>(c.Id - 1)] = {true, c.Style, c.Text};
                return std::nullopt;
            },
            [&](const ConfigCommand& c) -> std::optional<Printout> {
                const int first = FirstBandOf(c.Id);
                const TicketRange ranges[] = {c.First, c.Second};
                for (std::size_t i = 0; i < std::size(ranges); ++i) {
                    BandState& band = state.Bands[static_cast<std::size_t>(first - 1) + i];
                    // A band keeps counting when the same range comes again
                    // (every "Programar" sends both frames); a new range starts over.
                    if (band.Range.Start != ranges[i].Start || band.Range.End != ranges[i].End)
                        band = {ranges[i], ranges[i].Start};
                }
                state.Options = c.Options;
                state.BandCount = c.BandCount;
                state.Configured = true;
                return std::nullopt;
            },
        },
        command);
}

} // namespace simulator
