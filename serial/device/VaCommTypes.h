#pragma once
// The component's vocabulary: its enumerations, sets and records, shared by
// the component (serial/VaComm.h) and the device bindings beneath it.

#include <cstdint>
#include <initializer_list>

enum TVaBaudrate {
    brUser,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TVaParity { paNone, paOdd, paEven, paMark, paSpace };
enum TVaDatabits { db4, db5, db6, db7, db8 };
enum TVaStopbits { sb1, sb15, sb2 };
enum TVaCommOption { coErrorChar, coNullStrip, coParityCheck };
enum TVaControlDtr { dtrDisabled, dtrEnabled, dtrHandshake };
enum TVaControlRts { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };
enum TVaCommEvent {
    ceBreak,
    ceCts,
    ceDsr,
    ceError,
    ceRing,
    ceRlsd,
    ceRxChar,
    ceTxEmpty,
    ceRxFlag,
    cePErr,
    ceRx80Full,
    ceEvent1,
    ceEvent2
};
enum TVaThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
enum TVaModemLine { mlCts, mlDsr, mlRing, mlRlsd };
enum TVaComStatFlag { csCtsHold, csDsrHold, csRlsdHold, csXoffHold, csXoffSent, csEof, csTxim };

// Bits per second of each TVaBaudrate value (0 for brUser).
uint32_t VaBaudrateValue(TVaBaudrate rate);

// Platform event bits: the values the event word and HandleLineEvent carry.
namespace VaEv {
constexpr uint32_t RxChar = 0x0001, RxFlag = 0x0002, TxEmpty = 0x0004, Cts = 0x0008, Dsr = 0x0010,
                   Rlsd = 0x0020, Break = 0x0040, Err = 0x0080, Ring = 0x0100, PErr = 0x0200,
                   Rx80Full = 0x0400, Event1 = 0x0800, Event2 = 0x1000;
}
// Event bit that each TVaCommEvent selects.
uint32_t VaCommEventBit(TVaCommEvent event);

// Line error bits that GetCommStatus and OnError report.
namespace VaLineError {
constexpr uint32_t RxOver = 0x0001, Overrun = 0x0002, RxParity = 0x0004, Frame = 0x0008,
                   Break = 0x0010, IoError = 0x0400; // IoError: the device went away
}

// Flag word of the line settings, rebuilt from the properties at each apply.
namespace VaDcb {
constexpr uint32_t Binary = 0x0001, Parity = 0x0002, OutxCtsFlow = 0x0004, OutxDsrFlow = 0x0008,
                   DtrEnable = 0x0010, DtrHandshake = 0x0020, DtrMask = 0x0030,
                   DsrSensitivity = 0x0040, TxContinueOnXoff = 0x0080, OutX = 0x0100, InX = 0x0200,
                   ErrorChar = 0x0400, Null = 0x0800, RtsEnable = 0x1000, RtsHandshake = 0x2000,
                   RtsToggle = 0x3000, RtsMask = 0x3000;
}

// A small set of enumeration values.
template <typename E> class TVaSet {
public:
    TVaSet() = default;
    TVaSet(std::initializer_list<E> values) {
        for (E v : values)
            Include(v);
    }
    bool Contains(E v) const { return (bits_ >> static_cast<unsigned>(v)) & 1u; }
    TVaSet& Include(E v) {
        bits_ |= 1u << static_cast<unsigned>(v);
        return *this;
    }
    TVaSet& Exclude(E v) {
        bits_ &= ~(1u << static_cast<unsigned>(v));
        return *this;
    }
    bool Empty() const { return bits_ == 0; }
    bool operator==(const TVaSet&) const = default;

private:
    uint32_t bits_ = 0;
};
using TVaCommEvents = TVaSet<TVaCommEvent>;
using TVaCommOptions = TVaSet<TVaCommOption>;

// Line errors and queue status (GetCommStatus).
struct TVaComStat {
    uint32_t Errors = 0;   // VaLineError bits
    uint32_t Flags = 0;    // bit n is TVaComStatFlag n
    uint32_t InQueue = 0;  // bytes in the receive queue
    uint32_t OutQueue = 0; // bytes in the driver's transmit queue
};

// Device capabilities (GetProperties).
struct TVaCommProperties {
    uint32_t MaxTxQueue = 0, MaxRxQueue = 0, MaxBaud = 0;
    uint32_t CurrentTxQueue = 0, CurrentRxQueue = 0;
    bool ModemLines = false;    // modem-line changes can be watched
    bool ErrorCounters = false; // line errors can be counted
};
