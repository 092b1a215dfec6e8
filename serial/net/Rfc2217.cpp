#include "serial/net/Rfc2217.h"

#include <utility>

namespace serial::net::rfc2217 {

using namespace serial::device;

namespace {

// A sub-negotiation longer than any this side reads is dropped whole.
constexpr size_t kMaxSubNegotiation = 64;

} // namespace

std::string Session::Start() {
    std::string out;
    for (const uint8_t option : {kBinary, kSuppressGoAhead}) {
        us_[option] = him_[option] = State::WantYes;
        out += {static_cast<char>(kIac), static_cast<char>(kWill), static_cast<char>(option),
                static_cast<char>(kIac), static_cast<char>(kDo),   static_cast<char>(option)};
    }
    us_[kComPort] = State::WantYes;
    out += {static_cast<char>(kIac), static_cast<char>(kWill), static_cast<char>(kComPort)};
    return out;
}

void Session::Feed(std::string_view bytes, std::string& data) {
    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        switch (parse_) {
        case Parse::Data:
            if (b == kIac) {
                parse_ = Parse::Iac;
            } else if (!(b == 0 && lastWasCr_ && him_[kBinary] != State::Yes)) {
                data += c;
            }
            lastWasCr_ = b == '\r';
            break;
        case Parse::Iac:
            if (b == kIac) {
                data += c;
                lastWasCr_ = false;
                parse_ = Parse::Data;
            } else if (b >= kWill && b <= kDont) {
                verb_ = b;
                parse_ = Parse::Option;
            } else if (b == kSb) {
                sb_.clear();
                parse_ = Parse::Sb;
            } else {
                parse_ = Parse::Data; // NOP, GA and the other one-byte commands
            }
            break;
        case Parse::Option:
            Negotiate(verb_, b);
            parse_ = Parse::Data;
            break;
        case Parse::Sb:
            if (b == kIac)
                parse_ = Parse::SbIac;
            else if (sb_.size() <= kMaxSubNegotiation)
                sb_ += c;
            break;
        case Parse::SbIac:
            if (b == kIac) {
                if (sb_.size() <= kMaxSubNegotiation)
                    sb_ += c;
                parse_ = Parse::Sb;
            } else if (b == kSe) {
                if (sb_.size() <= kMaxSubNegotiation)
                    SubNegotiation();
                parse_ = Parse::Data;
            } else {
                // A command inside an unfinished sub-negotiation ends it.
                if (b >= kWill && b <= kDont) {
                    verb_ = b;
                    parse_ = Parse::Option;
                } else if (b == kSb) {
                    sb_.clear();
                    parse_ = Parse::Sb;
                } else {
                    parse_ = Parse::Data;
                }
            }
            break;
        }
    }
}

std::string Session::TakeReplies() {
    return std::exchange(replies_, {});
}

