#pragma once
// The client side of Telnet with the com port option, as a byte-stream state
// machine with no I/O: bytes from the server go in (in pieces of any size, a
// command or sub-negotiation may be split anywhere), data and the bytes to
// send back come out. Portable; one instance per connection, not
// thread-safe (the network binding holds its lock around it).
//
// Options: this side offers COM-PORT-OPTION, and BINARY and
// SUPPRESS-GO-AHEAD in both directions; every other option is refused. An
// option is answered only when its state changes, and at most once in each
// direction: a server that repeats or flips a request, however fast, gets
// no more than one answer per option, so what is owed to it stays small.

#include "serial/device/Device.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace serial::net::rfc2217 {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// Client command codes; the server answers with code + 100.
constexpr uint8_t kSetBaudrate = 1, kSetDatasize = 2, kSetParity = 3, kSetStopsize = 4,
                  kSetControl = 5, kFlowSuspend = 8, kFlowResume = 9, kPurgeData = 12;
constexpr uint8_t kServerOffset = 100;
// SET-CONTROL values.
constexpr uint8_t kFlowNone = 1, kFlowXon = 2, kFlowHardware = 3, kBreakOn = 5, kBreakOff = 6,
                  kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12, kInFlowNone = 14,
                  kInFlowXon = 15, kInFlowHardware = 16;
// PURGE-DATA values.
constexpr uint8_t kPurgeReceive = 1, kPurgeTransmit = 2;

class Session {
public:
    enum class ComPort { Pending, Accepted, Refused };
    enum class Replies { Pending, Matched, Mismatched };

    // What opens the negotiation.
    std::string Start();
    // Takes bytes from the server; appends the data among them to `data`.
    void Feed(std::string_view bytes, std::string& data);
    // The answers that Feed produced, to be sent before anything else.
    std::string TakeReplies();

    ComPort ComPortState() const { return comPort_; }
    // The server asked to stop sending (FLOWCONTROL-SUSPEND) and has not yet
    // resumed.
    bool Suspended() const { return suspended_; }
    // Whether data goes as it is; otherwise a CR is followed by NUL.
    bool BinaryOut() const { return us_[kBinary] == State::Yes; }

    // The commands that set the remote line to `settings` (speed, data bits,
    // parity, stop bits, flow control, DTR, RTS). The replies to the first
    // four are then awaited: LineReplies tells whether all came and match.
    std::string SetLine(const device::LineSettings& settings);
    Replies LineReplies() const;
    // When Mismatched: the command code (kSetBaudrate .. kSetStopsize) of
    // the first setting answered with another value.
    uint8_t RefusedSetting() const { return refused_; }
    // One SET-CONTROL, or PURGE-DATA; their replies are advisory.
    static std::string Control(uint8_t value);
    static std::string Purge(uint8_t value);

    // A data byte's length on the wire: 2 for 0xFF (doubled) and, when not
    // binary, for CR (CR NUL); else 1.
    static size_t WireSize(uint8_t byte, bool binary);
    static void AppendEscaped(std::string& wire, std::string_view data, bool binary);

private:
    enum class State : uint8_t { No, Yes, WantYes };
    enum class Parse : uint8_t { Data, Iac, Option, Sb, SbIac };

    void Negotiate(uint8_t verb, uint8_t option);
    void SubNegotiation();
    void Reply(bool theirs, uint8_t verb, uint8_t option);
    static std::string Command(uint8_t code, std::string_view value);
    static bool Accepted(uint8_t option) {
        return option == kBinary || option == kSuppressGoAhead || option == kComPort;
    }

    State us_[256] = {};
    State him_[256] = {};
    bool answeredUs_[256] = {};
    bool answeredHim_[256] = {};
    ComPort comPort_ = ComPort::Pending;
    bool suspended_ = false;
    Parse parse_ = Parse::Data;
    uint8_t verb_ = 0;
    bool lastWasCr_ = false;
    std::string sb_;
    std::string replies_;
    // The line settings asked for (index: command code 1..4) and the
    // replies seen.
    std::string expected_[5];
    bool awaiting_[5] = {};
    uint8_t refused_ = 0;
};

} // namespace serial::net::rfc2217
