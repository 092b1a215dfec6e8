#include "serial/VaComm.h"

#include "ports/PortList.h"
#include "ports/PortMap.h"
#include "serial/VaCommThreads.h"
#include "serial/device/Device.h"
#include "serial/net/NetworkAddress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>
#include <tuple>

namespace {

constexpr uint32_t kVersion = 0x01030800;
constexpr int kClosePauseMs = 300;

const char* const kPortOpen = "Can't perform this operation while port is open";
const char* const kPortClosed = "Can't perform this operation while port is closed";
const char* const kCommFunction = "Error calling comm function (%d), %s";

// Fills each "%d" and "%s" of `format` with the next argument, in one pass,
// so text inside an argument (a device path with "%s" in it) stays as it is.
// "%%" is "%"; a placeholder without an argument is left alone.
std::string Fill(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char c = format[i + 1];
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((c == 'd' || c == 's') && next != args.end()) {
                out += *next++;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

} // namespace

uint32_t VaBaudrateValue(TVaBaudrate rate) {
    static constexpr uint32_t values[] = {0,     110,    300,    600,   1200,  2400,
                                          4800,  9600,   14400,  19200, 38400, 56000,
                                          57600, 115200, 128000, 256000};
    return values[rate];
}

uint32_t VaCommEventBit(TVaCommEvent event) {
    static constexpr uint32_t bits[] = {VaEv::Break,  VaEv::Cts,  VaEv::Dsr,      VaEv::Err,
                                        VaEv::Ring,   VaEv::Rlsd, VaEv::RxChar,   VaEv::TxEmpty,
                                        VaEv::RxFlag, VaEv::PErr, VaEv::Rx80Full, VaEv::Event1,
                                        VaEv::Event2};
    return bits[event];
}

// ---- Property groups -------------------------------------------------------------

void TVaPersistent::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && dirty_) {
        dirty_ = false;
        if (OnChange)
            OnChange();
    }
}

void TVaPersistent::Changed() {
    if (updateCount_ > 0) {
        dirty_ = true;
        return;
    }
    if (OnChange)
        OnChange();
}

void TVaFlowControl::Assign(const TVaFlowControl& o) {
    auto fields = [](const TVaFlowControl& f) {
        return std::tuple(f.outCtsFlow_, f.outDsrFlow_, f.controlDtr_, f.controlRts_, f.xonXoffOut_,
                          f.xonXoffIn_, f.dsrSensitivity_, f.txContinueOnXoff_);
    };
    if (fields(*this) == fields(o))
        return;
    Changing();
    std::tie(outCtsFlow_, outDsrFlow_, controlDtr_, controlRts_, xonXoffOut_, xonXoffIn_,
             dsrSensitivity_, txContinueOnXoff_) = fields(o);
    Changed();
}

void TVaEventChars::Assign(const TVaEventChars& o) {
    auto fields = [](const TVaEventChars& e) {
        return std::tuple(e.xonChar_, e.xoffChar_, e.errorChar_, e.eventChar_, e.eofChar_);
    };
    if (fields(*this) == fields(o))
        return;
    Changing();
    std::tie(xonChar_, xoffChar_, errorChar_, eventChar_, eofChar_) = fields(o);
    Changed();
}

void TVaBuffers::Assign(const TVaBuffers& o) {
    auto fields = [](const TVaBuffers& b) {
        return std::tuple(b.readSize_, b.writeSize_, b.readTimeout_, b.writeTimeout_, b.xonLimit_,
                          b.xoffLimit_);
    };
    if (fields(*this) == fields(o))
        return;
    Changing();
    std::tie(readSize_, writeSize_, readTimeout_, writeTimeout_, xonLimit_, xoffLimit_) = fields(o);
    Changed();
}

// ---- Client link -------------------------------------------------------------------

TVaCommComponent::~TVaCommComponent() {
    SetComm(nullptr);
}

void TVaCommComponent::SetComm(TVaCustomComm* port) {
    if (port == comm_)
        return;
    if (comm_)
        comm_->RemoveClient(this);
    if (port)
        port->InsertClient(this);
}

