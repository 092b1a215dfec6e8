#include "simulator/Narration.h"

#include "model/Text.h"
#include "simulator/Overloaded.h"

#include "model/ConfigurationModel.h"
#include "printer/PrinterOptions.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <optional>
#include <string_view>

namespace simulator {

namespace {

using nlohmann::json;
using Kind = protocol::FrameSplitter::Item::Kind;

constexpr std::string_view FooterText = "Aguarde sua chamada pelo painel eletrônico.";
// Style names are padded to this many columns before a line's text.
constexpr std::size_t StyleColumn = 14;

// ---- Pieces both forms share ----------------------------------------------------------------

struct LinePlace {
    int Band = 1;
    int Line = 1;
};

// Where an "L" 1 to 16 goes: the inverse of ConfigurationModel::LineIndex.
LinePlace placeOf(int id) {
    return {(id - 1) / ConfigurationModel::LinesPerBand + 1,
            (id - 1) % ConfigurationModel::LinesPerBand + 1};
}

// "Enfatizado" ... "Dupla Altura", or "Estilo n" for a code beyond the list.
std::string styleName(int style) {
    if (style >= 0 && style < static_cast<int>(printer::StyleItems.size()))
        return std::string(printer::StyleItems[static_cast<std::size_t>(style)]);
    return "Estilo " + std::to_string(style);
}

std::string twoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string clockFields(int day, int month, int year, int hours, int minutes, int seconds) {
    return twoDigits(day) + "/" + twoDigits(month) + "/" + twoDigits(year) + " " +
           twoDigits(hours) + ":" + twoDigits(minutes) + ":" + twoDigits(seconds);
}

// "dd/mm/aa hh:mm:ss" of a time read as local time.
std::string clockText(std::time_t t) {
    std::tm local{};
    ::localtime_r(&t, &local);
    return clockFields(local.tm_mday, local.tm_mon + 1, local.tm_year % 100, local.tm_hour,
                       local.tm_min, local.tm_sec);
}

std::string dateOf(const std::string& clock) {
    return clock.substr(0, 8);
}

std::string timeOf(const std::string& clock) {
    return clock.substr(9);
}

std::string toldText(const protocol::ClockCommand& c) {
    return clockFields(c.Day, c.Month, c.YearInCentury, c.Hours, c.Minutes, c.Seconds);
}

// "hh:mm:ss.mmm" on the local clock.
std::string timeOfDay(WallClock::time_point at) {
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(at.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

// ---- Text -----------------------------------------------------------------------------------

std::string trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return std::string(text);
}

// A Windows-1252 text as UTF-8 for a terminal: control characters, the
// quote and the backslash escaped, so what a frame carries cannot drive the
// terminal.
std::string displayText(std::string_view cp1252) {
    std::string quoted;
    for (const char c : Utf8FromCp1252(cp1252)) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return Printable(quoted);
}

std::string quotedText(std::string_view cp1252) {
    return "\"" + displayText(cp1252) + "\"";
}

std::string styledText(uint8_t style, std::string_view cp1252) {
    return Padded(styleName(style), StyleColumn) + quotedText(cp1252);
}

// The option byte's seven conditions by the window's names.
std::string optionsText(const protocol::OptionConditions& o) {
    auto item = [](const auto& items, bool second) { return trimmed(items[second ? 1 : 0]); };
    return std::string(o.PrintDate ? "data" : "sem data") +
           (o.PrintTime ? ", hora" : ", sem hora") + (o.PrintFooter ? ", rodapé" : ", sem rodapé") +
           "; Protocolo: " + item(printer::ProtocolItems, o.OldProtocol) +
           "; Zerar Senha: " + item(printer::ResetItems, o.ResetAtMidnight) +
           "; Recarregar Senha: " + item(printer::ReloadItems, o.ReloadAtBandEnd) +
           "; Impressora: " + item(printer::PrinterItems, o.PrinterMecaf);
}

// One decoded command as a frame line shows it, without the time, e.g.
// `L 05  Banda 2 linha 1  Enfatizado  "Atenção"`.
std::string commandText(const protocol::Command& command) {
    using namespace protocol;
    return std::visit(
        Overloaded{
            [](const E2pCommand&) -> std::string { return "e  e2p"; },
            [](const PrintBandCommand& c) -> std::string {
                const std::string band = std::to_string(c.Band);
                std::string text = "T " + band + "  Imprimir  Banda " + band;
                if (c.Band < 1 || c.Band > ConfigurationModel::BandCount)
                    text += ": a impressora não tem esta banda; nada impresso";
                return text;
            },
            [](const RestartCommand&) -> std::string { return "w  Re Iniciar"; },
            [](const ReportCommand&) -> std::string { return "f  Log"; },
            [](const ClockCommand& c) -> std::string {
                return "R  Relógio  " + toldText(c) +
                       (ToldTime(c) ? "" : "  (data ou hora inválida: relógio não acertado)");
            },
            [](const LineCommand& c) -> std::string {
                const LinePlace place = placeOf(c.Id);
                return "L " + twoDigits(c.Id) + "  Banda " + std::to_string(place.Band) +
                       " linha " + std::to_string(place.Line) + "  " + styleName(c.Style) + "  " +
                       quotedText(c.Text);
            },
            [](const ConfigCommand& c) -> std::string {
                const int first = FirstBandOf(c.Id);
                auto range = [](int band, const TicketRange& r) {
                    return "  Banda " + std::to_string(band) + ": " + std::to_string(r.Start) +
                           " a " + std::to_string(r.End);
                };
                char bits[8];
                std::snprintf(bits, sizeof bits, "0x%02X", OptionBits(c.Options));
                return "L " + std::to_string(static_cast<int>(c.Id)) + "  Opções " + bits + ": " +
                       optionsText(c.Options) + "  Bandas: " + std::to_string(c.BandCount) +
                       range(first, c.First) + range(first + 1, c.Second);
            },
        },
        command);
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
        out.push_back(styledText(line.Style, line.Text));
    out.push_back("Senha " + std::to_string(t.Number));
    const std::string clock = clockText(t.Clock);
    std::string when;
    if (t.PrintDate)
        when = dateOf(clock);
    if (t.PrintTime)
        when += (when.empty() ? "" : "  ") + timeOf(clock);
    if (!when.empty())
        out.push_back(when + (t.ClockSet ? "" : "  (relógio não acertado: hora deste computador)"));
    if (t.PrintFooter)
        out.push_back(std::string(FooterText));
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
                                 "Opções: " + optionsText(s.Options) + fallback,
                                 "Número de bandas: " + std::to_string(s.BandCount) + fallback,
                                 clockReport(s.Clock, clockText(r.Clock))};
    for (int b = 1; b <= ConfigurationModel::BandCount; ++b) {
        const BandState& band = s.Bands[static_cast<std::size_t>(b - 1)];
        out.push_back("Banda " + std::to_string(b) + ": " + std::to_string(band.Range.Start) +
                      " a " + std::to_string(band.Range.End) + ", próxima senha " +
                      std::to_string(band.Next));
        for (int l = 1; l <= ConfigurationModel::LinesPerBand; ++l) {
            const HeaderLine& line =
                s.Lines[static_cast<std::size_t>(ConfigurationModel::LineIndex(b, l))];
            out.push_back(
                "  Linha " + std::to_string(l) + ": " +
                (line.Received ? styledText(line.Style, line.Text) : std::string("não recebida")));
        }
    }
    out.push_back("Tickets impressos: " + std::to_string(s.Tickets));
    out.push_back("---");
    return out;
}

// A printout's lines, each indented under the frame that asked for it.
std::string indented(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "    " : "\n    ") + line;
    return text;
}

std::string framesText(int frames) {
    return std::to_string(frames) + (frames == 1 ? " quadro" : " quadros");
}

std::string textOf(const Event& event) {
    return std::visit(
        Overloaded{
            [](const Listening& e) -> std::string {
                return "Impressora virtual em " + e.Port + " (" + e.Device + "). Ctrl+C para sair.";
            },
            [](const LineChanged& e) -> std::string {
                return "Linha: " + e.Line.Text() +
                       (e.Line.IsPrinters() ? "." : " (a impressora usa 9600 8N2: leria lixo).");
            },
            [](const FrameReceived& e) -> std::string {
                return timeOfDay(e.At) + "  " + commandText(e.Command) +
                       (e.Line.IsPrinters() ? "" : "  [linha " + e.Line.Text() + "]");
            },
            [](const Ticket& e) -> std::string { return indented(ticketText(e)); },
            [](const Report& e) -> std::string { return indented(reportText(e)); },
            [](const Fault& e) -> std::string {
                return timeOfDay(e.At) + "  ERRO  " + e.Reason + "  bytes: " + HexBytes(e.Bytes);
            },
            [](const Stalled& e) -> std::string {
                return "Depois de " + framesText(e.Frames) +
                       " a impressora virtual parou de ler e encheu a linha (" +
                       std::to_string(e.Filler) + " bytes): buffer cheio.";
            },
            [](const HungUp& e) -> std::string {
                return "Depois de " + framesText(e.Frames) +
                       " a impressora virtual fechou a linha: cabo desligado.";
            },
            [](const Ended& e) -> std::string { return e.Message; },
        },
        event);
}

// ---- JSON -----------------------------------------------------------------------------------

json optionsJson(const protocol::OptionConditions& o) {
    return {{"printDate", o.PrintDate},
            {"printTime", o.PrintTime},
            {"printFooter", o.PrintFooter},
            {"oldProtocol", o.OldProtocol},
            {"resetAtMidnight", o.ResetAtMidnight},
            {"reloadAtBandEnd", o.ReloadAtBandEnd},
            {"printerMecaf", o.PrinterMecaf}};
}

json commandJson(const protocol::Command& command) {
    using namespace protocol;
    return std::visit(
        Overloaded{
            [](const E2pCommand&) -> json {
                return {{"command", "e"}};
            },
            [](const PrintBandCommand& c) -> json {
                return {{"command", "T"}, {"band", c.Band}};
            },
            [](const RestartCommand&) -> json {
                return {{"command", "w"}};
            },
            [](const ReportCommand&) -> json {
                return {{"command", "f"}};
            },
            [](const ClockCommand& c) -> json {
                return {{"command", "R"},
                        {"clock",
                         {{"seconds", c.Seconds},
                          {"minutes", c.Minutes},
                          {"hours", c.Hours},
                          {"day", c.Day},
                          {"month", c.Month},
                          {"year", c.YearInCentury}}}};
            },
            [](const LineCommand& c) -> json {
                const LinePlace place = placeOf(c.Id);
                return {{"command", "L"},
                        {"id", c.Id},
                        {"band", place.Band},
                        {"line", place.Line},
                        {"style", c.Style},
                        {"styleName", styleName(c.Style)},
                        {"text", Utf8FromCp1252(c.Text)}};
            },
            [](const ConfigCommand& c) -> json {
                const int first = FirstBandOf(c.Id);
                return {
                    {"command", "L"},
                    {"id", static_cast<int>(c.Id)},
                    {"optionBits", OptionBits(c.Options)},
                    {"options", optionsJson(c.Options)},
                    {"bandCount", c.BandCount},
                    {"ranges",
                     {{{"band", first}, {"start", c.First.Start}, {"end", c.First.End}},
                      {{"band", first + 1}, {"start", c.Second.Start}, {"end", c.Second.End}}}}};
            },
        },
        command);
}

json ticketJson(const Ticket& t) {
    json lines = json::array();
    for (const TicketLine& l : t.Lines)
        lines.push_back({{"line", l.Line},
                         {"style", l.Style},
                         {"styleName", styleName(l.Style)},
                         {"text", Utf8FromCp1252(l.Text)}});
    const std::string clock = clockText(t.Clock);
    auto shown = [](bool printed, const std::string& value) {
        return printed ? json(value) : json();
    };
    return {{"event", "ticket"},
            {"band", t.Band},
            {"number", t.Number},
            {"lines", lines},
            {"date", shown(t.PrintDate, dateOf(clock))},
            {"time", shown(t.PrintTime, timeOf(clock))},
            {"footer", shown(t.PrintFooter, std::string(FooterText))},
            {"clockSet", t.ClockSet}};
}

json reportJson(const Report& r) {
    const PrinterState& s = r.State;
    json bands = json::array();
    for (int b = 1; b <= ConfigurationModel::BandCount; ++b) {
        const BandState& band = s.Bands[static_cast<std::size_t>(b - 1)];
        json lines = json::array();
        for (int l = 1; l <= ConfigurationModel::LinesPerBand; ++l) {
            const HeaderLine& line =
                s.Lines[static_cast<std::size_t>(ConfigurationModel::LineIndex(b, l))];
            lines.push_back({{"line", l},
                             {"received", line.Received},
                             {"style", line.Style},
                             {"styleName", styleName(line.Style)},
                             {"text", Utf8FromCp1252(line.Text)}});
        }
        bands.push_back({{"band", b},
                         {"start", band.Range.Start},
                         {"end", band.Range.End},
                         {"next", band.Next},
                         {"lines", lines}});
    }
    return {{"event", "report"},
            {"configured", s.Configured},
            {"optionBits", protocol::OptionBits(s.Options)},
            {"options", optionsJson(s.Options)},
            {"bandCount", s.BandCount},
            {"bands", bands},
            {"clock",
             {{"set", s.Clock.Set},
              {"valid", s.Clock.Valid},
              {"offsetSeconds", s.Clock.Offset.count()},
              {"now", clockText(r.Clock)}}},
            {"tickets", s.Tickets}};
}

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::Frame:
        return "frame";
    case Kind::Garbage:
        return "garbage";
    case Kind::Incomplete:
        break;
    }
    return "incomplete";
}

