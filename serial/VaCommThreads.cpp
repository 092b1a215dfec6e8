#include "serial/VaCommThreads.h"

#include <algorithm>
#include <cstring>

namespace {

// How often the event thread looks at what Linux does not signal: the
// transmit queue running empty, modem lines, line-error counters.
constexpr int kTickMs = 50;
// Pause before the writer thread tries a refused write again.
constexpr int kRetryMs = 100;

} // namespace

// ---- TVaWaitEvent -------------------------------------------------------------

void TVaWaitEvent::SetEvent() {
    {
        std::lock_guard lock(m_);
        set_ = true;
    }
    cv_.notify_all();
}

void TVaWaitEvent::ResetEvent() {
    std::lock_guard lock(m_);
    set_ = false;
}

bool TVaWaitEvent::WaitFor(int timeoutMs) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
}

// ---- TVaHandOver ----------------------------------------------------------------

void TVaHandOver::Deliver(const TVaPostToMain& post, std::function<void()> work,
                          const std::atomic<bool>& stop) {
    auto item = std::make_shared<Item>();
    item->work = std::move(work);
    {
        std::lock_guard lock(m_);
        pending_.push_back(item);
    }
    // A main thread already waiting in WaitFor (Close) runs it from there.
    cv_.notify_all();
    try {
        post([self = shared_from_this()] { self->RunPending(); });
    } catch (...) {
        // Nothing will run it unless Close does; drop it if it has not begun.
        std::lock_guard lock(m_);
        if (!item->started) {
            pending_.erase(std::find(pending_.begin(), pending_.end(), item));
            return;
        }
    }
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return item->done || (item->started && stop.load()); });
}

void TVaHandOver::RunFront(std::unique_lock<std::mutex>& lock) {
    std::shared_ptr<Item> item = pending_.front();
    pending_.pop_front();
    item->started = true;
    lock.unlock();
    try {
        item->work();
    } catch (...) {
        // The port reports handler errors itself; nothing may stop the
        // hand-over from completing.
    }
    lock.lock();
    item->done = true;
    cv_.notify_all();
}

void TVaHandOver::RunPending() {
    std::unique_lock lock(m_);
    while (!pending_.empty())
        RunFront(lock);
}

bool TVaHandOver::WaitFor(const std::function<bool()>& done,
                          std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(m_);
    for (;;) {
        if (!pending_.empty()) {
            RunFront(lock);
            continue;
        }
        if (done())
            return true;
        if (!deadline) {
            cv_.wait(lock);
        } else if (cv_.wait_until(lock, *deadline) == std::cv_status::timeout) {
            while (!pending_.empty())
                RunFront(lock);
            return done();
        }
    }
}

void TVaHandOver::Notify() {
    { std::lock_guard lock(m_); }
    cv_.notify_all();
}

// ---- TVaCommBuffer --------------------------------------------------------------

bool TVaCommBuffer::Write(const void* bytes, size_t count) {
    if (count > Free())
        return false;
    if (count > 0)
        std::memcpy(data_.data() + used_, bytes, count);
    used_ += count;
    return true;
}

size_t TVaCommBuffer::Peek(void* bytes, size_t count) const {
    const size_t n = std::min(count, used_);
    if (n > 0)
        std::memcpy(bytes, data_.data(), n);
    return n;
}

size_t TVaCommBuffer::Read(void* bytes, size_t count) {
    const size_t n = Peek(bytes, count);
    Remove(n);
    return n;
}

void TVaCommBuffer::Remove(size_t count) {
    const size_t n = std::min(count, used_);
    std::memmove(data_.data(), data_.data() + n, used_ - n);
    used_ -= n;
}

// ---- TVaPortThread ----------------------------------------------------------------

TVaPortThread::TVaPortThread(TVaCustomComm& port, serial::device::Device& device,
                             TVaPostToMain post, std::shared_ptr<TVaHandOver> handOver)
    : port_(port), device_(device), post_(std::move(post)), handOver_(std::move(handOver)) {}

TVaPortThread::~TVaPortThread() {
    StopThread();
    Join();
}

