// The network binding: a serial port behind a device server, reached over
// TCP, either plain (socket://) or with Telnet's com port option
// (rfc2217://). It keeps the contract of the platform bindings, so the
// component runs over it unchanged: Write waits at most its limit and tells
// what was taken, a dropped connection is a hang-up, Wait watches the socket
// and the wake-up. Portable over Socket.h.

#include "serial/device/Bindings.h"
#include "serial/device/Device.h"
#include "serial/device/TimeLeft.h"
#include "serial/net/NetworkAddress.h"
#include "serial/net/Rfc2217.h"
#include "serial/net/Socket.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace serial::net {

// This binding implements the device contract.
using namespace serial::device;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectMs = 5000;
// How long a socket:// server has, beyond the connect's round trip, to show
// with its first bytes that it speaks Telnet: ser2net and sredird (forked
// per connection) take under 10 ms on loopback.
constexpr auto kTelnetLook = std::chrono::milliseconds(200);
// Received data beyond this is dropped, as a UART drops what overruns it.
constexpr size_t kReceiveLimit = 65536;
// After the last byte can have left the server's line, before the
// connection goes: the server's own queue and scheduling.
constexpr auto kCloseMargin = std::chrono::milliseconds(50);
// The component hands a frame over byte by byte; bytes are gathered until
// the writer has been quiet this long, so each frame leaves in one send (one
// segment: a lost packet then delays a frame, never splits it).
constexpr auto kGatherQuiet = std::chrono::milliseconds(2);
// Bytes taken but not yet sent, at most: the transmit queue of this port.
constexpr size_t kQueueLimit = 4096;
constexpr int kQueueLookMs = 5;
// Queued bytes still there this long after the last one was taken are held
// back (the server suspended the flow, or the connection takes nothing):
// the next frame waits for them.
constexpr auto kHeldAfter = std::chrono::milliseconds(20);
// What one look at the socket takes at most, so that a server that sends
// without pause cannot keep the reader from the writers and the deadlines.
constexpr size_t kPumpBytes = 16384;

// The time one character takes on the line: start bit, data, parity, stop.
Clock::duration CharacterTime(const LineSettings& s) {
    const double stop = s.stopbits == 0 ? 1.0 : s.stopbits == 1 ? 1.5 : 2.0;
    const double bits = 1.0 + s.databits + (s.parity != 0 ? 1.0 : 0.0) + stop;
    const double rate = s.baudrate > 0 ? s.baudrate : 9600.0;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bits / rate));
}

class NetworkDevice final : public Device {
public:
    NetworkDevice(const NetworkAddress& address)
        : telnet_(address.Kind == NetworkAddress::Protocol::Rfc2217) {
        line_.stopbits = 2;
        charTime_ = CharacterTime(line_);
    }

    ~NetworkDevice() override;

    // Connects and, for rfc2217, waits for the server to take the com port
    // option; for socket://, refuses a server that speaks Telnet.
    int Connect(const NetworkAddress& address);
    // A socket:// server's first bytes; the open's error when they are
    // Telnet negotiation. With lock_ held.
    int RefuseTelnetServer(Clock::duration connectTime);
    // Starts the thread that sends what Write queues.
    void StartSender();

