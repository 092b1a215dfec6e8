// Win32 binding of the serial port component: overlapped I/O on a COM
// device, the device control block, and WaitCommEvent for the event thread.

#include "model/Win32Text.h"
#include "serial/device/Bindings.h"
#include "serial/device/Device.h"
#include "serial/device/LocalDevice.h"
#include "serial/net/NetworkAddress.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace serial::device {

namespace {

using Clock = std::chrono::steady_clock;

// How long the writer thread's WriteSome lets one write run before it takes
// what went out and cancels the rest.
constexpr DWORD kWriteSomeMs = 50;
// A read with the time-outs of Open returns at once; this only bounds a
// driver that does not.
constexpr DWORD kReadMs = 1000;
// When the system refuses to report port events, the event thread looks
// this often instead.
constexpr int kFallbackTickMs = 50;

class Event {
public:
    Event() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() {
        if (handle_)
            CloseHandle(handle_);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

DWORD WaitMs(int timeoutMs) {
    return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
}

// Runs one overlapped transfer that `start` begins, waits up to limitMs for
// it, and cancels it when it has not completed by then, so no pending
// operation refers to the caller's storage after return. `done` gets the
// bytes transferred (also those of a cancelled one).
// `cancelled` tells whether the limit passed first.
template <typename Start>
int Transfer(HANDLE device, HANDLE event, DWORD limitMs, DWORD& done, bool& cancelled,
             Start start) {
    OVERLAPPED ov{};
    ov.hEvent = event;
    ResetEvent(event);
    done = 0;
    cancelled = false;
    if (!start(&ov)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            return static_cast<int>(error);
        if (WaitForSingleObject(event, limitMs) != WAIT_OBJECT_0) {
            CancelIoEx(device, &ov);
            cancelled = true;
        }
    }
    if (!GetOverlappedResult(device, &ov, &done, TRUE)) {
        const DWORD error = GetLastError();
        if (error != ERROR_OPERATION_ABORTED)
            return static_cast<int>(error);
    }
    return 0;
}

uint32_t BaudOfMask(DWORD mask) {
    static constexpr std::pair<DWORD, uint32_t> rates[] = {
        {BAUD_128K, 128000}, {BAUD_115200, 115200}, {BAUD_57600, 57600}, {BAUD_56K, 56000},
        {BAUD_38400, 38400}, {BAUD_19200, 19200},   {BAUD_14400, 14400}, {BAUD_9600, 9600},
        {BAUD_7200, 7200},   {BAUD_4800, 4800},     {BAUD_2400, 2400},   {BAUD_1800, 1800},
        {BAUD_1200, 1200},   {BAUD_600, 600},       {BAUD_300, 300},     {BAUD_150, 150},
        {BAUD_134_5, 134},   {BAUD_110, 110},       {BAUD_075, 75}};
    if (mask == BAUD_USER)
        return 4000000;
    for (const auto& [bit, rate] : rates)
        if (mask & bit)
            return rate;
    return 0;
}

} // namespace

struct DeviceHandle {
    HANDLE device = INVALID_HANDLE_VALUE;
    DCB original{};
    Event writeDone, readDone, portEvent;
    // The one WaitCommEvent that may be outstanding; only the thread that
    // waits with portEvents touches these.
    OVERLAPPED eventWait{};
    DWORD eventWord = 0;
    bool eventPending = false;
    std::atomic<uint32_t> mask{0};
    std::atomic<uint32_t> lineEvents{0};
    // The last write ran out of time: the line takes nothing, so closing
    // does not wait for the queue to drain.
    std::atomic<bool> stalled{false};
};

struct Wakeup::Handle {
    Event event;
};

// ---- Wakeup ------------------------------------------------------------------

Wakeup::Wakeup() : handle_(std::make_unique<Handle>()) {
    // Without it a thread waiting on the device could never be stopped.
    if (!handle_->event.get())
        throw std::runtime_error("CreateEvent failed (" + std::to_string(GetLastError()) + ")");
}

Wakeup::~Wakeup() = default;

void Wakeup::Signal() {
    SetEvent(handle_->event.get());
}

void Wakeup::Clear() {
    ResetEvent(handle_->event.get());
}

// ---- Device ------------------------------------------------------------------

LocalDevice::LocalDevice(std::unique_ptr<DeviceHandle> handle) : handle_(std::move(handle)) {}

std::unique_ptr<Device> LocalDevice::Open(const std::string& path, int& error) {
    auto handle = std::make_unique<DeviceHandle>();
    if (!handle->writeDone.get() || !handle->readDone.get() || !handle->portEvent.get()) {
        error = static_cast<int>(GetLastError());
        return nullptr;
    }
    handle->device = CreateFileW(win32::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle->device == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return nullptr;
    }
    handle->original.DCBlength = sizeof(DCB);
    if (!GetCommState(handle->device, &handle->original)) {
        error = static_cast<int>(GetLastError());
        CloseHandle(handle->device);
        return nullptr;
    }
    std::unique_ptr<LocalDevice> device(new LocalDevice(std::move(handle)));
    DWORD lines = 0;
    device->canModem_ = GetCommModemStatus(device->handle_->device, &lines);
    DWORD errors = 0;
    COMSTAT stat{};
    device->canCount_ = ClearCommError(device->handle_->device, &errors, &stat);
    error = 0;
    return device;
}

LocalDevice::~LocalDevice() {
    DeviceHandle& h = *handle_;
    if (!hungUp_ && !h.stalled) {
        // Give what is queued a bounded time to go out, then drop what is
        // left (only then: a driver may drop what its peer has not taken yet).
        const auto deadline = Clock::now() + std::chrono::milliseconds(drainMs_);
        uint32_t pending = 0;
        int queueError = 0;
        while ((queueError = OutQueue(pending)) == 0 && pending > 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (queueError != 0 || pending > 0)
            PurgeComm(h.device, PURGE_TXCLEAR | PURGE_TXABORT);
        SetCommState(h.device, &h.original);
    }
    if (h.eventPending) {
        // A mask of 0 completes the outstanding wait; it must be over before
        // its record goes away.
        SetCommMask(h.device, 0);
        CancelIoEx(h.device, &h.eventWait);
        DWORD ignored = 0;
        GetOverlappedResult(h.device, &h.eventWait, &ignored, TRUE);
    }
    CloseHandle(h.device);
}

int LocalDevice::ApplyLineSettings(const LineSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_->device, &dcb))
        return static_cast<int>(GetLastError());
    dcb.BaudRate = s.baudrate;
    // The component's flag word is the block's bit layout.
    const uint32_t f = s.flags;
    dcb.fBinary = f & 1;
    dcb.fParity = (f >> 1) & 1;
    dcb.fOutxCtsFlow = (f >> 2) & 1;
    dcb.fOutxDsrFlow = (f >> 3) & 1;
    dcb.fDtrControl = (f >> 4) & 3;
    dcb.fDsrSensitivity = (f >> 6) & 1;
    dcb.fTXContinueOnXoff = (f >> 7) & 1;
    dcb.fOutX = (f >> 8) & 1;
    dcb.fInX = (f >> 9) & 1;
    dcb.fErrorChar = (f >> 10) & 1;
    dcb.fNull = (f >> 11) & 1;
    dcb.fRtsControl = (f >> 12) & 3;
    dcb.fAbortOnError = 0;
    dcb.XonLim = static_cast<WORD>(std::min<uint32_t>(s.xonLimit, 0xFFFF));
    dcb.XoffLim = static_cast<WORD>(std::min<uint32_t>(s.xoffLimit, 0xFFFF));
    dcb.ByteSize = static_cast<BYTE>(s.databits);
    dcb.Parity = static_cast<BYTE>(s.parity);
    dcb.StopBits = static_cast<BYTE>(s.stopbits);
    dcb.XonChar = s.xonChar;
    dcb.XoffChar = s.xoffChar;
    dcb.ErrorChar = s.errorChar;
    dcb.EofChar = s.eofChar;
    dcb.EvtChar = s.eventChar;
    if (!SetCommState(handle_->device, &dcb))
        return static_cast<int>(GetLastError());
    return 0;
}

int LocalDevice::CurrentLineSettings(LineSettings& s) const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_->device, &dcb))
        return static_cast<int>(GetLastError());
    s.baudrate = dcb.BaudRate;
    s.databits = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.stopbits = dcb.StopBits;
    s.flags = dcb.fBinary | dcb.fParity << 1 | dcb.fOutxCtsFlow << 2 | dcb.fOutxDsrFlow << 3 |
              dcb.fDtrControl << 4 | dcb.fDsrSensitivity << 6 | dcb.fTXContinueOnXoff << 7 |
              dcb.fOutX << 8 | dcb.fInX << 9 | dcb.fErrorChar << 10 | dcb.fNull << 11 |
              dcb.fRtsControl << 12;
    s.xonLimit = dcb.XonLim;
    s.xoffLimit = dcb.XoffLim;
    s.xonChar = dcb.XonChar;
    s.xoffChar = dcb.XoffChar;
    s.errorChar = dcb.ErrorChar;
    s.eofChar = dcb.EofChar;
    s.eventChar = dcb.EvtChar;
    return 0;
}