void TVaDispatcher::Insert(TVaCommComponent* client) {
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end())
        clients_.push_back(client);
}

void TVaDispatcher::Remove(TVaCommComponent* client) {
    clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

void TVaDispatcher::ForwardData(const void* data, int count) const {
    for (TVaCommComponent* c : clients_)
        if (c->Active())
            c->HandleData(data, count);
}

void TVaDispatcher::ForwardEvents(uint32_t events) const {
    for (TVaCommComponent* c : clients_)
        if (c->Active())
            c->HandleEvents(events);
}

// ---- TVaCustomComm: life -------------------------------------------------------------

TVaCustomComm::TVaCustomComm() : handOver_(std::make_shared<TVaHandOver>()) {
    buffers_.OnChanging = [this] { CheckClosed(); };
    flowControl_.OnChange = [this] { SetDCB(); };
    eventChars_.OnChange = [this] { SetDCB(); };
    OnHandlerError = [](const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
    };
}

TVaCustomComm::~TVaCustomComm() {
    CloseForDestruction();
    for (TVaCommComponent* client : std::vector(clients_.Clients()))
        RemoveClient(client);
}

void TVaCustomComm::CloseForDestruction() {
    destroying_ = true;
    Close();
}

void TVaCustomComm::Loaded() {
    if (autoOpen_)
        Open();
}

void TVaCustomComm::Notification(TVaComponent* component, TOperation operation) {
    if (operation != opRemove)
        return;
    if (component == display_)
        display_ = nullptr;
    if (auto* client = dynamic_cast<TVaCommComponent*>(component))
        RemoveClient(client);
}

void TVaCustomComm::InsertClient(TVaCommComponent* client) {
    clients_.Insert(client);
    client->comm_ = this;
}

void TVaCustomComm::RemoveClient(TVaCommComponent* client) {
    clients_.Remove(client);
    if (client->comm_ == this)
        client->comm_ = nullptr;
}

void TVaCustomComm::SetPostToMain(TVaPostToMain post) {
    postToMain_ = std::move(post);
}

// ---- Properties ------------------------------------------------------------------------

void TVaCustomComm::CheckClosed() const {
    if (Active())
        throw EVaCommError(kPortOpen);
}

void TVaCustomComm::SetBaudrate(TVaBaudrate v) {
    if (v == baudrate_)
        return;
    baudrate_ = v;
    if (v != brUser)
        userBaudrate_ = 0;
    SetDCB();
}

void TVaCustomComm::SetUserBaudrate(int v) {
    if (v == userBaudrate_)
        return;
    userBaudrate_ = v;
    baudrate_ = brUser;
    SetDCB();
}

void TVaCustomComm::SetParity(TVaParity v) {
    if (v == parity_)
        return;
    parity_ = v;
    SetDCB();
}

void TVaCustomComm::SetDatabits(TVaDatabits v) {
    if (v == databits_)
        return;
    databits_ = v;
    SetDCB();
}

void TVaCustomComm::SetStopbits(TVaStopbits v) {
    if (v == stopbits_)
        return;
    stopbits_ = v;
    SetDCB();
}

void TVaCustomComm::SetOptions(TVaCommOptions v) {
    if (v == options_)
        return;
    options_ = v;
    SetDCB();
}

void TVaCustomComm::SetPortNum(int n) {
    CheckClosed();
    portNum_ = n;
}

void TVaCustomComm::SetDeviceName(const std::string& v) {
    CheckClosed();
    deviceName_ = v;
}

void TVaCustomComm::SetMonitorEvents(TVaCommEvents v) {
    CheckClosed();
    monitorEvents_ = v;
}

void TVaCustomComm::SetDirectWrite(bool v) {
    CheckClosed();
    directWrite_ = v;
}

void TVaCustomComm::SetUpdateDCB(bool v) {
    CheckClosed();
    updateDcb_ = v;
}

void TVaCustomComm::SetEventPriority(TVaThreadPriority v) {
    eventPriority_ = v;
    if (eventThread_)
        eventThread_->SetPriority(v);
}

void TVaCustomComm::SetWritePriority(TVaThreadPriority v) {
    writePriority_ = v;
    if (writeThread_)
        writeThread_->SetPriority(v);
}

std::string TVaCustomComm::Version() const {
    return Fill("%d.%d.%d.%d",
                {std::to_string((kVersion >> 24) & 0xFF), std::to_string((kVersion >> 16) & 0xFF),
                 std::to_string((kVersion >> 8) & 0xFF), std::to_string(kVersion & 0xFF)});
}

std::string TVaCustomComm::GetDeviceName() const {
    try {
        return ports::Resolve(Fill(deviceName_, {std::to_string(portNum_)}));
    } catch (const ports::StaleEntry& e) {
        throw EVaCommError(e.what(), ports::StaleEntry::Code);
    }
}

uint32_t TVaCustomComm::DcbFlags() const {
    const TVaFlowControl& f = flowControl_;
    uint32_t flags = VaDcb::Binary;
    if (f.OutCtsFlow())
        flags |= VaDcb::OutxCtsFlow;
    if (f.OutDsrFlow())
        flags |= VaDcb::OutxDsrFlow;
    if (f.ControlDtr() == dtrEnabled)
        flags |= VaDcb::DtrEnable;
    else if (f.ControlDtr() == dtrHandshake)
        flags |= VaDcb::DtrHandshake;
    if (f.DsrSensitivity())
        flags |= VaDcb::DsrSensitivity;
    if (f.TxContinueOnXoff())
        flags |= VaDcb::TxContinueOnXoff;
    if (f.XonXoffOut())
        flags |= VaDcb::OutX;
    if (f.XonXoffIn())
        flags |= VaDcb::InX;
    static constexpr uint32_t rts[] = {0, VaDcb::RtsEnable, VaDcb::RtsHandshake, VaDcb::RtsToggle};
    flags |= rts[f.ControlRts()];
    if (options_.Contains(coErrorChar))
        flags |= VaDcb::ErrorChar;
    if (options_.Contains(coNullStrip))
        flags |= VaDcb::Null;
    if (options_.Contains(coParityCheck))
        flags |= VaDcb::Parity;
    return flags;
}

uint32_t TVaCustomComm::EventMask() const {
    uint32_t mask = 0;
    for (int e = ceBreak; e <= ceEvent2; ++e)
        if (monitorEvents_.Contains(static_cast<TVaCommEvent>(e)))
            mask |= VaCommEventBit(static_cast<TVaCommEvent>(e));
    // The writer thread reports the empty queue itself.
    if (!directWrite_)
        mask &= ~VaEv::TxEmpty;
    return mask;
}

// ---- Open and close ----------------------------------------------------------------------

void TVaCustomComm::Error(const std::string& format, int code) const {
    // The number of a network failure means nothing outside this program:
    // its text alone says what happened ("Error writing dcb, the server
    // refused the baud rate"); callers branch on Code().
    if (serial::net::IsNetworkErrorCode(code)) {
        std::string shorter = format;
        if (const size_t at = shorter.find(" (%d)"); at != std::string::npos)
            shorter.erase(at, 5);
        throw EVaCommError(Fill(shorter, {serial::device::ErrorText(code)}), code);
    }
    throw EVaCommError(Fill(format, {std::to_string(code), serial::device::ErrorText(code)}), code);
}

void TVaCustomComm::CreateHandle() {
    const std::string path = GetDeviceName();
    int error = 0;
    std::unique_ptr<serial::device::Device> device = serial::device::Device::Open(path, error);
    if (!device) {
        if (const std::string text = serial::net::NetworkOpenError(path, error); !text.empty())
            throw EVaCommError(text, error);
        if (serial::device::Classify(error) == serial::device::ErrorKind::NotFound)
            throw EVaCommError(Fill("Specified device not found (%s).", {path}), error);
        throw EVaCommError(Fill("Can't open specified device %s (Error %d, %s)",
                                {path, std::to_string(error), serial::device::ErrorText(error)}),
                           error);
    }
    device->SetDrainLimit(static_cast<int>(std::min<uint32_t>(buffers_.WriteTimeout(), 60000)));
    device_ = std::move(device);
}

void TVaCustomComm::Open() {
    if (Active())
        throw EVaCommError(kPortOpen);
    CreateHandle();
    rxConsumed_ = 0;
    active_ = true;
    try {
        SetDCB();
        Watch(device_->SetQueueSizes(buffers_.ReadSize(), buffers_.WriteSize()),
              "Error initializing buffers (%d), %s");
        Watch(device_->SetTimeouts(), "Error setting timeouts (%d), %s");
        eventMask_ = EventMask();
        Watch(device_->SetEventMask(eventMask_), " Error setting EventMask (%d), %s");
        CreateThreads();
    } catch (...) {
        DestroyThreads();
        active_ = false;
        device_.reset();
        throw;
    }
    if (OnOpen) {
        try {
            OnOpen(*this);
        } catch (const std::exception& e) {
            ReportHandlerError(e);
        } catch (...) {
            ReportHandlerError(EVaCommError("Unknown error in OnOpen"));
        }
    }
}

void TVaCustomComm::CreateThreads() {
    if (eventMask_ != 0) {
        eventThread_ = std::make_unique<TVaCommEventThread>(*this, *device_, eventMask_,
                                                            postToMain_, handOver_);
        eventThread_->Start(eventPriority_);
    }
    if (!directWrite_) {
        writeThread_ = std::make_unique<TVaCommWriteThread>(*this, *device_, buffers_.WriteSize(),
                                                            postToMain_, handOver_);
        writeThread_->Start(writePriority_);
    }
}

void TVaCustomComm::DestroyThreads() {
    if (eventThread_)
        eventThread_->StopThread();
    if (writeThread_)
        writeThread_->StopThread();
    // A thread may be waiting for the main thread to run a delivery; run it
    // here, or both would wait for each other.
    handOver_->WaitFor([this] {
        return (!eventThread_ || eventThread_->Finished()) &&
               (!writeThread_ || writeThread_->Finished());
    });
    eventThread_.reset();
    writeThread_.reset();
}

void TVaCustomComm::Close() {
    // A handler run by the deliveries that a Close or a purge runs while it
    // waits must not close the port under it.
    if (!Active() || closing_ || purging_)
        return;
    closing_ = true;
    DestroyThreads();
    {
        std::lock_guard global(globalLock_);
        std::lock_guard write(writeLock_);
        active_ = false;
        device_.reset();
    }
    closing_ = false;
    if (OnClose && !destroying_)
        OnClose(*this);
    std::this_thread::sleep_for(std::chrono::milliseconds(kClosePauseMs));
}

void TVaCustomComm::SetDCB() {
    if (!Active() || !updateDcb_)
        return;
    serial::device::LineSettings s;
    s.baudrate =
        baudrate_ == brUser ? static_cast<uint32_t>(userBaudrate_) : VaBaudrateValue(baudrate_);
    s.databits = 4 + static_cast<int>(databits_);
    s.parity = static_cast<int>(parity_);
    s.stopbits = static_cast<int>(stopbits_);
    s.flags = DcbFlags();
    s.xonLimit = buffers_.XonLimit();
    s.xoffLimit = buffers_.XoffLimit();
    s.xonChar = eventChars_.XonChar();
    s.xoffChar = eventChars_.XoffChar();
    s.errorChar = eventChars_.ErrorChar();
    s.eventChar = eventChars_.EventChar();
    s.eofChar = eventChars_.EofChar();
    Watch(device_->ApplyLineSettings(s), "Error writing dcb (%d), %s");
}

// ---- Writing and reading --------------------------------------------------------------------

int TVaCustomComm::WriteBuf(const void* buffer, int count) {
    if (!Active() || count <= 0)
        return 0;
    if (!directWrite_) {
        if (!writeThread_->WriteData(buffer, static_cast<size_t>(count),
                                     static_cast<int>(buffers_.WriteTimeout())))
            throw EVaCommError("Output buffer is full. Please check comm status.");
        return count;
    }
    std::lock_guard lock(writeLock_);
    if (!device_)
        return 0;
    size_t written = 0;
    const int error = device_->Write(buffer, static_cast<size_t>(count),
                                     static_cast<int>(buffers_.WriteTimeout()), written);
    if (error != 0)
        Error("Write error (%d), %s", error);
    if (written > 0 && eventThread_)
        eventThread_->NoteWrite();
    return static_cast<int>(written);
}

bool TVaCustomComm::WriteText(const std::string& text) {
    return WriteBuf(text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
}

bool TVaCustomComm::WriteChar(char c) {
    return WriteBuf(&c, 1) == 1;
}

void TVaCustomComm::SendChar(char c) {
    if (!Active())
        throw EVaCommError(kPortClosed);
    if (WriteBuf(&c, 1) != 1)
        Error("Write error (%d), %s",
              serial::device::ErrorCode(serial::device::ErrorKind::TimedOut));
}

void TVaCustomComm::DrainWrite() {
    if (!Active())
        throw EVaCommError(kPortClosed);
    const int limit = static_cast<int>(buffers_.WriteTimeout());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
    while (!directWrite_ && writeThread_->Used() > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            Error("Write error (%d), %s",
                  serial::device::ErrorCode(serial::device::ErrorKind::TimedOut));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard lock(writeLock_);
    if (!device_)
        return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (int error = device_->Drain(static_cast<int>(std::max<long long>(left.count(), 0))))
        Error("Write error (%d), %s", error);
}

int TVaCustomComm::ReadBuf(void* buffer, int count) {
    std::lock_guard lock(globalLock_);
    if (!device_ || count <= 0)
        return 0;
    size_t got = 0;
    if (int error = device_->Read(buffer, static_cast<size_t>(count), got))
        Error("Read error (%d), %s", error);
    rxConsumed_ += got;
    return static_cast<int>(got);
}

std::string TVaCustomComm::ReadText() {
    const int n = ReadBufUsed();
    if (n == 0)
        return {};
    std::string text(static_cast<size_t>(n), '\0');
    text.resize(static_cast<size_t>(ReadBuf(text.data(), n)));
    return text;
}

bool TVaCustomComm::ReadChar(char& c) {
    return ReadBuf(&c, 1) == 1;
}

bool TVaCustomComm::ReadCharWait(char& c, int timeoutMs) {
    return WaitChar(timeoutMs) && ReadChar(c);
}

bool TVaCustomComm::WaitChar(int timeoutMs) {
    if (!Active())
        return false;
    TWaitThread waiter(*this);
    const bool arrived = waiter.WaitFor(timeoutMs);
    waiter.Stop();
    return arrived;
}

int TVaCustomComm::ReadBufUsed() {
    std::lock_guard lock(globalLock_);
    uint32_t n = 0;
    if (!device_ || device_->HungUp() || device_->InQueue(n) != 0)
        return 0;
    return static_cast<int>(n);
}

// The WaitChar thread must never block on the lock: its owner may hold it
// while it waits for this thread.
int TVaCustomComm::ReadBufUsedNoWait() {
    if (!globalLock_.TryEnter())
        return 0;
    uint32_t n = 0;
    if (device_ && !device_->HungUp() && device_->InQueue(n) != 0)
        n = 0;
    globalLock_.Leave();
    return static_cast<int>(n);
}

int TVaCustomComm::ReadBufFree() {
    if (!Active())
        return 0;
    return std::max(0, static_cast<int>(buffers_.ReadSize()) - ReadBufUsed());
}

int TVaCustomComm::WriteBufUsed() {
    if (!Active())
        return 0;
    if (!directWrite_)
        return static_cast<int>(writeThread_->Used());
    return UARTWriteBufUsed();
}

int TVaCustomComm::WriteBufFree() {
    if (!Active())
        return 0;
    return std::max(0, static_cast<int>(buffers_.WriteSize()) - WriteBufUsed());
}

int TVaCustomComm::UARTReadBufUsed() {
    return ReadBufUsed();
}

int TVaCustomComm::UARTWriteBufUsed() {
    std::lock_guard lock(globalLock_);
    uint32_t n = 0;
    if (!device_ || device_->HungUp() || device_->OutQueue(n) != 0)
        return 0;
    return static_cast<int>(n);
}

// ---- Line status and control
// ---------------------------------------------------------------------

void TVaCustomComm::GetCommStatus(TVaComStat& status) {
    std::lock_guard lock(globalLock_);
    const char* format = "Error retrieving statistics (%d), %s";
    if (!device_)
        Error(format, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    Watch(device_->Status(status), format);
}

bool TVaCustomComm::GetComStat(TVaComStatFlag flag) {
    TVaComStat status;
    GetCommStatus(status);
    return (status.Flags >> flag) & 1u;
}

bool TVaCustomComm::GetModemStatus(TVaModemLine line) {
    std::lock_guard lock(globalLock_);
    const char* format = "Error reading modem state (%d), %s";
    if (!device_)
        Error(format, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    uint32_t lines = 0;
    Watch(device_->ModemStatus(lines), format);
    static constexpr uint32_t bits[] = {serial::device::ModemCts, serial::device::ModemDsr,
                                        serial::device::ModemRing, serial::device::ModemRlsd};
    return lines & bits[line];
}

bool TVaCustomComm::ClearLineErrors() {
    TVaComStat status;
    GetCommStatus(status);
    if (status.Errors != 0 && OnError)
        OnError(*this, static_cast<int>(status.Errors));
    return status.Errors != 0;
}

void TVaCustomComm::PurgeRead() {
    std::lock_guard lock(globalLock_);
    const char* format = "Error clearing buffers (%d), %s";
    if (!device_)
        Error(format, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    DiscardReceived([&] { return device_->Purge(true, false); }, format);
}

void TVaCustomComm::DiscardReceived(const std::function<int()>& discard, const char* format) {
    uint32_t queued = 0;
    device_->InQueue(queued);
    Watch(discard(), format);
    rxConsumed_ += queued;
}

void TVaCustomComm::PurgeWrite() {
    std::lock_guard lock(globalLock_);
    const char* format = "Error clearing buffers (%d), %s";
    if (!device_)
        Error(format, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    Watch(device_->Purge(false, true), format);
    if (writeThread_) {
        purging_ = true;
        const auto done = [this] { purging_ = false; };
        bool acknowledged = false;
        try {
            acknowledged = writeThread_->PurgeWrite();
        } catch (...) {
            done();
            throw;
        }
        done();
        // The writer did not answer in time: its queue was not cleared.
        if (!acknowledged)
            Error(format, serial::device::ErrorCode(serial::device::ErrorKind::TimedOut));
    }
}

void TVaCustomComm::PurgeReadWrite() {
    std::lock_guard lock(globalLock_);
    PurgeRead();
    PurgeWrite();
}

void TVaCustomComm::SetDTR(bool on) {
    if (flowControl_.ControlDtr() == dtrHandshake)
        throw EVaCommError("DTR line updates not allowed when flowcontrol is set to Handshake.");
    if (!device_)
        Error(kCommFunction, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    Watch(device_->SetDtr(on), kCommFunction);
}

void TVaCustomComm::SetRTS(bool on) {
    const TVaControlRts rts = flowControl_.ControlRts();
    if (rts == rtsHandshake || rts == rtsToggle)
        throw EVaCommError(
            "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
    if (!device_)
        Error(kCommFunction, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    Watch(device_->SetRts(on), kCommFunction);
}

void TVaCustomComm::SetBreak(bool on) {
    if (!device_)
        Error(kCommFunction, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    Watch(device_->SetBreak(on), kCommFunction);
}

void TVaCustomComm::SetXon(bool on) {
    if (!device_)
        Error(kCommFunction, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    Watch(device_->SetXon(on), kCommFunction);
}

void TVaCustomComm::ResetDev() {
    if (!device_)
        Error(kCommFunction, serial::device::ErrorCode(serial::device::ErrorKind::BadHandle));
    std::lock_guard lock(globalLock_);
    DiscardReceived([&] { return device_->Reset(); }, kCommFunction);
}

void TVaCustomComm::GetProperties() {
    if (!Active())
        throw EVaCommError(kPortClosed);
    Watch(device_->Properties(properties_), "Error reading port properties (%d), %s");
}

void TVaCustomComm::ResetPortParameters() {
    serial::device::LineSettings s;
    int error = 0;
    if (Active()) {
        error = device_->CurrentLineSettings(s);
    } else {
        auto device = serial::device::Device::Open(GetDeviceName(), error);
        if (device)
            error = device->CurrentLineSettings(s);
    }
    if (error != 0)
        throw EVaCommError("Error reading default port parameters.", error);
    TVaBaudrate rate = brUser;
    for (int b = br110; b <= br256000; ++b)
        if (VaBaudrateValue(static_cast<TVaBaudrate>(b)) == s.baudrate)
            rate = static_cast<TVaBaudrate>(b);
    if (rate == brUser)
        SetUserBaudrate(static_cast<int>(s.baudrate));
    else
        SetBaudrate(rate);
    SetDatabits(static_cast<TVaDatabits>(std::clamp(s.databits, 4, 8) - 4));
    SetParity(static_cast<TVaParity>(s.parity));
    SetStopbits(static_cast<TVaStopbits>(s.stopbits));
    flowControl_.BeginUpdate();
    flowControl_.SetOutCtsFlow(s.flags & VaDcb::OutxCtsFlow);
    flowControl_.SetXonXoffOut(s.flags & VaDcb::OutX);
    flowControl_.SetXonXoffIn(s.flags & VaDcb::InX);
    flowControl_.EndUpdate();
}

void TVaCustomComm::GetComPortNames(std::vector<std::string>& list) {
    list = ports::PortNames();
}

// ---- Event delivery
// ------------------------------------------------------------------------------

void TVaCustomComm::ReportHandlerError(const std::exception& error) {
    try {
        if (OnHandlerError)
            OnHandlerError(error);
    } catch (...) {
        // The error display itself failed; nothing is left to tell.
    }
}

void TVaCustomComm::DoEvent(uint32_t events) {
    try {
        if (display_)
            display_->UpdateDisplay(*this, events);
        if (events & VaEv::RxChar) {
            HandleDataEvent();
            events &= ~VaEv::RxChar;
        }
        if (events)
            HandleLineEvent(events);
    } catch (const std::exception& e) {
        ReportHandlerError(e);
    } catch (...) {
        ReportHandlerError(EVaCommError("Unknown error in an event handler"));
    }
}

void TVaCustomComm::HandleDataEvent() {
    const int count = ReadBufUsed();
    if (count == 0)
        return;
    if (clients_.Empty()) {
        if (OnRxChar)
            OnRxChar(*this, count);
        return;
    }
    std::vector<char> block(static_cast<size_t>(count));
    const int got = ReadBuf(block.data(), count);
    WriteBuffer(block.data(), got);
}

void TVaCustomComm::HandleLineEvent(uint32_t events) {
    if (events & VaEv::Err)
        ClearLineErrors();
    if (!clients_.Empty())
        WriteEvents(events);
    const std::pair<uint32_t, TVaNotifyEvent*> order[] = {
        {VaEv::RxFlag, &OnRxFlag}, {VaEv::Cts, &OnCts},      {VaEv::Dsr, &OnDsr},
        {VaEv::Ring, &OnRing},     {VaEv::Rlsd, &OnRlsd},    {VaEv::TxEmpty, &OnTxEmpty},
        {VaEv::Break, &OnBreak},   {VaEv::PErr, &OnPErr},    {VaEv::Rx80Full, &OnRx80Full},
        {VaEv::Event1, &OnEvent1}, {VaEv::Event2, &OnEvent2}};
    for (const auto& [bit, handler] : order)
        if ((events & bit) && *handler)
            (*handler)(*this);
}

void TVaCustomComm::WriteEvents(uint32_t events) {
    if (controlsEnabled_)
        clients_.ForwardEvents(events);
}

void TVaCustomComm::WriteBuffer(const void* data, int count) {
    if (controlsEnabled_)
        clients_.ForwardData(data, count);
    if (OnRxBuf)
        OnRxBuf(*this, data, count);
}
