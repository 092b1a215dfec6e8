#pragma once
// Serial port component: one serial device, its line settings, direct or
// queued writes, and a background thread that hands port events to the main
// thread. Qt-free; the operating system is reached through the platform
// binding in serial/device/Device.h.
//
// Threads: every operation and property setter is meant for the owner's main
// thread. Event handlers run on the main thread when a main-thread poster is
// set (SetPostToMain), else directly on the component's event thread. Assign
// handlers and the poster while the port is closed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "serial/device/VaCommTypes.h"

class TVaCustomComm;
class TVaCommEventThread;
class TVaCommWriteThread;
class TVaHandOver;
class TVaPortThread;
namespace serial::device {
class Device;
}

// Every error the component raises: the message the window shows word for
// word, and the code it was made from (the system's error number, a
// serial::net::NetworkError code, ports::StaleEntry::Code, or 0 where no
// code applies), which callers branch on instead of reading the message.
class EVaCommError : public std::runtime_error {
public:
    explicit EVaCommError(const std::string& message, int code = 0)
        : std::runtime_error(message), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// Base of the component classes: notice of loading and of removed peers.
class TVaComponent {
public:
    enum TOperation { opInsert, opRemove };
    virtual ~TVaComponent() = default;
    // Called once the owner has set the published properties.
    virtual void Loaded() {}
    virtual void Notification(TVaComponent* component, TOperation operation) {
        (void)component;
        (void)operation;
    }
};

// Base of the property groups. OnChanging runs before a value changes and may
// refuse it by throwing (nothing is stored then); OnChange runs after a
// change, or once at EndUpdate when values changed inside the bracket.
class TVaPersistent {
public:
    TVaPersistent() = default;
    TVaPersistent(const TVaPersistent&) = delete;
    TVaPersistent& operator=(const TVaPersistent&) = delete;
    virtual ~TVaPersistent() = default;

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();

