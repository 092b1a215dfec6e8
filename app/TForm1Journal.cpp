// What each device command leaves in the user's journal: the port and what
// it led to, the bands, where the configuration came from, every frame as it
// went out with its time, and how the command ended. The journal never
// stands in a send's way: a record that cannot be written is one log line.
#include "app/TForm1.h"
#include "journal/Journal.h"
#include "journal/System.h"
#include "ports/ComName.h"
#include "ports/PortList.h"

#include <QDir>

namespace {

int64_t msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace

void TForm1::BeginRecord(const char* command, std::vector<int> bands, std::size_t steps,
                         bool withConfiguration) {
    OpenRecord open;
    open.Start = std::chrono::steady_clock::now();
    open.Steps = steps;
    journal::Record& r = open.Data;
    r.Started = journal::LocalTimestamp();
    r.Program = "impressora-qrv";
    r.Version = QRV_VERSION;
    r.User = journal::UserName();
    r.Host = journal::HostName();
    r.Command = command;
    r.Port.Named = ports::ComName(VaComm1.PortNum());
    try {
        r.Port.Device = VaComm1.GetDeviceName();
    } catch (const EVaCommError&) {
        // The entry changed since the port opened; the name says enough.
    }
    r.Port.Stable = ports::StableNameOf(r.Port.Device);
    r.Bands = std::move(bands);
    if (withConfiguration)
        r.Configuration = {
            journal::Source::Window, QDir::toNativeSeparators(JournalFile).toStdString(), {}};
    Sending = std::move(open);
}

void TForm1::RecordStep() {
    if (!Sending)
        return;
    Sending->Frames.emplace_back();
    Sending->Data.Frames.push_back({msSince(Sending->Start), {}});
}

void TForm1::EndRecord(journal::Outcome::Kind what, const std::string& error) {
    if (!Sending)
        return;
    OpenRecord open = std::move(*Sending);
    Sending.reset();
    journal::Record& r = open.Data;
    for (std::size_t i = 0; i < open.Frames.size(); ++i)
        r.Frames[i].Hex = journal::ToHex(open.Frames[i]);
    const int steps = static_cast<int>(open.Steps);
    r.Result = {what,
                what == journal::Outcome::Completed ? steps : static_cast<int>(open.Frames.size()),
                steps, error};
    r.DurationMs = msSince(open.Start);
    std::optional<std::string> reason;
    try {
        reason = journal::Append(r);
    } catch (const std::exception& e) {
        reason = e.what();
    }
    if (reason)
        Log(QStringLiteral("  Histórico não gravado: ") + QString::fromStdString(*reason));
}