int LocalDevice::SetQueueSizes(uint32_t readSize, uint32_t writeSize) {
    return SetupComm(handle_->device, readSize, writeSize) ? 0 : static_cast<int>(GetLastError());
}

int LocalDevice::SetTimeouts() {
    // Reads return at once with what the queue holds; writes have no limit of
    // the driver's own: Write bounds them itself.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    return SetCommTimeouts(handle_->device, &t) ? 0 : static_cast<int>(GetLastError());
}

int LocalDevice::SetEventMask(uint32_t mask) {
    if (!SetCommMask(handle_->device, mask))
        return static_cast<int>(GetLastError());
    handle_->mask = mask;
    return 0;
}

int LocalDevice::Write(const void* data, size_t count, int timeoutMs, size_t& written) {
    DWORD done = 0;
    bool cancelled = false;
    const int error = Transfer(
        handle_->device, handle_->writeDone.get(), static_cast<DWORD>(std::max(timeoutMs, 0)), done,
        cancelled, [&](LPOVERLAPPED ov) {
            return WriteFile(handle_->device, data, static_cast<DWORD>(count), nullptr, ov);
        });
    written = done;
    handle_->stalled = cancelled && done < count;
    return error;
}

int LocalDevice::WriteSome(const void* data, size_t count, size_t& written) {
    return Write(data, count, static_cast<int>(kWriteSomeMs), written);
}