    int ApplyLineSettings(const LineSettings& settings) override;
    int CurrentLineSettings(LineSettings& settings) const override;
    int SetQueueSizes(uint32_t, uint32_t) override { return 0; }
    int SetTimeouts() override { return 0; }
    int SetEventMask(uint32_t) override { return 0; }
    int Write(const void* data, size_t count, int timeoutMs, size_t& written) override;
    int WriteSome(const void* data, size_t count, size_t& written) override;
    int Drain(int timeoutMs) override;
    int Read(void* data, size_t count, size_t& got) override;
    int InQueue(uint32_t& bytes) const override;
    int OutQueue(uint32_t& bytes) const override;
    int Status(TVaComStat& status) override;
    int Purge(bool receive, bool transmit) override;
    int ModemStatus(uint32_t& lines) const override;
    int SetDtr(bool on) override;
    int SetRts(bool on) override;
    int SetBreak(bool on) override;
    int SetXon(bool) override { return 0; }
    int Reset() override { return Purge(true, false); }
    int Properties(TVaCommProperties& properties) const override;
    WaitResult Wait(Wakeup& wakeup, bool read, bool write, int timeoutMs, bool portEvents) override;
    uint32_t TakeLineEvents() override { return 0; }

private:
    // Everything below runs with lock_ held.
    // Takes what the server sent and sends what is owed; 0 or an error code
    // (a lost connection as ErrorKind::HungUp).
    int Pump() const;
    int Flush() const;
    // One attempt to send data: what the system takes now, none while the
    // server has suspended the flow or owed bytes wait.
    int SendData(const char* data, size_t count, size_t& taken);
    int Command(const std::string& bytes);
    bool Suspended() const { return telnet_ && session_.Suspended(); }
    bool Held() const {
        return Suspended() || (!queue_.empty() && Clock::now() >= lastQueued_ + kHeldAfter);
    }
    bool SenderHasWork() const {
        return !queue_.empty() || (!closed_ && sendError_ == 0 && (!owed_.empty() || Suspended()));
    }
    uint32_t LineBytesLeft() const;
    // Takes bytes into the queue within the deadline (`wait`: Write, else
    // WriteSome, which takes what fits now).
    int Queue(const char* data, size_t count, Clock::time_point deadline, bool wait,
              size_t& written);
    void SendLoop();

    const bool telnet_;
    mutable std::mutex lock_;
    mutable net::Socket socket_;
    mutable rfc2217::Session session_;
    mutable std::string received_;
    mutable std::string owed_; // wire bytes that must go before any data
    mutable bool closed_ = false;
    mutable uint32_t overruns_ = 0;
    bool wroteData_ = false;
    LineSettings line_;
    Clock::duration charTime_{};
    // When the last byte written can have left the server's line.
    Clock::time_point lineFreeAt_{};

    // What Write took and the sender has not yet sent; the sender's first
    // error, returned by every later write.
    std::string queue_;
    Clock::time_point lastQueued_{};
    // When the queue last ran empty: when the last frame went out.
    Clock::time_point queueSent_{};
    mutable int sendError_ = 0;
    bool stopping_ = false;
    mutable std::condition_variable changed_;
    mutable Wakeup senderWake_;
    std::thread sender_;
};

int HungUpCode() {
    return ErrorCode(ErrorKind::HungUp);
}

int NetworkDevice::Connect(const NetworkAddress& address) {
    const auto started = Clock::now();
    if (int e = socket_.Connect(address.Host, address.Port, kConnectMs))
        return e;
    std::lock_guard lock(lock_);
    if (!telnet_)
        return RefuseTelnetServer(Clock::now() - started);
    owed_ = session_.Start();
    const auto deadline = Clock::now() + std::chrono::milliseconds(kNegotiationLimitMs);
    while (session_.ComPortState() == rfc2217::Session::ComPort::Pending) {
        const int e = Pump();
        if (e != 0 || closed_)
            return closed_ ? NetworkErrorCode(NetworkError::Rfc2217Closed) : e;
        if (session_.ComPortState() != rfc2217::Session::ComPort::Pending)
            break;
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            return NetworkErrorCode(NetworkError::Rfc2217Silent);
        socket_.Poll(nullptr, !owed_.empty(), left);
    }
    if (session_.ComPortState() == rfc2217::Session::ComPort::Refused)
        return NetworkErrorCode(NetworkError::Rfc2217Refused);
    return Pump();
}

