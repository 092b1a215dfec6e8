#pragma once

#include "model/ConfigurationModel.h"
#include "protocol/Decoder.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// What a ticket printer was told during one run of "qrv simulate", and what
// it prints in answer: a ticket on "T", a report on "f", as data (their text
// and JSON are Narration's). Plain C++, no Qt, no I/O: the caller
// passes each decoded command with the local time it arrived. One thread at
// a time.
//
// The wire carries no print flag: a line the window marks as not printed
// arrives with style 0, "Enfatizado", and is kept and shown as such.
namespace simulator {

using WallClock = std::chrono::system_clock;

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
    // By ConfigurationModel::LineIndex, the line id - 1.
    std::array<HeaderLine, ConfigurationModel::LineCount> Lines;
    std::array<BandState, ConfigurationModel::BandCount> Bands;
    bool Configured = false; // a configuration frame came; until then the defaults below
    protocol::OptionConditions Options{.PrintDate = true, .PrintTime = true, .PrintFooter = true};
    int BandCount = ConfigurationModel::BandCount;
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
    std::time_t Clock = 0;         // the printer's clock as it printed (see PrinterTime)
    // What the options print: the date, the time, the footer.
    bool PrintDate = true;
    bool PrintTime = true;
    bool PrintFooter = true;
    bool ClockSet = false;                         // false: the date and time are this computer's
    int BandCount = ConfigurationModel::BandCount; // the number of bands the printer was told
};

struct Report {
    PrinterState State;
    std::time_t Clock = 0; // the printer's clock as it printed
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

// The local time that an "R"'s fields name, or nothing when they name no
// date or time (second 60 included: the printer's clock has no leap second).
std::optional<std::time_t> ToldTime(const protocol::ClockCommand& told);

// The printer's clock at now, to be read as local time: the local clock
// moved by the offset the last valid "R" set, the local clock itself before
// that. Whole seconds.
std::time_t PrinterTime(const PrinterClock& clock, WallClock::time_point now);

} // namespace simulator