int LocalDevice::Read(void* data, size_t count, size_t& got) {
    DWORD done = 0;
    bool cancelled = false;
    const int error = Transfer(
        handle_->device, handle_->readDone.get(), kReadMs, done, cancelled, [&](LPOVERLAPPED ov) {
            return ReadFile(handle_->device, data, static_cast<DWORD>(count), nullptr, ov);
        });
    got = done;
    return error;
}

// ClearCommError also clears the line errors; they are kept for Status.
int LocalDevice::InQueue(uint32_t& bytes) const {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_->device, &errors, &stat))
        return static_cast<int>(GetLastError());
    const_cast<std::atomic<uint32_t>&>(errors_).fetch_or(errors);
    bytes = stat.cbInQue;
    return 0;
}

int LocalDevice::OutQueue(uint32_t& bytes) const {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_->device, &errors, &stat))
        return static_cast<int>(GetLastError());
    const_cast<std::atomic<uint32_t>&>(errors_).fetch_or(errors);
    bytes = stat.cbOutQue;
    return 0;
}

int LocalDevice::Status(TVaComStat& status) {
    status = TVaComStat{};
    uint32_t errors = 0;
    if (!hungUp_) {
        DWORD e = 0;
        COMSTAT stat{};
        if (!ClearCommError(handle_->device, &e, &stat))
            return static_cast<int>(GetLastError());
        errors = e;
        status.InQueue = stat.cbInQue;
        status.OutQueue = stat.cbOutQue;
        status.Flags = stat.fCtsHold | stat.fDsrHold << 1 | stat.fRlsdHold << 2 |
                       stat.fXoffHold << 3 | stat.fXoffSent << 4 | stat.fEof << 5 | stat.fTxim << 6;
    }
    status.Errors = errors_.exchange(0) | errors;
    return 0;
}

