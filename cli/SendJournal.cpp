#include "cli/SendJournal.h"

#include "cli/Command.h"
#include "cli/JournalPort.h"
#include "cli/PortChecks.h"
#include "journal/Journal.h"
#include "journal/System.h"
#include "model/Utf8Path.h"
#include "ports/PortList.h"

#include <filesystem>

SendRecord::SendRecord(const Command& command, const PortName& port) : start_(command.Start) {
    record_.Started = command.Started;
    record_.Program = "qrv";
    record_.Version = QRV_VERSION;
    record_.User = journal::UserName();
    record_.Host = journal::HostName();
    record_.Command = command.Name;
    record_.Configuration = command.Configuration;
    record_.Port.Named = port.Display();
    record_.Port.Device = DevicePath(port);
    virtual_ = IsVirtualPrinter(port, record_.Port.Device);
    done_ = virtual_;
}

void SendRecord::Trace() {
    std::string stable = virtual_ ? std::string() : ports::StableNameOf(record_.Port.Device);
    const std::lock_guard hold(lock_);
    record_.Port.Stable = std::move(stable);
}

void SendRecord::Planned(const std::vector<int>& bands, std::size_t steps) {
    const std::lock_guard hold(lock_);
    record_.Bands = bands;
    steps_ = steps;
}

void SendRecord::Step(std::size_t step) {
    const std::lock_guard hold(lock_);
    step_ = step + 1;
    bytes_.emplace_back();
    record_.Frames.push_back(
        {std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count(), {}});
}

void SendRecord::Sent(uint8_t byte) {
    const std::lock_guard hold(lock_);
    if (!bytes_.empty())
        bytes_.back().push_back(byte);
}

std::optional<std::string> SendRecord::Completed() {
    return finish({journal::Outcome::Completed, 0, 0, {}});
}

std::optional<std::string> SendRecord::Failed(const std::string& error) {
    return finish({journal::Outcome::Failed, 0, 0, error});
}

std::optional<std::string> SendRecord::Interrupted() {
    return finish({journal::Outcome::Interrupted, 0, 0, {}});
}

std::optional<std::string> SendRecord::finish(journal::Outcome outcome) {
    const std::lock_guard hold(lock_);
    if (done_)
        return std::nullopt;
    done_ = true;
    outcome.Steps = static_cast<int>(steps_);
    outcome.Step = outcome.What == journal::Outcome::Completed ? static_cast<int>(steps_)
                                                               : static_cast<int>(step_);
    record_.Result = outcome;
    for (std::size_t i = 0; i < bytes_.size(); ++i)
        record_.Frames[i].Hex = journal::ToHex(bytes_[i]);
    record_.DurationMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    return journal::Append(record_);
}

SendRecord::Command JournalCommand(const std::string& name, const std::string& file,
                                   const std::string& fileSha256) {
    SendRecord::Command command{name, journal::LocalTimestamp(), SendRecord::Clock::now(), {}};
    if (!file.empty()) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(Utf8Path(file), ec);
        command.Configuration = {journal::Source::File, ec ? file : Utf8Text(absolute), fileSha256};
    }
    return command;
}

void SayJournalFailure(const std::string& reason) {
    SayError("aviso: histórico não gravado: " + reason);
}
