#include "cli/VirtualPrinter.h"

#include "cli/Text.h"

#include "model/Cp1252.h"
#include "printer/PrinterOptions.h"

#include <cstdio>
#include <ctime>
#include <utility>

namespace simulate {

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

std::string twoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string clockFields(int day, int month, int year, int hours, int minutes, int seconds) {
    return twoDigits(day) + "/" + twoDigits(month) + "/" + twoDigits(year) + " " +
           twoDigits(hours) + ":" + twoDigits(minutes) + ":" + twoDigits(seconds);
}

std::string toldText(const protocol::ClockCommand& c) {
    return clockFields(c.Day, c.Month, c.YearInCentury, c.Hours, c.Minutes, c.Seconds);
}

// The local time the fields name, or nothing when they name no date or time
// (second 60 included: the printer's clock has no leap second).
std::optional<std::time_t> toldTime(const protocol::ClockCommand& c) {
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

std::time_t secondsOf(WallClock::time_point now) {
    return static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()).count());
}

std::tm printerTime(const PrinterClock& clock, WallClock::time_point now) {
    std::time_t t = secondsOf(now);
    if (clock.Set && clock.Valid)
        t += static_cast<std::time_t>(clock.Offset.count());
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return std::string(text);
}

std::string quoted(std::string_view cp1252) {
    return "\"" + DisplayText(cp1252) + "\"";
}

std::vector<std::string> ticketText(const Ticket& t) {
    const std::string band = std::to_string(t.Band);
    std::vector<std::string> out{"--- Ticket da banda " + band +
                                 ": prévia do que a impressora recebeu, não o seu leiaute ---"};
    if (t.Band > t.BandCount)
        out.push_back("(a impressora foi programada com " + std::to_string(t.BandCount) +
                      " bandas)");
    if (t.Lines.empty())
        out.push_back("(nenhuma linha recebida para a banda " + band + ")");
    for (const TicketLine& line : t.Lines)
        out.push_back(Padded(StyleName(line.Style), 14) + quoted(line.Text));
    out.push_back("Senha " + std::to_string(t.Number));
    std::string when;
    if (t.Date)
        when = *t.Date;
    if (t.Time)
        when += (when.empty() ? "" : "  ") + *t.Time;
    if (!when.empty())
        out.push_back(when + (t.ClockSet ? "" : "  (relógio não acertado: hora deste computador)"));
    if (t.Footer)
        out.push_back(*t.Footer);
    out.push_back("---");
    return out;
}

std::string clockReport(const PrinterClock& clock, const std::string& now) {
    if (!clock.Set)
        return "Relógio: não acertado; vale o deste computador, " + now;
    if (!clock.Valid)
        return "Relógio: recebeu data ou hora inválida (" + toldText(clock.Told) +
               "); vale o deste computador, " + now;
    const long long offset = clock.Offset.count();
    const std::string how = offset == 0 ? "igual ao relógio deste computador"
                                        : std::to_string(offset < 0 ? -offset : offset) +
                                              (offset > 0 ? " s à frente" : " s atrás") +
                                              " do relógio deste computador";
    return "Relógio: " + now + " (" + how + ")";
}

std::vector<std::string> reportText(const Report& r) {
    const PrinterState& s = r.State;
    const char* fallback = s.Configured ? "" : " (padrão: nenhuma configuração recebida)";
    std::vector<std::string> out{"--- Relatório: o que a impressora recebeu nesta execução ---",
                                 "Opções: " + OptionsText(s.Options) + fallback,
                                 "Número de bandas: " + std::to_string(s.BandCount) + fallback,
                                 clockReport(s.Clock, r.ClockNow)};
    for (int b = 1; b <= MaxBands; ++b) {
        const BandState& band = s.Bands[static_cast<std::size_t>(b - 1)];
        out.push_back("Banda " + std::to_string(b) + ": " + std::to_string(band.Range.Start) +
                      " a " + std::to_string(band.Range.End) + ", próxima senha " +
                      std::to_string(band.Next));
        for (int l = 1; l <= LinesPerBand; ++l) {
            const HeaderLine& line =
                s.Lines[static_cast<std::size_t>((b - 1) * LinesPerBand + l - 1)];
            out.push_back("  Linha " + std::to_string(l) + ": " +
                          (line.Received ? Padded(StyleName(line.Style), 14) + quoted(line.Text)
                                         : std::string("não recebida")));
        }
    }
    out.push_back("Tickets impressos: " + std::to_string(s.Tickets));
    out.push_back("---");
    return out;
}

} // namespace

