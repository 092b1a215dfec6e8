#include "protocol/Commands.h"

#include <iterator>

namespace protocol {

namespace {

ShortFrame finished(ShortFrame frame) {
    frame.Finish();
    return frame;
}

// A short command with one data byte at position 3.
ShortFrame withData(uint8_t command, uint8_t value) {
    ShortFrame frame(command);
    frame.PutByte(3, value);
    return finished(frame);
}

} // namespace

ShortFrame E2pFrame() {
    return withData('e', Zero);
}

ShortFrame PrintBandFrame(int band) {
    ShortFrame frame('T');
    frame.PutDigit(3, band);
    return finished(frame);
}

ShortFrame RestartFrame() {
    return finished(ShortFrame('w'));
}

ShortFrame ReportFrame() {
    return withData('f', Zero);
}

ShortFrame ClockFrame(const ClockFields& clock) {
    ShortFrame frame('R');
    frame.PutByte(3, static_cast<uint8_t>(clock.Seconds));
    frame.PutByte(4, static_cast<uint8_t>(clock.Minutes));
    frame.PutByte(5, static_cast<uint8_t>(clock.Hours));
    frame.PutByte(6, static_cast<uint8_t>(clock.Day));
    frame.PutByte(7, static_cast<uint8_t>(clock.Month));
    frame.PutByte(8, static_cast<uint8_t>((clock.Year % 100 + 100) % 100));
    frame.PutByte(9, '1');
    return finished(frame);
}

LongFrame LineFrame(uint8_t id, uint8_t style, std::string_view text) {
    LongFrame frame(id, Space);
    frame.PutByte(4, style);
    frame.PutText(text);
    frame.Finish();
    return frame;
}

uint8_t OptionBits(const OptionConditions& c) {
    const bool bits[] = {c.PrintDate,       c.PrintTime,       c.PrintFooter, c.OldProtocol,
                         c.ResetAtMidnight, c.ReloadAtBandEnd, c.PrinterMecaf};
    uint8_t value = 0;
    for (unsigned bit = 0; bit < std::size(bits); ++bit)
        if (bits[bit])
            value = static_cast<uint8_t>(value | (1u << bit));
    return value;
}

LongFrame ConfigFrame(ConfigFrameId id, uint8_t optionBits, uint8_t bandCount, TicketRange first,
                      TicketRange second) {
    LongFrame frame(static_cast<uint8_t>(id), Zero);
    frame.PutByte(4, optionBits);
    frame.PutByte(5, bandCount);
    frame.PutDecimal(9, first.Start);
    frame.PutDecimal(13, first.End);
    frame.PutDecimal(17, second.Start);
    frame.PutDecimal(21, second.End);
    frame.Finish();
    return frame;
}

} // namespace protocol