// A Telnet server (ser2net in telnet or rfc2217 mode, sredird under inetd)
// opens with its negotiation, unasked; a raw server sends nothing until the
// printer does. So this side waits for the server's first bytes for the
// round trip the connect took plus kTelnetLook, and refuses a server whose
// first bytes are a Telnet command: over socket:// it would take every 0xFF
// as one. The wait ends at the first byte, so only a raw server pays it, once
// per open (qrv opens its ports at the same time). Bytes that are not Telnet
// are the printer's data and are kept.
int NetworkDevice::RefuseTelnetServer(Clock::duration connectTime) {
    // A connect slowed by a lost SYN measures no round trip.
    const auto deadline = Clock::now() +
                          std::min<Clock::duration>(connectTime, std::chrono::seconds(1)) +
                          kTelnetLook;
    std::string first;
    for (;;) {
        char buffer[64];
        size_t got = 0;
        bool closed = false;
        if (int e = socket_.Receive(buffer, sizeof buffer, got, closed))
            return net::ConnectionLost(e) ? HungUpCode() : e;
        first.append(buffer, got);
        if (closed || first.size() >= 2 ||
            (!first.empty() && static_cast<uint8_t>(first[0]) != rfc2217::kIac)) {
            closed_ = closed;
            break;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            break;
        socket_.Poll(nullptr, false, left);
    }
    if (first.size() >= 2 && static_cast<uint8_t>(first[0]) == rfc2217::kIac) {
        const auto verb = static_cast<uint8_t>(first[1]);
        if ((verb >= rfc2217::kWill && verb <= rfc2217::kDont) || verb == rfc2217::kSb)
            return NetworkErrorCode(NetworkError::RawServerSpeaksTelnet);
    }
    received_ = std::move(first);
    return 0;
}

void NetworkDevice::StartSender() {
    sender_ = std::thread([this] { SendLoop(); });
}

void NetworkDevice::SendLoop() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || SenderHasWork(); });
        if (stopping_ && queue_.empty())
            return;
        if (!queue_.empty()) {
            while (!stopping_ && queue_.size() < kQueueLimit &&
                   Clock::now() < lastQueued_ + kGatherQuiet)
                changed_.wait_until(lock, lastQueued_ + kGatherQuiet);
            size_t taken = 0;
            const int e =
                sendError_ != 0 ? sendError_ : SendData(queue_.data(), queue_.size(), taken);
            if (e != 0) {
                sendError_ = e;
                queue_.clear();
            } else {
                queue_.erase(0, taken);
            }
            if (queue_.empty())
                queueSent_ = Clock::now();
            changed_.notify_all();
        } else if (const int e = Pump()) {
            // Nothing to send, but the server's resume and what is owed to it
            // come through here too; a lost connection fails the next write.
            sendError_ = e;
            changed_.notify_all();
        }
        if (!SenderHasWork())
            continue;
        if (stopping_)
            return; // the drain limit has passed
        // No room, or the server suspended the flow: wait for room or for
        // what it sends (its resume, or the end).
        const bool wantWrite = !owed_.empty() || (!queue_.empty() && !Suspended());
        lock.unlock();
        socket_.Poll(&senderWake_, wantWrite, -1);
        senderWake_.Clear();
        lock.lock();
    }
}