std::optional<Printout> VirtualPrinter::Take(const protocol::Command& command,
                                             WallClock::time_point now) {
    using namespace protocol;
    return std::visit(
        Overloaded{
            [](const E2pCommand&) -> std::optional<Printout> { return std::nullopt; },
            [&](const PrintBandCommand& c) -> std::optional<Printout> {
                if (c.Band < 1 || c.Band > MaxBands)
                    return std::nullopt;
                BandState& band = state.Bands[static_cast<std::size_t>(c.Band - 1)];
                Ticket ticket;
                ticket.Band = c.Band;
                ticket.Number = band.Next;
                // A range whose start lies past its end prints its start each time.
                band.Next = band.Next >= band.Range.End ? band.Range.Start : band.Next + 1;
                for (int l = 1; l <= LinesPerBand; ++l) {
                    const HeaderLine& line =
                        state.Lines[static_cast<std::size_t>((c.Band - 1) * LinesPerBand + l - 1)];
                    if (line.Received)
                        ticket.Lines.push_back({l, line.Style, line.Text});
                }
                const std::string clock = ClockText(state.Clock, now);
                if (state.Options.PrintDate)
                    ticket.Date = clock.substr(0, 8);
                if (state.Options.PrintTime)
                    ticket.Time = clock.substr(9);
                if (state.Options.PrintFooter)
                    ticket.Footer = std::string(FooterText);
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
                return Report{state, ClockText(state.Clock, now)};
            },
            [&](const ClockCommand& c) -> std::optional<Printout> {
                state.Clock.Set = true;
                state.Clock.Told = c;
                const std::optional<std::time_t> told = toldTime(c);
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
                const std::size_t first = c.Id == ConfigFrameId::Bands1And2 ? 0 : 2;
                const TicketRange ranges[] = {c.First, c.Second};
                for (std::size_t i = 0; i < 2; ++i) {
                    BandState& band = state.Bands[first + i];
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

std::string ClockText(const PrinterClock& clock, WallClock::time_point now) {
    const std::tm t = printerTime(clock, now);
    return clockFields(t.tm_mday, t.tm_mon + 1, t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
}

std::string DisplayText(std::string_view cp1252) {
    std::string quoted;
    for (const char c : Utf8FromCp1252(cp1252)) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return Printable(quoted);
}

std::string StyleName(int style) {
    if (style >= 0 && style < static_cast<int>(printer::StyleItems.size()))
        return std::string(printer::StyleItems[static_cast<std::size_t>(style)]);
    return "Estilo " + std::to_string(style);
}

std::string OptionsText(const protocol::OptionConditions& o) {
    auto item = [](const auto& items, bool second) { return trimmed(items[second ? 1 : 0]); };
    return std::string(o.PrintDate ? "data" : "sem data") +
           (o.PrintTime ? ", hora" : ", sem hora") + (o.PrintFooter ? ", rodapé" : ", sem rodapé") +
           "; Protocolo: " + item(printer::ProtocolItems, o.OldProtocol) +
           "; Zerar Senha: " + item(printer::ResetItems, o.ResetAtMidnight) +
           "; Recarregar Senha: " + item(printer::ReloadItems, o.ReloadAtBandEnd) +
           "; Impressora: " + item(printer::PrinterItems, o.PrinterMecaf);
}

std::string CommandText(const protocol::Command& command) {
    using namespace protocol;
    return std::visit(
        Overloaded{
            [](const E2pCommand&) -> std::string { return "e  e2p"; },
            [](const PrintBandCommand& c) -> std::string {
                const std::string band = std::to_string(c.Band);
                std::string text = "T " + band + "  Imprimir  Banda " + band;
                if (c.Band < 1 || c.Band > MaxBands)
                    text += ": a impressora não tem esta banda; nada impresso";
                return text;
            },
            [](const RestartCommand&) -> std::string { return "w  Re Iniciar"; },
            [](const ReportCommand&) -> std::string { return "f  Log"; },
            [](const ClockCommand& c) -> std::string {
                return "R  Relógio  " + toldText(c) +
                       (toldTime(c) ? "" : "  (data ou hora inválida: relógio não acertado)");
            },
            [](const LineCommand& c) -> std::string {
                const int band = (c.Id - 1) / LinesPerBand + 1;
                const int line = (c.Id - 1) % LinesPerBand + 1;
                return "L " + twoDigits(c.Id) + "  Banda " + std::to_string(band) + " linha " +
                       std::to_string(line) + "  " + StyleName(c.Style) + "  " + quoted(c.Text);
            },
            [](const ConfigCommand& c) -> std::string {
                const int first = c.Id == ConfigFrameId::Bands1And2 ? 1 : 3;
                auto range = [](int band, const TicketRange& r) {
                    return "  Banda " + std::to_string(band) + ": " + std::to_string(r.Start) +
                           " a " + std::to_string(r.End);
                };
                char bits[8];
                std::snprintf(bits, sizeof bits, "0x%02X", OptionBits(c.Options));
                return "L " + std::to_string(static_cast<int>(c.Id)) + "  Opções " + bits + ": " +
                       OptionsText(c.Options) + "  Bandas: " + std::to_string(c.BandCount) +
                       range(first, c.First) + range(first + 1, c.Second);
            },
        },
        command);
}

std::vector<std::string> PrintoutText(const Printout& printout) {
    if (const auto* ticket = std::get_if<Ticket>(&printout))
        return ticketText(*ticket);
    return reportText(std::get<Report>(printout));
}

} // namespace simulate
