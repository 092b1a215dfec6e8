#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Cuts a byte stream into frames the way the printer does, and accounts for
// every byte that is not part of one. Plain C++, no Qt, no clock of its own:
// the caller passes the time of each call, so the outcome depends on the
// bytes and those times only. One object per stream, one thread at a time.
//
// A frame starts at an STX (0x02). Its length comes from the letter at
// position 2: 28 for "L", 14 for any other letter, known or not, since the
// printer cannot tell better. Bytes inside a frame are taken by count alone,
// so an STX or CR among its data is data. When the letters of two frames
// overlap because one was cut short, the printer reads the wrong bytes as a
// frame, and so does the splitter; the decoder then finds the fault.
//
// Bytes before an STX are garbage. A frame or garbage run that sees no new
// byte for Silence is given out as an item; no byte is dropped without one.
namespace protocol {

class FrameSplitter {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    static constexpr std::chrono::milliseconds Silence{100};
    // A garbage run is given out in items of at most this many bytes, so a
    // line that never sends an STX cannot make the splitter grow.
    static constexpr std::size_t MaxGarbage = 256;

    struct Item {
        enum class Kind {
            Frame,      // a whole frame by its length; decoding it is the caller's
            Garbage,    // bytes before an STX
            Incomplete, // a frame that stopped before its length
        };
        Kind ItemKind = Kind::Frame;
        std::vector<uint8_t> Bytes;
        TimePoint Arrival; // when its first byte came
        // For Garbage and Incomplete: what went wrong, Brazilian Portuguese in
        // UTF-8, without a full stop. Empty for a frame.
        std::string Text;
        bool operator==(const Item&) const = default;
    };

    // Takes bytes that came at now (not before the previous call's time).
    // Bytes held from before are given out as an item first when now is
    // Silence or more after the last byte, as the printer drops a frame that
    // stalled. Returns the items completed, in stream order.
    std::vector<Item> Feed(std::span<const uint8_t> bytes, TimePoint now);
    // Gives out what is held once Silence has passed since the last byte.
    std::vector<Item> Idle(TimePoint now);
    // Gives out whatever is held, at the end of the stream.
    std::vector<Item> Flush();
    // When Idle will next have something to give out; nothing when no byte is
    // held.
    std::optional<TimePoint> Deadline() const;

private:
    void takePending(std::vector<Item>& items, const char* why);

    std::vector<uint8_t> pending;
    bool inFrame = false;
    std::size_t frameLength = 0; // 0 until the letter is in
    TimePoint firstArrival{};
    TimePoint lastArrival{};
};

} // namespace protocol
