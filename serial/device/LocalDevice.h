#pragma once
// The system's own serial device: the Device contract over a handle that
// each binding defines (linux/LinuxDevice.cpp, win32/Win32Device.cpp).
// Private to the bindings.

#include "serial/device/Device.h"

#include <memory>
#include <string>

namespace serial::device {

struct DeviceHandle;

class LocalDevice final : public Device {
public:
    static std::unique_ptr<Device> Open(const std::string& path, int& error);
    explicit LocalDevice(std::unique_ptr<DeviceHandle> handle);
    ~LocalDevice() override;

    int ApplyLineSettings(const LineSettings& settings) override;
    int CurrentLineSettings(LineSettings& settings) const override;
    int SetQueueSizes(uint32_t readSize, uint32_t writeSize) override;
    int SetTimeouts() override;
    int SetEventMask(uint32_t mask) override;
    int Write(const void* data, size_t count, int timeoutMs, size_t& written) override;
    int WriteSome(const void* data, size_t count, size_t& written) override;
    int Read(void* data, size_t count, size_t& got) override;
    int InQueue(uint32_t& bytes) const override;
    int OutQueue(uint32_t& bytes) const override;
    int Status(TVaComStat& status) override;
    int Purge(bool receive, bool transmit) override;
    int ModemStatus(uint32_t& lines) const override;
    int SetDtr(bool on) override;
    int SetRts(bool on) override;
    int SetBreak(bool on) override;
    int SetXon(bool on) override;
    int Reset() override;
    int Properties(TVaCommProperties& properties) const override;
    WaitResult Wait(Wakeup& wakeup, bool read, bool write, int timeoutMs, bool portEvents) override;
    uint32_t TakeLineEvents() override;

private:
    std::unique_ptr<DeviceHandle> handle_;
};

} // namespace serial::device
