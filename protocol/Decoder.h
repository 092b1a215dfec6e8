#pragma once

#include "protocol/Commands.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

// The inverse of the command builders: one frame's bytes back to the command
// and its fields, or an error that says what is wrong with the frame. Plain
// C++, no Qt, no state: callable from any thread.
//
// A frame decodes only when it is byte for byte one that a builder can make:
// STX, "0", a known letter, the command's length, every fixed and fill byte in
// place, the CR and a right checksum. Byte-value fields (style, option bits
// 0 to 6, number of bands, clock fields) take any value; the caller judges
// whether a band 7 or a month 13 makes sense.
namespace protocol {

// "e"
struct E2pCommand {
    bool operator==(const E2pCommand&) const = default;
};

// "T": the band digit, 0 to 9 as sent.
struct PrintBandCommand {
    int Band = 0;
    bool operator==(const PrintBandCommand&) const = default;
};

// "w"
struct RestartCommand {
    bool operator==(const RestartCommand&) const = default;
};

// "f"
struct ReportCommand {
    bool operator==(const ReportCommand&) const = default;
};

// "R": each field the byte value sent; the year within the century.
struct ClockCommand {
    int Seconds = 0;
    int Minutes = 0;
    int Hours = 0;
    int Day = 1;
    int Month = 1;
    int YearInCentury = 0;
    bool operator==(const ClockCommand&) const = default;
};

// "L" 1 to 16. Text is Windows-1252 as the operator typed it: every byte
// that is an AccentTo entry is read back as its AccentFrom character.
//
// Two losses cannot be undone, because the wire does not tell:
// - Trailing blanks. The builder pads the field with spaces, so a text
//   ending in blanks looks like a shorter one; the decoder strips them all.
// - Characters outside the conversion table whose own code equals an AccentTo
//   byte, such as "ä" (0xE4, the wire code of "õ") or "ø" (0xF8, the wire
//   code of "º"). Such a byte is read as the accented character.
struct LineCommand {
    uint8_t Id = 1;
    uint8_t Style = 0;
    std::string Text;
    bool operator==(const LineCommand&) const = default;
};

// "L" 17 or 18: the options, the number of bands and the ranges of bands
// 1 and 2 (frame 17) or 3 and 4 (frame 18).
struct ConfigCommand {
    ConfigFrameId Id = ConfigFrameId::Bands1And2;
    OptionConditions Options;
    uint8_t BandCount = 0;
    TicketRange First;
    TicketRange Second;
    friend bool operator==(const ConfigCommand& a, const ConfigCommand& b);
};

using Command = std::variant<E2pCommand, PrintBandCommand, RestartCommand, ReportCommand,
                             ClockCommand, LineCommand, ConfigCommand>;

enum class DecodeErrorKind {
    TooShort,       // fewer bytes than the command's length
    TooLong,        // more bytes than the command's length
    MissingStx,     // position 0 is not 0x02
    MissingZero,    // position 1 is not "0"
    UnknownCommand, // position 2 is no command letter
    MissingCr,      // no CR before the checksum
    WrongChecksum,  // the bytes do not sum to 0
    BadDigit,       // "T" without a digit at position 3
    BadDecimal,     // a decimal field that is not a "%d" text right-aligned in "0"
    UnknownLineId,  // "L" identifier 0 or above 18
    BadOptionByte,  // bit 7 of the option byte set
    UnexpectedByte, // a fixed or fill byte out of place
};

// Text is Brazilian Portuguese in UTF-8, one short sentence without a full
// stop, ready to be shown to an operator.
struct DecodeError {
    DecodeErrorKind Kind;
    std::string Text;
    bool operator==(const DecodeError&) const = default;
};

using DecodeResult = std::variant<Command, DecodeError>;

// The whole length of the frame a command letter starts: 28 for "L", 14 for
// the other known letters, nothing for a letter that is no command.
std::optional<std::size_t> FrameLength(uint8_t letter);

// Decodes exactly one frame: frame must hold its bytes and nothing else.
DecodeResult Decode(std::span<const uint8_t> frame);

} // namespace protocol