int LocalDevice::Purge(bool receive, bool transmit) {
    DWORD flags = 0;
    if (receive)
        flags |= PURGE_RXCLEAR;
    if (transmit)
        flags |= PURGE_TXCLEAR;
    if (flags == 0)
        return 0;
    return PurgeComm(handle_->device, flags) ? 0 : static_cast<int>(GetLastError());
}

int LocalDevice::ModemStatus(uint32_t& lines) const {
    DWORD bits = 0;
    if (!GetCommModemStatus(handle_->device, &bits))
        return static_cast<int>(GetLastError());
    // MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON are the component's bits.
    lines = bits & (ModemCts | ModemDsr | ModemRing | ModemRlsd);
    return 0;
}

namespace {
int Escape(HANDLE device, DWORD function) {
    return EscapeCommFunction(device, function) ? 0 : static_cast<int>(GetLastError());
}
} // namespace

int LocalDevice::SetDtr(bool on) {
    return Escape(handle_->device, on ? SETDTR : CLRDTR);
}

int LocalDevice::SetRts(bool on) {
    return Escape(handle_->device, on ? SETRTS : CLRRTS);
}

int LocalDevice::SetBreak(bool on) {
    return Escape(handle_->device, on ? SETBREAK : CLRBREAK);
}

int LocalDevice::SetXon(bool on) {
    return Escape(handle_->device, on ? SETXON : SETXOFF);
}

int LocalDevice::Reset() {
    return Purge(true, true);
}

int LocalDevice::Properties(TVaCommProperties& p) const {
    COMMPROP prop{};
    if (!GetCommProperties(handle_->device, &prop))
        return static_cast<int>(GetLastError());
    p = TVaCommProperties{};
    p.MaxTxQueue = prop.dwMaxTxQueue;
    p.MaxRxQueue = prop.dwMaxRxQueue;
    p.MaxBaud = BaudOfMask(prop.dwMaxBaud);
    p.CurrentTxQueue = prop.dwCurrentTxQueue;
    p.CurrentRxQueue = prop.dwCurrentRxQueue;
    p.ModemLines = canModem_;
    p.ErrorCounters = canCount_;
    return 0;
}