NetworkDevice::~NetworkDevice() {
    if (!hungUp_) {
        // Closing the connection may make the server drop what its line has
        // not sent yet: wait, within the drain limit, until the bytes written
        // can have left it.
        const auto deadline = Clock::now() + std::chrono::milliseconds(drainMs_);
        uint32_t pending = 0;
        while (OutQueue(pending) == 0 && pending > 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (wroteData_ && pending == 0)
            std::this_thread::sleep_until(std::min(deadline, lineFreeAt_ + kCloseMargin));
    }
    if (sender_.joinable()) {
        {
            std::lock_guard lock(lock_);
            stopping_ = true;
        }
        changed_.notify_all();
        senderWake_.Signal();
        sender_.join();
    }
    socket_.Close();
}

int NetworkDevice::Pump() const {
    if (closed_)
        return HungUpCode();
    const bool wasSuspended = Suspended();
    const bool owedNothing = owed_.empty();
    char buffer[4096];
    for (size_t pumped = 0; pumped < kPumpBytes; pumped += sizeof buffer) {
        size_t got = 0;
        bool closed = false;
        const int e = socket_.Receive(buffer, sizeof buffer, got, closed);
        if (e != 0)
            return net::ConnectionLost(e) ? HungUpCode() : e;
        if (closed) {
            closed_ = true;
            break;
        }
        if (got == 0)
            break;
        std::string data;
        if (telnet_) {
            session_.Feed(std::string_view(buffer, got), data);
            owed_ += session_.TakeReplies();
        } else {
            data.assign(buffer, got);
        }
        const size_t room = kReceiveLimit - std::min(kReceiveLimit, received_.size());
        if (data.size() > room)
            ++overruns_;
        received_.append(data, 0, std::min(room, data.size()));
    }
    const int e = Flush();
    // Whoever read it, the sender and the writers waiting for a resume must
    // learn that the flow changed or that something is owed.
    if (Suspended() != wasSuspended || (owedNothing && !owed_.empty()) || closed_) {
        changed_.notify_all();
        senderWake_.Signal();
    }
    if (e != 0)
        return e;
    return closed_ ? HungUpCode() : 0;
}

int NetworkDevice::Flush() const {
    while (!owed_.empty()) {
        size_t sent = 0;
        const int e = socket_.Send(owed_.data(), owed_.size(), sent);
        if (e != 0)
            return net::ConnectionLost(e) ? HungUpCode() : e;
        if (sent == 0)
            break;
        owed_.erase(0, sent);
    }
    return 0;
}

int NetworkDevice::SendData(const char* data, size_t count, size_t& taken) {
    taken = 0;
    if (int e = Pump())
        return e;
    if (!owed_.empty() || Suspended() || count == 0)
        return 0;
    // One frame goes in one send, so the server sees it whole.
    const bool binary = !telnet_ || session_.BinaryOut();
    std::string wire;
    if (telnet_)
        rfc2217::Session::AppendEscaped(wire, std::string_view(data, count), binary);
    else
        wire.assign(data, count);
    size_t sent = 0;
    if (int e = socket_.Send(wire.data(), wire.size(), sent))
        return net::ConnectionLost(e) ? HungUpCode() : e;
    // The bytes whose wire form went out whole; one cut in the middle of its
    // escape is owed, and counts as taken.
    size_t at = 0;
    while (taken < count && at < sent) {
        const size_t size =
            telnet_ ? rfc2217::Session::WireSize(static_cast<uint8_t>(data[taken]), binary) : 1;
        if (at + size > sent)
            owed_.assign(wire, at + (sent - at), size - (sent - at));
        at += size;
        ++taken;
    }
    if (taken > 0) {
        wroteData_ = true;
        const auto now = Clock::now();
        lineFreeAt_ = std::max(lineFreeAt_, now) + charTime_ * static_cast<long>(taken);
    }
    return 0;
}

int NetworkDevice::Command(const std::string& bytes) {
    // Data taken before the command goes before it.
    if (!queue_.empty()) {
        size_t taken = 0;
        if (int e = SendData(queue_.data(), queue_.size(), taken))
            return e;
        queue_.erase(0, taken);
        if (queue_.empty())
            queueSent_ = Clock::now();
        changed_.notify_all();
    }
    owed_ += bytes;
    return Pump();
}

int NetworkDevice::ApplyLineSettings(const LineSettings& s) {
    std::unique_lock lock(lock_);
    if (s.baudrate == 0 || s.databits < 5 || s.databits > 8 || s.parity < 0 || s.parity > 4 ||
        s.stopbits < 0 || s.stopbits > 2)
        return ErrorCode(ErrorKind::Other);
    if (telnet_) {
        if (int e = Command(session_.SetLine(s)))
            return e;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kNegotiationLimitMs);
        while (session_.LineReplies() == rfc2217::Session::Replies::Pending) {
            const int left = MillisecondsLeft(deadline);
            if (left == 0)
                return NetworkErrorCode(NetworkError::Rfc2217LineSilent);
            socket_.Poll(nullptr, !owed_.empty(), left);
            if (int e = Pump())
                return e;
        }
        if (session_.LineReplies() == rfc2217::Session::Replies::Mismatched) {
            switch (session_.RefusedSetting()) {
            case rfc2217::kSetBaudrate:
                return NetworkErrorCode(NetworkError::Rfc2217BaudRefused);
            case rfc2217::kSetDatasize:
                return NetworkErrorCode(NetworkError::Rfc2217DataBitsRefused);
            case rfc2217::kSetParity:
                return NetworkErrorCode(NetworkError::Rfc2217ParityRefused);
            default:
                return NetworkErrorCode(NetworkError::Rfc2217StopBitsRefused);
            }
        }
    }
    line_ = s;
    charTime_ = CharacterTime(s);
    return 0;
}

int NetworkDevice::CurrentLineSettings(LineSettings& s) const {
    std::lock_guard lock(lock_);
    s = line_;
    return 0;
}