    std::function<void()> OnChanging;
    std::function<void()> OnChange;

protected:
    template <typename T> void Set(T& field, T value) {
        if (field == value)
            return;
        if (OnChanging)
            OnChanging();
        field = value;
        Changed();
    }
    void Changing() {
        if (OnChanging)
            OnChanging();
    }
    void Changed();

private:
    int updateCount_ = 0;
    bool dirty_ = false;
};

class TVaFlowControl : public TVaPersistent {
public:
    bool OutCtsFlow() const { return outCtsFlow_; }
    bool OutDsrFlow() const { return outDsrFlow_; }
    TVaControlDtr ControlDtr() const { return controlDtr_; }
    TVaControlRts ControlRts() const { return controlRts_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DsrSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetOutCtsFlow(bool v) { Set(outCtsFlow_, v); }
    void SetOutDsrFlow(bool v) { Set(outDsrFlow_, v); }
    void SetControlDtr(TVaControlDtr v) { Set(controlDtr_, v); }
    void SetControlRts(TVaControlRts v) { Set(controlRts_, v); }
    void SetXonXoffOut(bool v) { Set(xonXoffOut_, v); }
    void SetXonXoffIn(bool v) { Set(xonXoffIn_, v); }
    void SetDsrSensitivity(bool v) { Set(dsrSensitivity_, v); }
    void SetTxContinueOnXoff(bool v) { Set(txContinueOnXoff_, v); }
    // Copies every value, with one change notification.
    void Assign(const TVaFlowControl& other);

private:
    bool outCtsFlow_ = false, outDsrFlow_ = false;
    TVaControlDtr controlDtr_ = dtrDisabled;
    TVaControlRts controlRts_ = rtsDisabled;
    bool xonXoffOut_ = false, xonXoffIn_ = false, dsrSensitivity_ = false,
         txContinueOnXoff_ = false;
};

class TVaEventChars : public TVaPersistent {
public:
    char XonChar() const { return xonChar_; }
    char XoffChar() const { return xoffChar_; }
    char ErrorChar() const { return errorChar_; }
    char EventChar() const { return eventChar_; }
    char EofChar() const { return eofChar_; }
    void SetXonChar(char v) { Set(xonChar_, v); }
    void SetXoffChar(char v) { Set(xoffChar_, v); }
    void SetErrorChar(char v) { Set(errorChar_, v); }
    void SetEventChar(char v) { Set(eventChar_, v); }
    void SetEofChar(char v) { Set(eofChar_, v); }
    void Assign(const TVaEventChars& other);

private:
    char xonChar_ = 17, xoffChar_ = 19, errorChar_ = 0, eventChar_ = 0, eofChar_ = 0;
};

// Queue sizes in bytes and time limits in milliseconds.
class TVaBuffers : public TVaPersistent {
public:
    uint32_t ReadSize() const { return readSize_; }
    uint32_t WriteSize() const { return writeSize_; }
    uint32_t ReadTimeout() const { return readTimeout_; }
    uint32_t WriteTimeout() const { return writeTimeout_; }
    uint32_t XonLimit() const { return xonLimit_; }
    uint32_t XoffLimit() const { return xoffLimit_; }
    void SetReadSize(uint32_t v) { Set(readSize_, v); }
    void SetWriteSize(uint32_t v) { Set(writeSize_, v); }
    void SetReadTimeout(uint32_t v) { Set(readTimeout_, v); }
    void SetWriteTimeout(uint32_t v) { Set(writeTimeout_, v); }
    void SetXonLimit(uint32_t v) { Set(xonLimit_, v); }
    void SetXoffLimit(uint32_t v) { Set(xoffLimit_, v); }
    void Assign(const TVaBuffers& other);

private:
    uint32_t readSize_ = 4096, writeSize_ = 2048, readTimeout_ = 1000, writeTimeout_ = 1000,
             xonLimit_ = 1024, xoffLimit_ = 1024;
};

// Status panel that a port refreshes on every event it delivers.
class TVaDisplay : public TVaComponent {
public:
    virtual void UpdateDisplay(TVaCustomComm& port, uint32_t events) {
        (void)port;
        (void)events;
    }
};

// A component attached to a port: it receives the port's data and line
// events while it is active and client notification is enabled.
class TVaCommComponent : public TVaComponent {
public:
    ~TVaCommComponent() override;
    TVaCustomComm* Comm() const { return comm_; }
    // Attaches to `port` (nullptr detaches).
    void SetComm(TVaCustomComm* port);
    bool Active() const { return active_; }
    void SetActive(bool active) { active_ = active; }
    virtual void HandleData(const void* data, int count) {
        (void)data;
        (void)count;
    }
    virtual void HandleEvents(uint32_t events) { (void)events; }

private:
    friend class TVaCustomComm;
    TVaCustomComm* comm_ = nullptr;
    bool active_ = true;
};

// The clients attached to a port and the forwarding to them.
class TVaDispatcher {
public:
    void Insert(TVaCommComponent* client);
    void Remove(TVaCommComponent* client);
    bool Empty() const { return clients_.empty(); }
    const std::vector<TVaCommComponent*>& Clients() const { return clients_; }
    void ForwardData(const void* data, int count) const;
    void ForwardEvents(uint32_t events) const;

private:
    std::vector<TVaCommComponent*> clients_;
};

// Re-entrant lock (a thread holding it may enter again).
class TVaCriticalSection {
public:
    void Enter() { m_.lock(); }
    void Leave() { m_.unlock(); }
    void Acquire() { Enter(); }
    void Release() { Leave(); }
    bool TryEnter() { return m_.try_lock(); }
    // BasicLockable, for std::lock_guard.
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex m_;
};

using TVaNotifyEvent = std::function<void(TVaCustomComm& sender)>;
using TVaCommErrorEvent = std::function<void(TVaCustomComm& sender, int errors)>;
using TVaCommRxCharEvent = std::function<void(TVaCustomComm& sender, int count)>;
using TVaCommRxBufEvent = std::function<void(TVaCustomComm& sender, const void* data, int count)>;

// Hands a piece of work to the main thread. Called on a background thread;
// it must arrange for `work` to run once, soon, on the main thread, and
// return without waiting for it (the component does the waiting). Work
// queued after the component is gone does nothing.
using TVaPostToMain = std::function<void(std::function<void()> work)>;

// The serial port. All logic lives here; TVaComm publishes the properties.
class TVaCustomComm : public TVaComponent {
public:
    TVaCustomComm();
    ~TVaCustomComm() override;
    TVaCustomComm(const TVaCustomComm&) = delete;
    TVaCustomComm& operator=(const TVaCustomComm&) = delete;