WaitResult LocalDevice::Wait(Wakeup& wakeup, bool read, bool write, int timeoutMs,
                             bool portEvents) {
    DeviceHandle& h = *handle_;
    const HANDLE wake = wakeup.Native().event.get();
    WaitResult result;
    auto noteEvents = [&](DWORD word) {
        result.readable = word & EV_RXCHAR;
        result.writable = word & EV_TXEMPTY;
        h.lineEvents.fetch_or(word & (EV_ERR | EV_BREAK));
    };
    auto woken = [&] { return WaitForSingleObject(wake, 0) == WAIT_OBJECT_0; };

    if (write && !portEvents) {
        // The writer thread: WriteSome itself waits a bounded time for room.
        result.woken = woken();
        result.writable = true;
        return result;
    }
    const bool watch = portEvents && !hungUp_ && h.mask != 0;
    if (watch && !h.eventPending) {
        h.eventWait = OVERLAPPED{};
        h.eventWait.hEvent = h.portEvent.get();
        ResetEvent(h.portEvent.get());
        h.eventWord = 0;
        if (WaitCommEvent(h.device, &h.eventWord, &h.eventWait)) {
            noteEvents(h.eventWord);
            result.woken = woken();
            return result;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            h.eventPending = true;
        } else if (Classify(static_cast<int>(error)) == ErrorKind::HungUp) {
            result.hungUp = true;
            result.woken = woken();
            return result;
        } else if (timeoutMs < 0 || timeoutMs > kFallbackTickMs) {
            timeoutMs = kFallbackTickMs;
        }
    }
    (void)read;
    HANDLE objects[2] = {wake, h.portEvent.get()};
    const DWORD count = h.eventPending ? 2 : 1;
    WaitForMultipleObjects(count, objects, FALSE, WaitMs(timeoutMs));
    result.woken = woken();
    if (h.eventPending && WaitForSingleObject(h.portEvent.get(), 0) == WAIT_OBJECT_0) {
        h.eventPending = false;
        DWORD ignored = 0;
        if (GetOverlappedResult(h.device, &h.eventWait, &ignored, FALSE))
            noteEvents(h.eventWord);
        else if (Classify(static_cast<int>(GetLastError())) == ErrorKind::HungUp)
            result.hungUp = true;
    }
    return result;
}

uint32_t LocalDevice::TakeLineEvents() {
    if (!canCount_)
        return 0;
    uint32_t queued = 0;
    InQueue(queued); // gathers the line errors into errors_
    const uint32_t word = handle_->lineEvents.exchange(0);
    uint32_t events = 0;
    if (word & EV_BREAK)
        events |= VaEv::Break;
    if (word & EV_ERR)
        events |= VaEv::Err;
    return events;
}

namespace detail {

std::unique_ptr<Device> OpenLocalDevice(const std::string& path, int& error) {
    return LocalDevice::Open(path, error);
}

std::intptr_t NativeWakeup(Wakeup& wakeup) {
    return reinterpret_cast<std::intptr_t>(wakeup.Native().event.get());
}

} // namespace detail

// ---- Free functions ----------------------------------------------------------

ErrorKind Classify(int code) {
    switch (static_cast<DWORD>(code)) {
    case 0:
        return ErrorKind::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ErrorKind::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return ErrorKind::Busy;
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
        return ErrorKind::HungUp;
    case ERROR_TIMEOUT:
    case WAIT_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
        return ErrorKind::TimedOut;
    case ERROR_INVALID_HANDLE:
        return ErrorKind::BadHandle;
    default:
        return ErrorKind::Other;
    }
}

int ErrorCode(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::None:
        return 0;
    case ErrorKind::NotFound:
        return ERROR_FILE_NOT_FOUND;
    case ErrorKind::Busy:
        return ERROR_ACCESS_DENIED;
    case ErrorKind::HungUp:
        return ERROR_DEVICE_NOT_CONNECTED;
    case ErrorKind::TimedOut:
        return ERROR_SEM_TIMEOUT;
    case ErrorKind::BadHandle:
        return ERROR_INVALID_HANDLE;
    case ErrorKind::Other:
        break;
    }
    return ERROR_INVALID_PARAMETER;
}

std::string ErrorText(int code) {
    if (net::IsNetworkErrorCode(code))
        return net::NetworkErrorText(code);
    // The wide call: FormatMessageA gives the text in the ANSI code page,
    // which the rest of the program would read as UTF-8.
    std::string text = win32::SystemMessage(static_cast<DWORD>(code));
    if (text.empty())
        text = "Unknown error " + std::to_string(code);
    return TidyErrorText(text);
}

long CurrentThreadId() {
    return static_cast<long>(GetCurrentThreadId());
}

void SetThreadPriority(long threadId, TVaThreadPriority priority) {
    static constexpr int levels[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                     THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                     THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                     THREAD_PRIORITY_TIME_CRITICAL};
    const HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(threadId));
    if (!thread)
        return;
    ::SetThreadPriority(thread, levels[priority]);
    CloseHandle(thread);
}

} // namespace serial::device