int NetworkDevice::Queue(const char* data, size_t count, Clock::time_point deadline, bool wait,
                         size_t& written) {
    written = 0;
    std::unique_lock lock(lock_);
    // The frame that follows one held back or sent late keeps its distance
    // from the time that one went out, as the pause before it meant (the
    // time since the last byte was taken, when this write began).
    Clock::duration gap{};
    if (wait && (queue_.empty() ? queueSent_ > lastQueued_ + kHeldAfter : Held()))
        gap = Clock::now() - lastQueued_;
    while (written < count) {
        if (sendError_ != 0)
            return sendError_;
        if (closed_)
            return HungUpCode();
        if (Held()) {
            if (!wait)
                break;
            if (Clock::now() >= deadline)
                return Suspended() ? NetworkErrorCode(NetworkError::Rfc2217Held) : 0;
            changed_.wait_until(lock, std::min(deadline, Clock::now() + kHeldAfter));
            continue;
        }
        if (gap > kGatherQuiet) {
            const auto due = queueSent_ + gap;
            while (Clock::now() < due && !Held() && sendError_ == 0 && !closed_)
                changed_.wait_until(lock, due);
            gap = {};
            continue;
        }
        const size_t room = kQueueLimit - std::min(kQueueLimit, queue_.size());
        if (room > 0) {
            const size_t n = std::min(room, count - written);
            queue_.append(data + written, n);
            written += n;
            lastQueued_ = Clock::now();
            changed_.notify_all();
            continue;
        }
        if (!wait || Clock::now() >= deadline)
            break;
        changed_.wait_until(lock, deadline);
    }
    return 0;
}

int NetworkDevice::Write(const void* data, size_t count, int timeoutMs, size_t& written) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    return Queue(static_cast<const char*>(data), count, deadline, true, written);
}

int NetworkDevice::WriteSome(const void* data, size_t count, size_t& written) {
    return Queue(static_cast<const char*>(data), count, Clock::now(), false, written);
}

// Bytes count as handed over once the connection has taken them; what the
// server then does with them it tells through its flow control.
int NetworkDevice::Drain(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::unique_lock lock(lock_);
    while ((!queue_.empty() || !owed_.empty()) && sendError_ == 0 && !closed_) {
        if (Clock::now() >= deadline)
            return Suspended() ? NetworkErrorCode(NetworkError::Rfc2217Held)
                               : ErrorCode(ErrorKind::TimedOut);
        changed_.wait_until(
            lock, std::min(deadline, Clock::now() + std::chrono::milliseconds(kQueueLookMs)));
    }
    if (sendError_ != 0)
        return sendError_;
    return queue_.empty() ? 0 : HungUpCode();
}

int NetworkDevice::Read(void* data, size_t count, size_t& got) {
    std::lock_guard lock(lock_);
    got = 0;
    const int e = Pump();
    got = std::min(count, received_.size());
    std::copy_n(received_.data(), got, static_cast<char*>(data));
    received_.erase(0, got);
    // What arrived before the server went is still read; then the error.
    return got > 0 || e == HungUpCode() ? 0 : e;
}

int NetworkDevice::InQueue(uint32_t& bytes) const {
    std::lock_guard lock(lock_);
    const int e = Pump();
    bytes = static_cast<uint32_t>(received_.size());
    return e == HungUpCode() ? 0 : e;
}

uint32_t NetworkDevice::LineBytesLeft() const {
    const auto left = lineFreeAt_ - Clock::now();
    if (left <= Clock::duration::zero() || charTime_ <= Clock::duration::zero())
        return 0;
    return static_cast<uint32_t>((left + charTime_ - Clock::duration(1)) / charTime_);
}

int NetworkDevice::OutQueue(uint32_t& bytes) const {
    std::lock_guard lock(lock_);
    bytes = closed_ || sendError_ != 0 ? 0
                                       : static_cast<uint32_t>(queue_.size() + owed_.size()) +
                                             socket_.Unsent() + LineBytesLeft();
    return 0;
}

int NetworkDevice::Status(TVaComStat& status) {
    status = TVaComStat{};
    if (!hungUp_) {
        InQueue(status.InQueue);
        OutQueue(status.OutQueue);
    }
    uint32_t errors = errors_.exchange(0);
    {
        std::lock_guard lock(lock_);
        if (std::exchange(overruns_, 0) > 0)
            errors |= VaLineError::RxOver;
    }
    status.Errors = errors;
    return 0;
}

