#pragma once

#include "protocol/Decoder.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// What a ticket printer was told during one run of "qrv simulate", and what
// it prints in answer: a ticket preview on "T", a report on "f". Plain C++,
// no Qt, no I/O: the caller passes each decoded command with the local time
// it arrived. One thread at a time.
//
// The wire carries no print flag: a line the window marks as not printed
// arrives with style 0, "Enfatizado", and is kept and shown as such.
namespace simulate {

using WallClock = std::chrono::system_clock;

inline constexpr int MaxBands = 4;
inline constexpr int LinesPerBand = 4;
inline constexpr std::string_view FooterText = "Aguarde sua chamada pelo painel eletrônico.";

struct HeaderLine {
    bool Received = false; // an "L" 1 to 16 brought it in this run
    uint8_t Style = 0;     // as sent
    std::string Text;      // Windows-1252, as decoded
    bool operator==(const HeaderLine&) const = default;
};

struct BandState {
    protocol::TicketRange Range; // 1 to 999 until a configuration frame
    int32_t Next = 1;            // the number the band's next ticket carries
    bool operator==(const BandState&) const = default;
};

struct PrinterClock {
    bool Set = false;   // an "R" came
    bool Valid = false; // its fields make a date and a time
    protocol::ClockCommand Told;
    std::chrono::seconds Offset{0}; // the printer's clock minus the local clock
};

struct PrinterState {
    std::array<HeaderLine, MaxBands * LinesPerBand> Lines; // by line id - 1
    std::array<BandState, MaxBands> Bands;
    bool Configured = false; // a configuration frame came; until then the defaults below
    protocol::OptionConditions Options{.PrintDate = true, .PrintTime = true, .PrintFooter = true};
    int BandCount = 4;
    PrinterClock Clock;
    int Tickets = 0; // printed in this run
};

struct TicketLine {
    int Line = 1; // 1 to 4 within the band
    uint8_t Style = 0;
    std::string Text; // Windows-1252
    bool operator==(const TicketLine&) const = default;
};

struct Ticket {
    int Band = 1;
    int32_t Number = 1;
    std::vector<TicketLine> Lines; // the band's lines received in this run, in order
    // "dd/mm/aa" and "hh:mm:ss" from the printer's clock, each only when the
    // options print it; the footer likewise.
    std::optional<std::string> Date;
    std::optional<std::string> Time;
    std::optional<std::string> Footer;
    bool ClockSet = false; // false: the date and time are this computer's
    int BandCount = 4;     // the number of bands the printer was told
};

struct Report {
    PrinterState State;
    std::string ClockNow; // "dd/mm/aa hh:mm:ss" on the printer's clock
};

using Printout = std::variant<Ticket, Report>;

class VirtualPrinter {
public:
    // Takes one command that arrived at now. Returns the ticket of a "T" for
    // bands 1 to 4 (a band never programmed prints with start 1, end 999 and
    // no lines), the report of an "f", and nothing for the other commands
    // and for a "T" of a band the printer does not have (0, 5 to 9).
    std::optional<Printout> Take(const protocol::Command& command, WallClock::time_point now);
    const PrinterState& State() const { return state; }

private:
    PrinterState state;
};

// The printer's clock at now as "dd/mm/aa hh:mm:ss": the local clock moved
// by the offset the last valid "R" set, the local clock itself before that.
std::string ClockText(const PrinterClock& clock, WallClock::time_point now);

// A Windows-1252 text as UTF-8 for a terminal: control characters, the
// quote and the backslash escaped, so what a frame carries cannot drive the
// terminal.
std::string DisplayText(std::string_view cp1252);
// "Enfatizado" ... "Dupla Altura", or "Estilo n" for a code beyond the list.
std::string StyleName(int style);
// The option byte's seven conditions by the window's names.
std::string OptionsText(const protocol::OptionConditions& options);
// One decoded command as a frame line shows it, without the time, e.g.
// `L 05  Banda 2 linha 1  Enfatizado  "Atenção"`.
std::string CommandText(const protocol::Command& command);
// A printout as lines of text, UTF-8.
std::vector<std::string> PrintoutText(const Printout& printout);

} // namespace simulate