void TVaPortThread::Start(TVaThreadPriority priority) {
    priority_ = priority;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        // Never ran, so never finishes: Open's rollback must not wait for it.
        finished_ = true;
        throw;
    }
}

void TVaPortThread::Run() {
    threadId_ = serial::device::CurrentThreadId();
    if (priority_ != tpNormal)
        serial::device::SetThreadPriority(threadId_, priority_);
    Execute();
    finished_ = true;
    handOver_->Notify();
}

void TVaPortThread::SetPriority(TVaThreadPriority priority) {
    priority_ = priority;
    if (const long id = threadId_.load())
        serial::device::SetThreadPriority(id, priority);
}

void TVaPortThread::StopThread() {
    terminated_ = true;
    wake_.Signal();
    handOver_->Notify();
}

void TVaPortThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

void TVaPortThread::Deliver(uint32_t events) {
    if (!post_) {
        port_.DoEvent(events);
        return;
    }
    TVaCustomComm* port = &port_;
    handOver_->Deliver(
        post_, [port, events] { port->DoEvent(events); }, terminated_);
}

// ---- TVaCommEventThread -------------------------------------------------------------

TVaCommEventThread::TVaCommEventThread(TVaCustomComm& port, serial::device::Device& device,
                                       uint32_t mask, TVaPostToMain post,
                                       std::shared_ptr<TVaHandOver> handOver)
    : TVaPortThread(port, device, std::move(post), std::move(handOver)), mask_(mask) {}

void TVaCommEventThread::NoteWrite() {
    if (mask_ & VaEv::TxEmpty) {
        wrote_ = true;
        wake_.Signal();
    }
}

void TVaCommEventThread::Execute() {
    constexpr uint32_t modemEvents = VaEv::Cts | VaEv::Dsr | VaEv::Ring | VaEv::Rlsd;
    const bool watchRx = mask_ & VaEv::RxChar;
    const bool watchModem = device_.WatchesModemLines() && (mask_ & modemEvents);
    const bool watchCounts = device_.CountsLineErrors() && (mask_ & (VaEv::Err | VaEv::Break));
    uint32_t modemWas = 0;
    if (watchModem)
        device_.ModemStatus(modemWas);
    // Received data is reported when bytes arrive, as the hardware event
    // would; bytes that nobody reads are not reported again. Arrivals are
    // counted as bytes consumed (read or purged through the port) plus bytes
    // queued, so a byte that comes in while a delivery runs is not missed.
    uint64_t arrivedWas = 0;
    bool txPending = false;
    auto goneAway = [](int e) {
        const serial::device::ErrorKind kind = serial::device::Classify(e);
        return kind == serial::device::ErrorKind::HungUp ||
               kind == serial::device::ErrorKind::NotFound;
    };

    while (!Terminated()) {
        const bool hungUp = device_.HungUp();
        uint32_t queued = 0;
        const bool rxArmed = watchRx && !hungUp && device_.InQueue(queued) == 0 && queued == 0;
        const bool tick =
            !hungUp && (txPending || (watchRx && !rxArmed) || watchModem || watchCounts);
        const serial::device::WaitResult r =
            device_.Wait(wake_, rxArmed, false, tick ? kTickMs : -1, true);
        if (Terminated())
            break;
        if (r.woken)
            wake_.Clear();
        if (wrote_.exchange(false))
            txPending = true;
        if (hungUp)
            continue; // only the stop signal matters now

        uint32_t events = 0;
        bool gone = r.hungUp;
        if (!gone && watchRx) {
            const uint64_t consumed = port_.rxConsumed_.load();
            uint32_t n = 0;
            if (int e = device_.InQueue(n)) {
                gone = goneAway(e);
            } else if (consumed + n > arrivedWas) {
                events |= VaEv::RxChar;
                arrivedWas = consumed + n;
            }
        }
        if (!gone && txPending) {
            uint32_t out = 0;
            const int e = device_.OutQueue(out);
            gone = goneAway(e);
            if (!gone && (e != 0 || out == 0)) {
                events |= VaEv::TxEmpty;
                txPending = false;
            }
        }
        if (!gone && watchModem) {
            uint32_t now = 0;
            if (device_.ModemStatus(now) == 0) {
                const uint32_t changed = now ^ modemWas;
                modemWas = now;
                if (changed & serial::device::ModemCts)
                    events |= VaEv::Cts;
                if (changed & serial::device::ModemDsr)
                    events |= VaEv::Dsr;
                if (changed & serial::device::ModemRing)
                    events |= VaEv::Ring;
                if (changed & serial::device::ModemRlsd)
                    events |= VaEv::Rlsd;
            }
        }
        if (!gone && watchCounts)
            events |= device_.TakeLineEvents();
        if (gone) {
            // Reported once as a line error (by whichever thread noticed it
            // first); from now on the device is not watched, so a vanished
            // device never makes this loop spin.
            events = device_.NoteHangUp() ? VaEv::Err : 0;
            txPending = false;
        }
        events &= mask_;
        if (events)
            Deliver(events);
    }
}