int NetworkDevice::Purge(bool receive, bool transmit) {
    std::lock_guard lock(lock_);
    std::string commands;
    if (receive) {
        received_.clear();
        if (telnet_)
            commands += rfc2217::Session::Purge(rfc2217::kPurgeReceive);
    }
    // Once frames were written the server's queue holds them: a purge then
    // would cut the last one short.
    if (transmit && telnet_ && !wroteData_)
        commands += rfc2217::Session::Purge(rfc2217::kPurgeTransmit);
    return commands.empty() ? 0 : Command(commands);
}

// Modem state notifications are ignored: the lines read as all off.
int NetworkDevice::ModemStatus(uint32_t& lines) const {
    lines = 0;
    return 0;
}

int NetworkDevice::SetDtr(bool on) {
    std::lock_guard lock(lock_);
    return telnet_ ? Command(rfc2217::Session::Control(on ? rfc2217::kDtrOn : rfc2217::kDtrOff))
                   : 0;
}

int NetworkDevice::SetRts(bool on) {
    std::lock_guard lock(lock_);
    return telnet_ ? Command(rfc2217::Session::Control(on ? rfc2217::kRtsOn : rfc2217::kRtsOff))
                   : 0;
}

int NetworkDevice::SetBreak(bool on) {
    std::lock_guard lock(lock_);
    return telnet_ ? Command(rfc2217::Session::Control(on ? rfc2217::kBreakOn : rfc2217::kBreakOff))
                   : 0;
}

int NetworkDevice::Properties(TVaCommProperties& p) const {
    p = TVaCommProperties{};
    p.MaxTxQueue = p.CurrentTxQueue = 4096;
    p.MaxRxQueue = p.CurrentRxQueue = static_cast<uint32_t>(kReceiveLimit);
    p.MaxBaud = 115200;
    return 0;
}

// Every waiter also reads the socket: telnet commands and the end of the
// connection arrive there whether or not the caller wants data.
WaitResult NetworkDevice::Wait(Wakeup& wakeup, bool read, bool write, int timeoutMs, bool) {
    WaitResult result;
    if (hungUp_) {
        result.woken = net::PollWakeup(wakeup, timeoutMs);
        return result;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        bool wantWrite = false;
        bool queueFull = false;
        {
            std::lock_guard lock(lock_);
            if (read && !received_.empty()) {
                result.readable = true;
                result.woken = net::PollWakeup(wakeup, 0);
                return result;
            }
            queueFull = queue_.size() >= kQueueLimit || Held();
            wantWrite = !owed_.empty() || (write && !queueFull);
        }
        int limit = timeoutMs < 0 ? -1 : MillisecondsLeft(deadline);
        // Room in a full or held queue is made by the sender, which the
        // socket does not show: look again shortly.
        if (write && queueFull)
            limit = limit < 0 ? kQueueLookMs : std::min(limit, kQueueLookMs);
        const net::Socket::Ready ready = socket_.Poll(&wakeup, wantWrite, limit);
        std::lock_guard lock(lock_);
        if (ready.readable || ready.failed || !owed_.empty()) {
            const int e = Pump();
            result.hungUp = e == HungUpCode() || (e != 0 && ready.failed);
        }
        result.woken = ready.woken;
        result.readable = read && !received_.empty();
        result.writable =
            write && ready.writable && owed_.empty() && !Held() && queue_.size() < kQueueLimit;
        if (result.woken || result.readable || result.writable || result.hungUp ||
            (timeoutMs >= 0 && MillisecondsLeft(deadline) == 0))
            return result;
    }
}

} // namespace
} // namespace serial::net

namespace serial::device::detail {

std::unique_ptr<Device> OpenNetworkDevice(const net::NetworkAddress& address, int& error) {
    auto device = std::make_unique<net::NetworkDevice>(address);
    error = device->Connect(address);
    if (error != 0) {
        device->NoteHangUp(); // nothing to drain
        return nullptr;
    }
    device->StartSender();
    return device;
}

} // namespace serial::device::detail