    // Opens and configures the device, starts the background threads and
    // raises OnOpen on the calling thread. Throws EVaCommError on failure;
    // the port is closed then and OnOpen is not raised. An exception from
    // OnOpen goes to OnHandlerError and the port stays open.
    void Open();
    // Stops the threads (running, meanwhile, the deliveries that wait for the
    // main thread), closes the device under both locks, raises OnClose, then
    // pauses 300 ms. Does nothing at all when the port is closed, and nothing
    // when called from an event handler that a running Close or purge
    // delivers while it waits. Call on the main thread.
    void Close();
    // True while the device is open. Any thread.
    bool Active() const { return active_.load(); }

    // Writes bytes. Direct mode: on the caller's thread, waiting up to
    // Buffers.WriteTimeout ms for room; returns the bytes written (0 when
    // nothing could be written in time); throws "Write error (%d), %s" when
    // the device refuses the write. Queued mode: hands the bytes to the writer
    // thread and returns count, or throws "Output buffer is full. Please check
    // comm status." when the queue has no room within WriteTimeout. 0 when
    // the port is closed.
    int WriteBuf(const void* buffer, int count);
    bool WriteText(const std::string& text);
    // True when exactly one byte was written.
    bool WriteChar(char c);
    // For callers that must not lose a byte unnoticed: writes one byte
    // exactly as WriteChar does, and throws when it was not written.
    // "Write error (%d), %s" with the platform's timed-out code when
    // Buffers.WriteTimeout passed first ("Write error (110), Connection timed
    // out" on Linux), or with the device's code when it refused the write;
    // "Can't perform this operation while port is closed" on a closed port.
    // Queued mode: as WriteBuf.
    void SendChar(char c);
    // For the same callers, after the last byte: waits up to
    // Buffers.WriteTimeout ms until every byte written has left this side
    // (queued mode: the writer's queue, then the device's), and throws
    // "Write error (%d), %s" with the device's code, or the timed-out code,
    // when one has not.
    void DrainWrite();

    // Reads what the receive queue holds, up to count bytes; never waits.
    int ReadBuf(void* buffer, int count);
    std::string ReadText();
    bool ReadChar(char& c);
    bool ReadCharWait(char& c, int timeoutMs);
    // True when a byte is in the receive queue within timeoutMs.
    bool WaitChar(int timeoutMs);

    int ReadBufUsed();
    int ReadBufFree();
    int WriteBufUsed();
    int WriteBufFree();
    int UARTReadBufUsed();
    int UARTWriteBufUsed();

    // Clears and returns the line errors and the queue status.
    void GetCommStatus(TVaComStat& status);
    bool GetComStat(TVaComStatFlag flag);
    bool GetModemStatus(TVaModemLine line);
    // Raises OnError with the pending error bits; true when there were any.
    bool ClearLineErrors();
    void PurgeRead();
    void PurgeWrite();
    void PurgeReadWrite();
    void SetDTR(bool on);
    void SetRTS(bool on);
    void SetBreak(bool on);
    void SetXon(bool on);
    void ResetDev();
    void GetProperties();
    const TVaCommProperties& Properties() const { return properties_; }
    // Copies the device's current line settings into the line properties.
    void ResetPortParameters();
    // Serial devices of the system (under /sys/class/tty, with a device
    // behind them) and the names in the port map folder, without duplicates.
    static void GetComPortNames(std::vector<std::string>& list);

    void WriteLock() { writeLock_.Enter(); }
    void WriteUnlock() { writeLock_.Leave(); }
    void GlobalLock() { globalLock_.Enter(); }
    void GlobalUnlock() { globalLock_.Leave(); }

    void EnableControls() { controlsEnabled_ = true; }
    void DisableControls() { controlsEnabled_ = false; }
    void InsertClient(TVaCommComponent* client);
    void RemoveClient(TVaCommComponent* client);