void Session::Reply(bool theirs, uint8_t verb, uint8_t option) {
    bool& answered = theirs ? answeredHim_[option] : answeredUs_[option];
    if (std::exchange(answered, true))
        return;
    replies_ += {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

// The rules of RFC 1143 without its queue bit: this side never changes its
// mind once it has asked.
void Session::Negotiate(uint8_t verb, uint8_t option) {
    const bool theirs = verb == kWill || verb == kWont;
    State& state = theirs ? him_[option] : us_[option];
    const bool enable = verb == kWill || verb == kDo;
    // COM-PORT-OPTION runs from this side only: the server's WILL is refused.
    const bool accept = Accepted(option) && !(theirs && option == kComPort);
    if (enable) {
        if (state == State::Yes)
            return;
        if (!accept) {
            Reply(theirs, theirs ? kDont : kWont, option);
            return;
        }
        if (state == State::No)
            Reply(theirs, theirs ? kDo : kWill, option);
        state = State::Yes;
        if (!theirs && option == kComPort)
            comPort_ = ComPort::Accepted;
        return;
    }
    // Some servers refuse the com port option with WONT instead of DONT.
    if (option == kComPort && verb == kWont && comPort_ == ComPort::Pending) {
        comPort_ = ComPort::Refused;
        us_[kComPort] = State::No;
        return;
    }
    if (state == State::No)
        return;
    if (state == State::Yes)
        Reply(theirs, theirs ? kDont : kWont, option);
    state = State::No;
    if (!theirs && option == kComPort)
        comPort_ = ComPort::Refused;
}

void Session::SubNegotiation() {
    if (sb_.size() < 2 || static_cast<uint8_t>(sb_[0]) != kComPort)
        return;
    const auto code = static_cast<uint8_t>(sb_[1]);
    const std::string_view value = std::string_view(sb_).substr(2);
    if (code == kFlowSuspend + kServerOffset) {
        suspended_ = true;
    } else if (code == kFlowResume + kServerOffset) {
        suspended_ = false;
    } else if (code >= kSetBaudrate + kServerOffset && code <= kSetStopsize + kServerOffset) {
        const int index = code - kServerOffset;
        if (awaiting_[index]) {
            awaiting_[index] = false;
            // sredird answers SET-BAUDRATE with eight bytes, the four asked
            // for and four zeros: the first four are the answer.
            const std::string_view answer =
                index == kSetBaudrate && value.size() > 4 ? value.substr(0, 4) : value;
            if (refused_ == 0 && answer != expected_[index])
                refused_ = static_cast<uint8_t>(index);
        }
    }
    // Line and modem state notifications, and the replies to control
    // settings, tell nothing this side acts on: sredird answers every
    // SET-CONTROL (DTR, RTS, inbound flow) with its flow control setting, so
    // an answer there must never fail the open.
}

std::string Session::Command(uint8_t code, std::string_view value) {
    std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                    static_cast<char>(code)};
    for (const char c : value) {
        out += c;
        if (static_cast<uint8_t>(c) == kIac)
            out += c;
    }
    out += {static_cast<char>(kIac), static_cast<char>(kSe)};
    return out;
}

std::string Session::SetLine(const LineSettings& s) {
    const uint32_t rate = s.baudrate;
    expected_[kSetBaudrate] = {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16),
                               static_cast<char>(rate >> 8), static_cast<char>(rate)};
    expected_[kSetDatasize] = std::string(1, static_cast<char>(s.databits));
    // The component counts parity from 0 (none) and stop bits as 0 one,
    // 1 one and a half, 2 two; the option counts parity from 1 and stop bits
    // as 1, 2, 3 (one and a half).
    expected_[kSetParity] = std::string(1, static_cast<char>(s.parity + 1));
    static constexpr char stop[] = {1, 3, 2};
    expected_[kSetStopsize] =
        std::string(1, stop[s.stopbits >= 0 && s.stopbits <= 2 ? s.stopbits : 0]);
    std::string out;
    for (uint8_t code = kSetBaudrate; code <= kSetStopsize; ++code) {
        out += Command(code, expected_[code]);
        awaiting_[code] = true;
    }
    refused_ = 0;

    const bool hardware =
        (s.flags & VaDcb::OutxCtsFlow) || (s.flags & VaDcb::RtsMask) == VaDcb::RtsHandshake;
    out += Control(hardware ? kFlowHardware : (s.flags & VaDcb::OutX) ? kFlowXon : kFlowNone);
    out += Control((s.flags & VaDcb::RtsMask) == VaDcb::RtsHandshake ? kInFlowHardware
                   : (s.flags & VaDcb::InX)                          ? kInFlowXon
                                                                     : kInFlowNone);
    out += Control((s.flags & VaDcb::DtrMask) != 0 ? kDtrOn : kDtrOff);
    const uint32_t rts = s.flags & VaDcb::RtsMask;
    if (rts != VaDcb::RtsHandshake)
        out += Control(rts == VaDcb::RtsEnable ? kRtsOn : kRtsOff);
    return out;
}

Session::Replies Session::LineReplies() const {
    if (refused_ != 0)
        return Replies::Mismatched;
    for (int i = kSetBaudrate; i <= kSetStopsize; ++i)
        if (awaiting_[i])
            return Replies::Pending;
    return Replies::Matched;
}

std::string Session::Control(uint8_t value) {
    return Command(kSetControl, std::string(1, static_cast<char>(value)));
}

std::string Session::Purge(uint8_t value) {
    return Command(kPurgeData, std::string(1, static_cast<char>(value)));
}

size_t Session::WireSize(uint8_t byte, bool binary) {
    return (byte == kIac || (!binary && byte == '\r')) ? 2 : 1;
}

void Session::AppendEscaped(std::string& wire, std::string_view data, bool binary) {
    for (const char c : data) {
        wire += c;
        const auto b = static_cast<uint8_t>(c);
        if (b == kIac)
            wire += c;
        else if (!binary && b == '\r')
            wire += '\0';
    }
}

} // namespace serial::net::rfc2217
