#pragma once
// Background threads of the serial port component and the hand-over of their
// events to the main thread. Private to serial/.

#include "serial/VaComm.h"
#include "serial/device/Device.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Manual-reset event, created not signalled.
class TVaWaitEvent {
public:
    void SetEvent();
    void ResetEvent();
    // True when signalled within timeoutMs.
    bool WaitFor(int timeoutMs);

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool set_ = false;
};

// Deliveries that background threads hand to the main thread. Shared with
// the work posted to the owner's event loop, so a post that runs after the
// port is gone finds nothing to do.
class TVaHandOver : public std::enable_shared_from_this<TVaHandOver> {
public:
    using Clock = std::chrono::steady_clock;

    // Background thread: posts `work` and waits until the main thread has
    // run it. A delivery that has begun is no longer waited for once `stop`
    // is set: the main thread is inside it and may be the one stopping us.
    void Deliver(const TVaPostToMain& post, std::function<void()> work,
                 const std::atomic<bool>& stop);
    // Main thread: runs every delivery that waits.
    void RunPending();
    // Main thread: waits until done() holds (or the deadline passes), running
    // the deliveries that wait meanwhile. True when done() holds.
    bool WaitFor(const std::function<bool()>& done,
                 std::optional<Clock::time_point> deadline = std::nullopt);
    // Wakes WaitFor and Deliver after a change that their conditions read.
    void Notify();

private:
    struct Item {
        std::function<void()> work;
        bool started = false;
        bool done = false;
    };
    void RunFront(std::unique_lock<std::mutex>& lock);

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Item>> pending_;
};

// Byte queue of the writer thread. It never grows; callers check for room.
class TVaCommBuffer {
public:
    explicit TVaCommBuffer(size_t capacity) : data_(capacity) {}
    size_t Capacity() const { return data_.size(); }
    size_t Used() const { return used_; }
    size_t Free() const { return data_.size() - used_; }
    // Appends; false (and nothing stored) when there is no room.
    bool Write(const void* bytes, size_t count);
    size_t Peek(void* bytes, size_t count) const;
    size_t Read(void* bytes, size_t count);
    // Removes up to count bytes from the front.
    void Remove(size_t count);
    void Clear() { used_ = 0; }
    const char* DataPtr() const { return data_.data(); }

private:
    std::vector<char> data_;
    size_t used_ = 0;
};

// Common part of the two port threads: start, priority, stop.
class TVaPortThread {
public:
    TVaPortThread(TVaCustomComm& port, serial::device::Device& device, TVaPostToMain post,
                  std::shared_ptr<TVaHandOver> handOver);
    virtual ~TVaPortThread();
    void Start(TVaThreadPriority priority);
    void SetPriority(TVaThreadPriority priority);
    // Asks the thread to end; it does so promptly.
    void StopThread();
    bool Finished() const { return finished_.load(); }
    void Join();

protected:
    virtual void Execute() = 0;
    // Runs the port's handling of `events` on the main thread when a poster
    // is set (waiting for it), else here.
    void Deliver(uint32_t events);
    bool Terminated() const { return terminated_.load(); }

    TVaCustomComm& port_;
    serial::device::Device& device_;
    serial::device::Wakeup wake_;

private:
    void Run();
    TVaPostToMain post_;
    std::shared_ptr<TVaHandOver> handOver_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<long> threadId_{0};
    std::atomic<TVaThreadPriority> priority_{tpNormal};
    std::thread thread_;
};

// Waits for the port events of the mask and delivers them.
class TVaCommEventThread : public TVaPortThread {
public:
    TVaCommEventThread(TVaCustomComm& port, serial::device::Device& device, uint32_t mask,
                       TVaPostToMain post, std::shared_ptr<TVaHandOver> handOver);
    // A write went out: report "transmit queue empty" once it has drained.
    void NoteWrite();

protected:
    void Execute() override;

private:
    uint32_t mask_;
    std::atomic<bool> wrote_{false};
};

// Drains the queue that WriteData fills (DirectWrite false).
class TVaCommWriteThread : public TVaPortThread {
public:
    TVaCommWriteThread(TVaCustomComm& port, serial::device::Device& device, size_t capacity,
                       TVaPostToMain post, std::shared_ptr<TVaHandOver> handOver);
    // Caller's thread: queues the bytes, waiting up to timeoutMs for room;
    // false when they did not fit in time.
    bool WriteData(const void* data, size_t count, int timeoutMs);
    // Discards the queue once the thread has acknowledged (up to 2000 ms);
    // false and the queue unchanged when it did not.
    bool PurgeWrite();
    size_t Used();

protected:
    void Execute() override;

private:
    TVaCommBuffer queue_;
    std::shared_ptr<TVaHandOver> handOver_;
    std::atomic<bool> purgeRequest_{false};
    std::atomic<bool> purgeDone_{false};
};

// Polls the receive queue for WaitChar until a byte is there or it is told
// to stop.
class TWaitThread {
public:
    explicit TWaitThread(TVaCustomComm& port);
    ~TWaitThread();
    // True when a byte turned up within timeoutMs.
    bool WaitFor(int timeoutMs) { return ended_.WaitFor(timeoutMs); }
    void Stop() { stop_ = true; }

private:
    void Execute();
    TVaCustomComm& port_;
    std::atomic<bool> stop_{false};
    TVaWaitEvent ended_;
    std::thread thread_;
};