    // The device that Open opens: DeviceName formatted with PortNum (its
    // first "%d"). A name starting with "/" is a path. "COMn" is the entry
    // COMn of the port map folder ($XDG_CONFIG_HOME/impressora-qrv/ports,
    // ~/.config/... by default; a symbolic link stands for its target), else
    // /dev/ttyS<n-1>. Any other name is taken under /dev.
    std::string GetDeviceName() const;
    // The flag word and the event mask that the current properties give.
    uint32_t DcbFlags() const;
    uint32_t EventMask() const;

    // Where deliveries go; unset: they run on the event thread itself. Takes
    // effect at the next Open.
    void SetPostToMain(TVaPostToMain post);
    // Receives an exception that an OnOpen handler or a delivered event
    // handler let out. Default: the message goes to stderr.
    std::function<void(const std::exception& error)> OnHandlerError;

    TVaNotifyEvent OnOpen, OnClose, OnCts, OnDsr, OnRlsd, OnRing, OnBreak;
    TVaCommErrorEvent OnError;
    TVaCommRxCharEvent OnRxChar;
    TVaCommRxBufEvent OnRxBuf;
    TVaNotifyEvent OnRxFlag, OnTxEmpty, OnPErr, OnRx80Full, OnEvent1, OnEvent2;

    void Loaded() override;
    void Notification(TVaComponent* component, TOperation operation) override;

protected:
    // Property accessors; TVaComm makes them public.
    bool AutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool v) { autoOpen_ = v; }
    TVaBaudrate Baudrate() const { return baudrate_; }
    void SetBaudrate(TVaBaudrate v);
    TVaParity Parity() const { return parity_; }
    void SetParity(TVaParity v);
    TVaDatabits Databits() const { return databits_; }
    void SetDatabits(TVaDatabits v);
    TVaStopbits Stopbits() const { return stopbits_; }
    void SetStopbits(TVaStopbits v);
    TVaEventChars& EventChars() { return eventChars_; }
    void SetEventChars(const TVaEventChars& v) { eventChars_.Assign(v); }
    TVaFlowControl& FlowControl() { return flowControl_; }
    void SetFlowControl(const TVaFlowControl& v) { flowControl_.Assign(v); }
    TVaCommOptions Options() const { return options_; }
    void SetOptions(TVaCommOptions v);
    int PortNum() const { return portNum_; }
    void SetPortNum(int n);
    std::string DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& v);
    TVaCommEvents MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TVaCommEvents v);
    TVaBuffers& Buffers() { return buffers_; }
    void SetBuffers(const TVaBuffers& v) { buffers_.Assign(v); }
    TVaThreadPriority EventPriority() const { return eventPriority_; }
    void SetEventPriority(TVaThreadPriority v);
    TVaThreadPriority WritePriority() const { return writePriority_; }
    void SetWritePriority(TVaThreadPriority v);
    bool DirectWrite() const { return directWrite_; }
    void SetDirectWrite(bool v);
    bool UpdateDCB() const { return updateDcb_; }
    void SetUpdateDCB(bool v);
    int UserBaudrate() const { return userBaudrate_; }
    void SetUserBaudrate(int v);
    TVaDisplay* Display() const { return display_; }
    void SetDisplay(TVaDisplay* v) { display_ = v; }
    std::string Version() const;
    void SetVersion(const std::string&) {}

    // Opens the device (step 2 of Open).
    virtual void CreateHandle();
    virtual void CreateThreads();
    // Raises OnRxChar, or with clients reads the bytes and calls WriteBuffer.
    virtual void HandleDataEvent();
    // Line errors, clients, then each event's handler in a fixed order.
    virtual void HandleLineEvent(uint32_t events);
    virtual void WriteEvents(uint32_t events);
    virtual void WriteBuffer(const void* data, int count);

    // Applies the line settings to an open port when UpdateDCB is true.
    void SetDCB();
    void DestroyThreads();
    // Throws EVaCommError with `format` filled with the code and its text.
    [[noreturn]] void Error(const std::string& format, int code) const;
    void Watch(int code, const std::string& format) const {
        if (code != 0)
            Error(format, code);
    }
    void CheckClosed() const;
    // Closes the port without OnClose, as the destructor does. A class that
    // derives from this one calls it first in its own destructor, so that no
    // delivery reaches an object whose derived part is already gone.
    void CloseForDestruction();
    // Hands an exception that a handler let out to OnHandlerError.
    void ReportHandlerError(const std::exception& error);

