#pragma once

#include "protocol/Frame.h"

#include <cstdint>
#include <string_view>

// Builders of every command frame the printer understands. Each takes its
// inputs as plain values and returns the finished frame (CR and checksum in
// place), ready to be written byte by byte. No Qt, no state.
namespace protocol {

// "e": sent before the header lines of a band.
ShortFrame E2pFrame();
// "T": prints a ticket of band (1 to 4), sent as its ASCII digit.
ShortFrame PrintBandFrame(int band);
// "w": restarts the printer.
ShortFrame RestartFrame();
// "f": prints the printer's programming report.
ShortFrame ReportFrame();

// A reading of the local clock. Year is the full year; the frame carries the
// year within the century.
struct ClockFields {
    int Hours = 0;   // 0 to 23
    int Minutes = 0; // 0 to 59
    int Seconds = 0; // 0 to 59
    int Day = 1;     // 1 to 31
    int Month = 1;   // 1 to 12
    int Year = 2000;
};

// "R": sets the printer's clock. Each field goes out as a byte value, in the
// order seconds, minutes, hours, day, month, year.
ShortFrame ClockFrame(const ClockFields& clock);

// "L" 1 to 16: one header line. id is (band - 1) * 4 + line, style the
// style code (0 to 3, 0 for a line that is not printed), text the line as it
// goes on the wire (already through ConvertAccents). A text longer than 20
// characters is cut to 20. Filled with spaces.
LongFrame LineFrame(uint8_t id, uint8_t style, std::string_view text);

// The seven conditions of the option byte, each as the window reads it.
struct OptionConditions {
    bool PrintDate = false;       // bit 0
    bool PrintTime = false;       // bit 1
    bool PrintFooter = false;     // bit 2
    bool OldProtocol = false;     // bit 3: protocol "8 bytes"
    bool ResetAtMidnight = false; // bit 4: "Zerar Senha" at "0:00 Hs"
    bool ReloadAtBandEnd = false; // bit 5: "Recarregar Senha" at "Final Banda"
    bool PrinterMecaf = false;    // bit 6: printer number 2
};

// Bits 0 to 6 as the conditions hold; bit 7 is always 0.
uint8_t OptionBits(const OptionConditions& conditions);

struct TicketRange {
    int32_t Start = 1;
    int32_t End = 999;
};

// Identifier of a configuration frame and the bands it carries.
enum class ConfigFrameId : uint8_t {
    Bands1And2 = 17,
    Bands3And4 = 18,
};
// The first of the two bands that a configuration frame carries (1 or 3).
constexpr int FirstBandOf(ConfigFrameId id) {
    return id == ConfigFrameId::Bands1And2 ? 1 : 3;
}

// "L" 17 or 18: the option byte, the number of bands and the ticket ranges
// of two bands (first, then second), each number as a decimal field clamped
// to -999..9999. Filled with "0".
LongFrame ConfigFrame(ConfigFrameId id, uint8_t optionBits, uint8_t bandCount, TicketRange first,
                      TicketRange second);

} // namespace protocol
