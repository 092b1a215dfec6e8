// POSIX termios binding of the serial port component (Linux).

#include "serial/device/Bindings.h"
#include "serial/device/Device.h"
#include "serial/device/FileDescriptor.h"
#include "serial/device/LocalDevice.h"
#include "serial/device/TimeLeft.h"
#include "serial/linux/Baud.h"
#include "serial/linux/NoDevice.h"
#include "serial/linux/Speeds.h"
#include "serial/net/NetworkAddress.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <memory>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace serial::device {

namespace {

using Clock = std::chrono::steady_clock;

int SetDataBits(termios& t, int bits) {
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (bits < 5 || bits > 8)
        return EINVAL;
    t.c_cflag = (t.c_cflag & ~CSIZE) | sizes[bits - 5];
    return 0;
}

int SetParity(termios& t, int parity, bool check) {
    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
    case 0:
        break;
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return EINVAL;
    }
    if (check && parity != 0)
        t.c_iflag |= INPCK;
    else
        t.c_iflag &= ~INPCK;
    return 0;
}

int SetStopBits(termios& t, int code, int databits) {
    switch (code) {
    case 0:
        t.c_cflag &= ~CSTOPB;
        return 0;
    case 2:
        t.c_cflag |= CSTOPB;
        return 0;
    case 1: // a UART sends one and a half stop bits for CSTOPB with 5 data bits
        if (databits != 5)
            return EINVAL;
        t.c_cflag |= CSTOPB;
        return 0;
    default:
        return EINVAL;
    }
}

void SetFlowControl(termios& t, const LineSettings& s) {
    const bool rtsCts =
        (s.flags & VaDcb::OutxCtsFlow) || (s.flags & VaDcb::RtsMask) == VaDcb::RtsHandshake;
    if (rtsCts)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (s.flags & VaDcb::OutX)
        t.c_iflag |= IXON;
    if (s.flags & VaDcb::InX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
}

// Sets or clears modem-control lines; a driver without them (a
// pseudo-terminal) is no error.
int SetModemLines(int fd, int lines, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &lines) == 0)
        return 0;
    return (errno == ENOTTY || errno == EINVAL) ? 0 : errno;
}

// The canonical path when it has one, so a link to a built-in port is named
// by what it points to.
std::string CanonicalPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : path;
}

// Linux never leaves VEOF where non-canonical reads keep VMIN and VTIME, but
// other systems do.
static_assert(VEOF != VMIN && VEOF != VTIME);

constexpr tcflag_t kCheckedCflag =
    CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CLOCAL | CREAD;
constexpr tcflag_t kCheckedIflag = IXON | IXOFF | IXANY | INPCK;

} // namespace

namespace detail {

bool NoDeviceBehind(const std::string& path, int openError, int serialType) {
    if (openError == ENOENT || openError == ENODEV || openError == ENXIO)
        return true;
    // The kernel creates the built-in ports ttyS0 to ttyS3 (and more) whether
    // or not a UART answers at their address; without one, opening fails with
    // EIO, or succeeds on a port whose type was never found. Only these
    // names: USB adapters report type 0 (PORT_UNKNOWN) too, and an EIO from
    // them is a real fault.
    const std::string name = path.substr(path.rfind('/') + 1);
    const bool builtIn = name.size() > 4 && name.compare(0, 4, "ttyS") == 0 &&
                         name.find_first_not_of("0123456789", 4) == std::string::npos;
    if (!builtIn)
        return false;
    return openError == EIO || (openError == 0 && serialType == PORT_UNKNOWN);
}

} // namespace detail

struct DeviceHandle {
    explicit DeviceHandle(int descriptor) : fd(descriptor) {}
    int fd;
    serial_icounter_struct counters{};
    termios original{};
};

struct Wakeup::Handle {
    int fd = -1;
};

// ---- Wakeup ------------------------------------------------------------------