json jsonOf(const Event& event) {
    return std::visit(
        Overloaded{
            [](const Listening& e) -> json {
                return {{"event", "listening"}, {"port", e.Port}, {"device", e.Device}};
            },
            [](const LineChanged& e) -> json {
                return {{"event", "line"},
                        {"speed", e.Line.Speed},
                        {"dataBits", e.Line.DataBits},
                        {"parity", std::string(1, e.Line.Parity)},
                        {"stopBits", e.Line.StopBits},
                        {"ok", e.Line.IsPrinters()}};
            },
            [](const FrameReceived& e) -> json {
                json j = commandJson(e.Command);
                j["event"] = "frame";
                j["at"] = timeOfDay(e.At);
                j["bytes"] = HexBytes(e.Bytes);
                // "line" is a header line's number within its band.
                j["serialLine"] = e.Line.Text();
                j["lineOk"] = e.Line.IsPrinters();
                return j;
            },
            [](const Ticket& e) -> json { return ticketJson(e); },
            [](const Report& e) -> json { return reportJson(e); },
            [](const Fault& e) -> json {
                return {{"event", "error"},
                        {"at", timeOfDay(e.At)},
                        {"kind", kindName(e.Kind)},
                        {"reason", e.Reason},
                        {"bytes", HexBytes(e.Bytes)}};
            },
            [](const Stalled& e) -> json {
                return {{"event", "stall"}, {"frames", e.Frames}, {"filler", e.Filler}};
            },
            [](const HungUp& e) -> json {
                return {{"event", "hang-up"}, {"frames", e.Frames}};
            },
            [](const Ended& e) -> json {
                return {{"event", "end"}, {"port", e.Port}, {"message", e.Message}};
            },
        },
        event);
}

} // namespace

std::string Rendered(const Event& event, Format format) {
    if (format == Format::Json)
        return jsonOf(event).dump(-1, ' ', false, json::error_handler_t::replace);
    return Printable(textOf(event), true);
}

std::vector<std::string> PrintoutText(const Printout& printout) {
    return std::visit(Overloaded{
                          [](const Ticket& t) { return ticketText(t); },
                          [](const Report& r) { return reportText(r); },
                      },
                      printout);
}

} // namespace simulator
