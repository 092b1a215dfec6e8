#pragma once
// Platform binding of the serial port component: the few operating-system
// operations it needs. Every function returns 0 or the system's error code
// (errno on POSIX, GetLastError's code on Windows), never throws, and may be
// called from any thread; the component turns codes into EVaCommError
// messages. Nothing here names a system type: each binding (one file per
// platform) keeps its handles inside its own Device class and Wakeup::Handle.

#include "serial/device/VaCommTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace serial::device {

struct LineSettings {
    uint32_t baudrate = 9600;
    int databits = 8; // 4..8
    int parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopbits = 0; // 0 one, 1 one and a half, 2 two
    uint32_t flags = VaDcb::Binary;
    uint32_t xonLimit = 1024, xoffLimit = 1024;
    char xonChar = 17, xoffChar = 19, errorChar = 0, eofChar = 0, eventChar = 0;
};

// Modem line bits of ModemStatus.
constexpr uint32_t ModemCts = 0x10, ModemDsr = 0x20, ModemRing = 0x40, ModemRlsd = 0x80;

// What an error code means to the component; each binding maps its codes.
enum class ErrorKind {
    None,      // 0: no error
    NotFound,  // no device behind the name
    Busy,      // another program holds the device
    HungUp,    // the device went away while open
    TimedOut,  // the device did not take the bytes in time
    BadHandle, // the port is not open
    Other,
};
ErrorKind Classify(int code);
// The system's code for a kind (for None, 0).
int ErrorCode(ErrorKind kind);

// A wake-up signal that Device::Wait also watches. Signal may be called from
// any thread; Clear by the waiting thread.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;
    void Signal();
    void Clear();

    struct Handle;
    Handle& Native() { return *handle_; }

private:
    std::unique_ptr<Handle> handle_;
};

struct WaitResult {
    bool woken = false;    // the wake-up signal is set
    bool readable = false; // bytes are waiting
    bool writable = false; // a write would take bytes
    bool hungUp = false;   // the device went away
};

// One open port. Device::Open chooses the binding by the name: a network
// address (see NetworkAddress.h) opens a network port, anything else the
// platform's own device. Every binding keeps the contract written here.
class Device {
public:
    // Opens `path` exclusively; nullptr and `error` set on failure. A path
    // with no device behind it (no node, or a port with no hardware) gives
    // a code of ErrorKind::NotFound.
    static std::unique_ptr<Device> Open(const std::string& path, int& error);
    // Waits up to drainMs for the transmit queue to empty, discards what is
    // left, restores the settings found at open and closes.
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void SetDrainLimit(int ms) { drainMs_ = ms; }

    // Applies the settings and reads them back; a difference is EINVAL.
    virtual int ApplyLineSettings(const LineSettings& settings) = 0;
    virtual int CurrentLineSettings(LineSettings& settings) const = 0;
    virtual int SetQueueSizes(uint32_t readSize, uint32_t writeSize) = 0;
    // Reads return at once with what the queue holds; writes get no limit of
    // the driver's own (Write bounds them).
    virtual int SetTimeouts() = 0;
    virtual int SetEventMask(uint32_t mask) = 0;

    // Writes all bytes or as many as fit before timeoutMs has passed;
    // `written` tells how many. Never blocks past the limit.
    virtual int Write(const void* data, size_t count, int timeoutMs, size_t& written) = 0;
    // One attempt that never waits (0 bytes when there is no room).
    virtual int WriteSome(const void* data, size_t count, size_t& written) = 0;
    // Waits up to timeoutMs until everything written has been handed to the
    // system (the driver, the connection); the code of why not, else 0. A
    // binding whose writes hand the bytes over at once has nothing to wait
    // for.
    virtual int Drain(int /*timeoutMs*/) { return 0; }
    // Takes what the receive queue holds, up to count bytes; never waits.
    virtual int Read(void* data, size_t count, size_t& got) = 0;

    virtual int InQueue(uint32_t& bytes) const = 0;
    virtual int OutQueue(uint32_t& bytes) const = 0;
    // Queue status plus the line errors gathered since the last call, which
    // it clears.
    virtual int Status(TVaComStat& status) = 0;
    virtual int Purge(bool receive, bool transmit) = 0;
    virtual int ModemStatus(uint32_t& lines) const = 0;
    virtual int SetDtr(bool on) = 0;
    virtual int SetRts(bool on) = 0;
    virtual int SetBreak(bool on) = 0;
    virtual int SetXon(bool on) = 0;
    virtual int Reset() = 0;
    virtual int Properties(TVaCommProperties& properties) const = 0;

    // Waits until the wake-up is signalled, the device is readable (when
    // `read`) or writable (when `write`), it hangs up, or timeoutMs passes
    // (-1: no limit). A device that has hung up is no longer watched.
    // `portEvents`: the caller is the one thread that also waits for the
    // events of SetEventMask (where the system reports them to one waiter).
    virtual WaitResult Wait(Wakeup& wakeup, bool read, bool write, int timeoutMs,
                            bool portEvents = false) = 0;

    // What the driver lets the event thread watch (probed at open).
    bool WatchesModemLines() const { return canModem_; }
    bool CountsLineErrors() const { return canCount_; }
    // Reads the error counters; records new line errors for Status and
    // returns the event bits they raise (VaEv::Break, VaEv::Err).
    virtual uint32_t TakeLineEvents() = 0;
    // Marks the device as gone: no more waiting on it; Status reports
    // VaLineError::IoError once. True for the call that marked it first.
    bool NoteHangUp();
    bool HungUp() const { return hungUp_.load(); }

protected:
    Device() = default;
    int drainMs_ = 1000;
    bool canModem_ = false;
    bool canCount_ = false;
    std::atomic<bool> hungUp_{false};
    std::atomic<uint32_t> errors_{0};
};

// The system's text for an error code, without trailing blanks, control
// characters or full stops, at most 256 bytes.
std::string ErrorText(int code);
// A system message as ErrorText gives it: cut to 256 bytes, a run of control
// characters inside it (a line break) made one blank, and trailing blanks,
// control characters and full stops removed. Portable.
std::string TidyErrorText(std::string text);

// Identifies the calling thread for SetThreadPriority.
long CurrentThreadId();
// Best effort: a priority the process may not take is left alone.
void SetThreadPriority(long threadId, TVaThreadPriority priority);

} // namespace serial::device