// ---- TVaCommWriteThread ---------------------------------------------------------------

TVaCommWriteThread::TVaCommWriteThread(TVaCustomComm& port, serial::device::Device& device,
                                       size_t capacity, TVaPostToMain post,
                                       std::shared_ptr<TVaHandOver> handOver)
    : TVaPortThread(port, device, std::move(post), handOver), queue_(capacity),
      handOver_(std::move(handOver)) {}

bool TVaCommWriteThread::WriteData(const void* data, size_t count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard lock(port_.writeLock_);
            if (queue_.Write(data, count)) {
                wake_.Signal();
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool TVaCommWriteThread::PurgeWrite() {
    purgeDone_ = false;
    purgeRequest_ = true;
    wake_.Signal();
    const bool acknowledged =
        handOver_->WaitFor([this] { return purgeDone_.load(); },
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(2000));
    purgeRequest_ = false;
    if (!acknowledged)
        return false;
    std::lock_guard lock(port_.writeLock_);
    queue_.Clear();
    return true;
}

size_t TVaCommWriteThread::Used() {
    std::lock_guard lock(port_.writeLock_);
    return queue_.Used();
}

void TVaCommWriteThread::Execute() {
    bool failing = false;
    while (!Terminated()) {
        if (purgeRequest_.exchange(false)) {
            purgeDone_ = true;
            handOver_->Notify();
        }
        if (Used() == 0) {
            // A device that went away reports a hang-up at once on every
            // wait: note it, so the next wait no longer watches the device.
            const serial::device::WaitResult r = device_.Wait(wake_, false, false, -1);
            if (r.hungUp && device_.NoteHangUp() && !failing)
                Deliver(VaEv::Err);
            wake_.Clear();
            continue;
        }
        // After a refused write, try again after a pause (or, for a device
        // that went away, not at all) instead of spinning on the error.
        const int limit = failing ? (device_.HungUp() ? -1 : kRetryMs) : -1;
        const serial::device::WaitResult r = device_.Wait(wake_, false, !failing, limit);
        if (r.hungUp && device_.NoteHangUp() && !failing) {
            Deliver(VaEv::Err);
            failing = true;
        }
        if (r.woken) {
            wake_.Clear();
            continue;
        }
        size_t written = 0;
        int error = 0;
        bool empty = false;
        {
            // Writing under the lock keeps a purge from running between the
            // write and the removal of what it took.
            std::lock_guard lock(port_.writeLock_);
            error = device_.WriteSome(queue_.DataPtr(), queue_.Used(), written);
            queue_.Remove(written);
            empty = queue_.Used() == 0;
        }
        if (error != 0) {
            if (!failing)
                Deliver(VaEv::Err);
            failing = true;
            continue;
        }
        failing = false;
        if (written > 0 && empty)
            Deliver(VaEv::TxEmpty);
    }
}

// ---- TWaitThread ---------------------------------------------------------------------

TWaitThread::TWaitThread(TVaCustomComm& port) : port_(port) {
    thread_ = std::thread([this] { Execute(); });
}

TWaitThread::~TWaitThread() {
    stop_ = true;
    thread_.join();
}

void TWaitThread::Execute() {
    while (!stop_) {
        if (port_.ReadBufUsedNoWait() > 0) {
            ended_.SetEvent();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
