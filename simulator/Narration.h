#pragma once

#include "simulator/Line.h"
#include "simulator/VirtualPrinter.h"

#include "protocol/Decoder.h"
#include "protocol/FrameSplitter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// What "qrv simulate" says while it runs, as events, and the two forms it
// says them in: text for a person, one JSON object a line for scripts. Each
// form renders every event kind and every command a frame carries through
// one std::visit without a catch-all branch, so a kind added without its
// renderings does not compile. Plain C++, no I/O.
namespace simulator {

// The printer is on its port.
struct Listening {
    std::string Port;   // "COM3"
    std::string Device; // the pseudo-terminal
};

// The sender changed the line's settings.
struct LineChanged {
    LineSettings Line;
};

// A whole frame that decodes to a command.
struct FrameReceived {
    WallClock::time_point At; // when its first byte came, local clock
    std::vector<uint8_t> Bytes;
    LineSettings Line; // the line it came over
    protocol::Command Command;
};

// Bytes that make no command: a frame that does not decode (Kind Frame),
// bytes outside a frame, a frame cut short.
struct Fault {
    WallClock::time_point At;
    protocol::FrameSplitter::Item::Kind Kind = protocol::FrameSplitter::Item::Kind::Frame;
    std::string Reason; // Brazilian Portuguese, UTF-8, no full stop
    std::vector<uint8_t> Bytes;
};

// --stall-after: the printer stopped reading and filled the line.
struct Stalled {
    int Frames = 0;
    std::size_t Filler = 0; // bytes written into the line
};

// --hang-up-after: the printer closed the line.
struct HungUp {
    int Frames = 0;
};

// The run is over; Message says what became of the port map entry.
struct Ended {
    std::string Port;
    std::string Message;
};

// Ticket and Report are what the printer prints (VirtualPrinter.h).
using Event = std::variant<Listening, LineChanged, FrameReceived, Ticket, Report, Fault, Stalled,
                           HungUp, Ended>;

enum class Format { Text, Json };

// What the simulator prints for event, without the final line break: in
// Text one or more lines, escaped for a terminal; in Json one object.
std::string Rendered(const Event& event, Format format);

// A printout as lines of text, UTF-8, as Rendered gives them but without
// their indent.
std::vector<std::string> PrintoutText(const Printout& printout);

} // namespace simulator