private:
    friend class TVaPortThread;
    friend class TVaCommEventThread;
    friend class TVaCommWriteThread;
    friend class TWaitThread;
    // Runs on the main thread (or the event thread without a poster).
    void DoEvent(uint32_t events);
    void DoLineEvent(uint32_t events);
    int ReadBufUsedNoWait();
    // Runs a flush of the receive queue and counts what it threw away.
    void DiscardReceived(const std::function<int()>& discard, const char* format);
    serial::device::Device* Dev() const { return device_.get(); }

    bool autoOpen_ = false;
    TVaBaudrate baudrate_ = br1200;
    TVaParity parity_ = paNone;
    TVaDatabits databits_ = db8;
    TVaStopbits stopbits_ = sb1;
    TVaEventChars eventChars_;
    TVaFlowControl flowControl_;
    TVaCommOptions options_;
    int portNum_ = 0;
    std::string deviceName_ = "COM%d";
    TVaCommEvents monitorEvents_{ceError, ceRxChar, ceTxEmpty};
    TVaBuffers buffers_;
    TVaThreadPriority eventPriority_ = tpNormal;
    TVaThreadPriority writePriority_ = tpHighest;
    bool directWrite_ = false;
    bool updateDcb_ = true;
    int userBaudrate_ = 0;
    TVaDisplay* display_ = nullptr;

    std::unique_ptr<serial::device::Device> device_;
    std::atomic<bool> active_{false};
    // Bytes taken from the receive queue (read or purged) since Open.
    std::atomic<uint64_t> rxConsumed_{0};
    TVaCriticalSection writeLock_;
    TVaCriticalSection globalLock_;
    TVaCommProperties properties_;
    std::unique_ptr<TVaCommEventThread> eventThread_;
    std::unique_ptr<TVaCommWriteThread> writeThread_;
    uint32_t eventMask_ = 0;
    bool controlsEnabled_ = true;
    TVaDispatcher clients_;
    std::shared_ptr<TVaHandOver> handOver_;
    TVaPostToMain postToMain_;
    bool closing_ = false;
    bool purging_ = false; // a purge waits for the writer thread
    bool destroying_ = false;
};

class TVaComm : public TVaCustomComm {
public:
    TVaComm() = default;
    ~TVaComm() override { CloseForDestruction(); }
    using TVaCustomComm::AutoOpen;
    using TVaCustomComm::Baudrate;
    using TVaCustomComm::Buffers;
    using TVaCustomComm::Databits;
    using TVaCustomComm::DeviceName;
    using TVaCustomComm::DirectWrite;
    using TVaCustomComm::Display;
    using TVaCustomComm::EventChars;
    using TVaCustomComm::EventPriority;
    using TVaCustomComm::FlowControl;
    using TVaCustomComm::MonitorEvents;
    using TVaCustomComm::Options;
    using TVaCustomComm::Parity;
    using TVaCustomComm::PortNum;
    using TVaCustomComm::SetAutoOpen;
    using TVaCustomComm::SetBaudrate;
    using TVaCustomComm::SetBuffers;
    using TVaCustomComm::SetDatabits;
    using TVaCustomComm::SetDeviceName;
    using TVaCustomComm::SetDirectWrite;
    using TVaCustomComm::SetDisplay;
    using TVaCustomComm::SetEventChars;
    using TVaCustomComm::SetEventPriority;
    using TVaCustomComm::SetFlowControl;
    using TVaCustomComm::SetMonitorEvents;
    using TVaCustomComm::SetOptions;
    using TVaCustomComm::SetParity;
    using TVaCustomComm::SetPortNum;
    using TVaCustomComm::SetStopbits;
    using TVaCustomComm::SetUpdateDCB;
    using TVaCustomComm::SetUserBaudrate;
    using TVaCustomComm::SetVersion;
    using TVaCustomComm::SetWritePriority;
    using TVaCustomComm::Stopbits;
    using TVaCustomComm::UpdateDCB;
    using TVaCustomComm::UserBaudrate;
    using TVaCustomComm::Version;
    using TVaCustomComm::WritePriority;
};