Wakeup::Wakeup() : handle_(std::make_unique<Handle>()) {
    handle_->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Without it a thread waiting on the device could never be stopped.
    if (handle_->fd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

Wakeup::~Wakeup() {
    if (handle_->fd >= 0)
        ::close(handle_->fd);
}

void Wakeup::Signal() {
    const uint64_t one = 1;
    while (::write(handle_->fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Wakeup::Clear() {
    uint64_t value;
    while (::read(handle_->fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

// ---- Device ------------------------------------------------------------------

LocalDevice::LocalDevice(std::unique_ptr<DeviceHandle> handle) : handle_(std::move(handle)) {}

std::unique_ptr<Device> LocalDevice::Open(const std::string& path, int& error) {
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        error = errno;
        if (detail::NoDeviceBehind(CanonicalPath(path), error, detail::kNoSerialType))
            error = ENODEV;
        return nullptr;
    }
    serial_struct info{};
    const int serialType =
        ioctl(fd.get(), TIOCGSERIAL, &info) == 0 ? info.type : detail::kNoSerialType;
    if (detail::NoDeviceBehind(CanonicalPath(path), 0, serialType)) {
        error = ENODEV;
        return nullptr;
    }
    // Exclusive access before anything touches the line. TIOCEXCL refuses
    // later opens except by root; a second flock is refused even for root,
    // and programs that only use lock files still see the device in use.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ioctl(fd.get(), TIOCEXCL) != 0) {
        error = errno;
        return nullptr;
    }
    termios original{};
    if (tcgetattr(fd.get(), &original) != 0) {
        error = errno;
        ioctl(fd.get(), TIOCNXCL);
        return nullptr;
    }
    std::unique_ptr<LocalDevice> device(
        new LocalDevice(std::make_unique<DeviceHandle>(fd.release())));
    DeviceHandle& h = *device->handle_;
    h.original = original;
    int lines = 0;
    device->canModem_ = ioctl(h.fd, TIOCMGET, &lines) == 0;
    device->canCount_ = ioctl(h.fd, TIOCGICOUNT, &h.counters) == 0;
    error = 0;
    return device;
}

LocalDevice::~LocalDevice() {
    if (!hungUp_) {
        // close() of a serial port waits for unsent output (up to 30 s by
        // default); give the queue a bounded time, then drop what is left.
        // Only then: on a pseudo-terminal the flush also throws away what the
        // peer has not read yet, so an unconditional flush loses the last
        // frame of a sender that closes at once.
        const auto deadline = Clock::now() + std::chrono::milliseconds(drainMs_);
        uint32_t pending = 0;
        int queueError = 0;
        while ((queueError = OutQueue(pending)) == 0 && pending > 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (queueError != 0 || pending > 0)
            tcflush(handle_->fd, TCOFLUSH);
        tcsetattr(handle_->fd, TCSANOW, &handle_->original);
    }
    ioctl(handle_->fd, TIOCNXCL);
    ::close(handle_->fd);
}

int LocalDevice::ApplyLineSettings(const LineSettings& s) {
    termios t{};
    if (tcgetattr(handle_->fd, &t) != 0)
        return errno;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    // Raw input ignores it; set so that the line holds what was asked for.
    t.c_cc[VEOF] = static_cast<cc_t>(s.eofChar);
    if (int e = SetDataBits(t, s.databits))
        return e;
    if (int e = SetParity(t, s.parity, s.flags & VaDcb::Parity))
        return e;
    if (int e = SetStopBits(t, s.stopbits, s.databits))
        return e;
    SetFlowControl(t, s);
    const speed_t speed = SpeedCode(s.baudrate);
    if (s.baudrate == 0)
        return EINVAL;
    if (speed != B0 && (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0))
        return errno;
    if (tcsetattr(handle_->fd, TCSANOW, &t) != 0)
        return errno;
    if (speed == B0) {
        if (int e = detail::SetOtherBaudrate(handle_->fd, s.baudrate))
            return e;
    }

    // tcsetattr succeeds when any part of the request was taken; only a
    // read-back shows whether the driver kept all of it.
    termios back{};
    if (tcgetattr(handle_->fd, &back) != 0)
        return errno;
    uint32_t rate = 0;
    if (int e = detail::GetBaudrate(handle_->fd, rate))
        return e;
    if ((back.c_cflag & kCheckedCflag) != (t.c_cflag & kCheckedCflag) ||
        (back.c_iflag & kCheckedIflag) != (t.c_iflag & kCheckedIflag) || rate != s.baudrate)
        return EINVAL;

    const uint32_t dtr = s.flags & VaDcb::DtrMask;
    if (int e = SetModemLines(handle_->fd, TIOCM_DTR, dtr != 0))
        return e;
    const uint32_t rts = s.flags & VaDcb::RtsMask;
    if (rts != VaDcb::RtsHandshake) {
        if (int e = SetModemLines(handle_->fd, TIOCM_RTS, rts == VaDcb::RtsEnable))
            return e;
    }
    return 0;
}

int LocalDevice::CurrentLineSettings(LineSettings& s) const {
    termios t{};
    if (tcgetattr(handle_->fd, &t) != 0)
        return errno;
    if (int e = detail::GetBaudrate(handle_->fd, s.baudrate))
        return e;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        s.databits = 5;
        break;
    case CS6:
        s.databits = 6;
        break;
    case CS7:
        s.databits = 7;
        break;
    default:
        s.databits = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        s.parity = 0;
    else if (t.c_cflag & CMSPAR)
        s.parity = (t.c_cflag & PARODD) ? 3 : 4;
    else
        s.parity = (t.c_cflag & PARODD) ? 1 : 2;
    s.stopbits = (t.c_cflag & CSTOPB) ? (s.databits == 5 ? 1 : 2) : 0;
    s.flags = VaDcb::Binary;
    if (t.c_iflag & INPCK)
        s.flags |= VaDcb::Parity;
    if (t.c_cflag & CRTSCTS)
        s.flags |= VaDcb::OutxCtsFlow | VaDcb::RtsHandshake;
    if (t.c_iflag & IXON)
        s.flags |= VaDcb::OutX;
    if (t.c_iflag & IXOFF)
        s.flags |= VaDcb::InX;
    s.xonChar = static_cast<char>(t.c_cc[VSTART]);
    s.xoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return 0;
}

// The kernel sizes a terminal's queues itself.
int LocalDevice::SetQueueSizes(uint32_t, uint32_t) {
    return 0;
}

// A terminal's reads and writes never block here: Read and Write bound them.
int LocalDevice::SetTimeouts() {
    return 0;
}

// The event thread chooses what to watch from the mask it is given.
int LocalDevice::SetEventMask(uint32_t) {
    return 0;
}

int LocalDevice::Write(const void* data, size_t count, int timeoutMs, size_t& written) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto* bytes = static_cast<const char*>(data);
    written = 0;
    bool saidWritable = false;
    while (written < count) {
        const ssize_t n = ::write(handle_->fd, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
            saidWritable = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return errno;
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            break;
        if (saidWritable) {
            // poll reported room that write did not find (a pseudo-terminal
            // does this while its peer's buffer is full); do not spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 5)));
            saidWritable = false;
            continue;
        }
        pollfd p{handle_->fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, left);
        if (r < 0 && errno != EINTR)
            return errno;
        saidWritable = r > 0;
    }
    return 0;
}

int LocalDevice::WriteSome(const void* data, size_t count, size_t& written) {
    written = 0;
    for (;;) {
        const ssize_t n = ::write(handle_->fd, data, count);
        if (n >= 0) {
            written = static_cast<size_t>(n);
            return 0;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN ? 0 : errno;
    }
}

int LocalDevice::Read(void* data, size_t count, size_t& got) {
    got = 0;
    for (;;) {
        const ssize_t n = ::read(handle_->fd, data, count);
        if (n >= 0) {
            got = static_cast<size_t>(n);
            return 0;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN ? 0 : errno;
    }
}

int LocalDevice::InQueue(uint32_t& bytes) const {
    int n = 0;
    if (ioctl(handle_->fd, TIOCINQ, &n) != 0)
        return errno;
    bytes = static_cast<uint32_t>(std::max(n, 0));
    return 0;
}

int LocalDevice::OutQueue(uint32_t& bytes) const {
    int n = 0;
    if (ioctl(handle_->fd, TIOCOUTQ, &n) != 0)
        return errno;
    bytes = static_cast<uint32_t>(std::max(n, 0));
    return 0;
}

int LocalDevice::Status(TVaComStat& status) {
    status = TVaComStat{};
    if (!hungUp_) {
        if (int e = InQueue(status.InQueue))
            return e;
        if (int e = OutQueue(status.OutQueue))
            return e;
    }
    status.Errors = errors_.exchange(0);
    return 0;
}

int LocalDevice::Purge(bool receive, bool transmit) {
    if (!receive && !transmit)
        return 0;
    const int which = receive && transmit ? TCIOFLUSH : (receive ? TCIFLUSH : TCOFLUSH);
    return tcflush(handle_->fd, which) == 0 ? 0 : errno;
}

int LocalDevice::ModemStatus(uint32_t& lines) const {
    int bits = 0;
    if (ioctl(handle_->fd, TIOCMGET, &bits) != 0)
        return errno;
    lines = 0;
    if (bits & TIOCM_CTS)
        lines |= ModemCts;
    if (bits & TIOCM_DSR)
        lines |= ModemDsr;
    if (bits & TIOCM_RNG)
        lines |= ModemRing;
    if (bits & TIOCM_CAR)
        lines |= ModemRlsd;
    return 0;
}

int LocalDevice::SetDtr(bool on) {
    int bits = TIOCM_DTR;
    return ioctl(handle_->fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : errno;
}

int LocalDevice::SetRts(bool on) {
    int bits = TIOCM_RTS;
    return ioctl(handle_->fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : errno;
}

int LocalDevice::SetBreak(bool on) {
    return ioctl(handle_->fd, on ? TIOCSBRK : TIOCCBRK) == 0 ? 0 : errno;
}

int LocalDevice::SetXon(bool on) {
    return tcflow(handle_->fd, on ? TCOON : TCOOFF) == 0 ? 0 : errno;
}

int LocalDevice::Reset() {
    return tcflush(handle_->fd, TCIOFLUSH) == 0 ? 0 : errno;
}

int LocalDevice::Properties(TVaCommProperties& p) const {
    termios t{};
    if (tcgetattr(handle_->fd, &t) != 0)
        return errno;
    p = TVaCommProperties{};
    p.MaxTxQueue = p.CurrentTxQueue = 4096;
    p.MaxRxQueue = p.CurrentRxQueue = 4096;
    p.MaxBaud = 4000000;
    serial_struct info{};
    if (ioctl(handle_->fd, TIOCGSERIAL, &info) == 0) {
        if (info.baud_base > 0)
            p.MaxBaud = static_cast<uint32_t>(info.baud_base);
        if (info.xmit_fifo_size > 0)
            p.MaxTxQueue = static_cast<uint32_t>(info.xmit_fifo_size);
    }
    p.ModemLines = canModem_;
    p.ErrorCounters = canCount_;
    return 0;
}

// poll watches hang-ups for every caller, so `portEvents` changes nothing here.
WaitResult LocalDevice::Wait(Wakeup& wakeup, bool read, bool write, int timeoutMs, bool) {
    pollfd p[2] = {{wakeup.Native().fd, POLLIN, 0}, {handle_->fd, 0, 0}};
    if (read)
        p[1].events |= POLLIN;
    if (write)
        p[1].events |= POLLOUT;
    // A hung-up device reports POLLHUP for ever: stop watching it.
    const nfds_t count = hungUp_ ? 1 : 2;
    WaitResult result;
    if (::poll(p, count, timeoutMs) <= 0)
        return result;
    result.woken = p[0].revents & POLLIN;
    if (count == 2) {
        result.hungUp = p[1].revents & (POLLHUP | POLLERR | POLLNVAL);
        result.readable = p[1].revents & POLLIN;
        result.writable = p[1].revents & POLLOUT;
    }
    return result;
}

uint32_t LocalDevice::TakeLineEvents() {
    if (!canCount_)
        return 0;
    serial_icounter_struct now{};
    if (ioctl(handle_->fd, TIOCGICOUNT, &now) != 0)
        return 0;
    const serial_icounter_struct& was = handle_->counters;
    uint32_t errors = 0;
    if (now.buf_overrun != was.buf_overrun)
        errors |= VaLineError::RxOver;
    if (now.overrun != was.overrun)
        errors |= VaLineError::Overrun;
    if (now.parity != was.parity)
        errors |= VaLineError::RxParity;
    if (now.frame != was.frame)
        errors |= VaLineError::Frame;
    const bool brk = now.brk != was.brk;
    if (brk)
        errors |= VaLineError::Break;
    handle_->counters = now;
    errors_.fetch_or(errors);
    uint32_t events = 0;
    if (brk)
        events |= VaEv::Break;
    if (errors & ~VaLineError::Break)
        events |= VaEv::Err;
    return events;
}

namespace detail {

std::unique_ptr<Device> OpenLocalDevice(const std::string& path, int& error) {
    return LocalDevice::Open(path, error);
}

std::intptr_t NativeWakeup(Wakeup& wakeup) {
    return wakeup.Native().fd;
}

} // namespace detail

// ---- Free functions ----------------------------------------------------------

ErrorKind Classify(int code) {
    switch (code) {
    case 0:
        return ErrorKind::None;
    case ENOENT:
    case ENODEV:
        return ErrorKind::NotFound;
    case EBUSY:
    case EWOULDBLOCK:
        return ErrorKind::Busy;
    case EIO:
    case ENXIO:
        return ErrorKind::HungUp;
    case ETIMEDOUT:
        return ErrorKind::TimedOut;
    case EBADF:
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
        return ENODEV;
    case ErrorKind::Busy:
        return EBUSY;
    case ErrorKind::HungUp:
        return EIO;
    case ErrorKind::TimedOut:
        return ETIMEDOUT;
    case ErrorKind::BadHandle:
        return EBADF;
    case ErrorKind::Other:
        break;
    }
    return EINVAL;
}

std::string ErrorText(int code) {
    if (net::IsNetworkErrorCode(code))
        return net::NetworkErrorText(code);
    char buffer[256];
    std::string text = strerror_r(code, buffer, sizeof buffer);
    if (text.size() > 256)
        text.resize(256);
    while (!text.empty()) {
        const unsigned char last = static_cast<unsigned char>(text.back());
        if (last > ' ' && last != '.')
            break;
        text.pop_back();
    }
    return text;
}

long CurrentThreadId() {
    return static_cast<long>(gettid());
}

void SetThreadPriority(long threadId, TVaThreadPriority priority) {
    static constexpr int nice[] = {19, 10, 5, 0, -5, -10, -20};
    setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice[priority]);
}

} // namespace serial::device
