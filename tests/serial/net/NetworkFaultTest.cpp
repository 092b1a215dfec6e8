// qrv against a device server that holds the flow or floods on purpose: each
// run ends, within a hang guard and a memory bound, with every frame at the
// server (its pauses kept) or with an error, never a success that lost bytes.
#include "MisbehavingServer.h"
#include "PlanTimeline.h"
#include "printer/Plan.h"
#include "serial/PrinterLine.h"
#include "serial/VaComm.h"
#include "serial/net/NetworkAddress.h"

#include <QTemporaryFile>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using Fault = MisbehavingServer::Fault;
Q_DECLARE_METATYPE(MisbehavingServer::Fault)

namespace {

constexpr int kGuardMs = 20000;
constexpr long kMaxRssKb = 200 * 1024;

struct Run {
    int Status = -1; // -1: killed by the guard or crashed
    QByteArray Err;
    long MaxRssKb = 0;
};

// Runs qrv to its end or the guard, with its peak memory from the kernel.
Run runQrv(const QStringList& arguments) {
    Run run;
    QTemporaryFile err;
    if (!err.open())
        return run;
    std::vector<std::string> texts{QRV_BINARY};
    for (const QString& a : arguments)
        texts.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& t : texts)
        argv.push_back(t.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err.handle(), 2);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, QRV_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardMs);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.MaxRssKb = usage.ru_maxrss;
    err.seek(0);
    run.Err = err.readAll();
    return run;
}

} // namespace

class NetworkFaultTest : public QObject {
    Q_OBJECT

    const QString golden = QStringLiteral(QRV_SETTINGS_DATA "/programa.snh");

private slots:
    void faultyServer_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("resumeAfterMs");
        QTest::addColumn<int>("floodBytesPerSecond");
        QTest::addColumn<int>("readBytesPerSecond");
        QTest::addColumn<bool>("sent"); // every frame, status 0; else an error
        QTest::newRow("suspended with the line answers, resumed")
            << Fault::SuspendWithAnswers << 700 << 0 << 0 << true;
        QTest::newRow("suspended after the first frame, resumed")
            << Fault::SuspendAfterFirstFrame << 1000 << 0 << 0 << true;
        QTest::newRow("suspended with the line answers, never resumed")
            << Fault::SuspendWithAnswers << -1 << 0 << 0 << false;
        QTest::newRow("suspended after the first frame, never resumed")
            << Fault::SuspendAfterFirstFrame << -1 << 0 << 0 << false;
        QTest::newRow("unknown options flooded, com port never taken")
            << Fault::OptionsBeforeAnswer << -1 << 0 << 0 << false;
        QTest::newRow("unknown options flooded after the line answers")
            << Fault::OptionsAfterAnswer << -1 << 0 << 0 << true;
        QTest::newRow("unknown options at 10 MB/s after the line answers, read slowly")
            << Fault::OptionsAfterAnswer << -1 << 10'000'000 << 1'000'000 << true;
        QTest::newRow("data flooded, com port never taken")
            << Fault::DataBeforeAnswer << -1 << 0 << 0 << false;
        QTest::newRow("data flooded after the line answers")
            << Fault::DataAfterAnswer << -1 << 0 << 0 << true;
        QTest::newRow("NOP flooded after the line answers")
            << Fault::NopAfterAnswer << -1 << 0 << 0 << true;
        QTest::newRow("line state flooded after the line answers")
            << Fault::SubNegotiationAfterAnswer << -1 << 0 << 0 << true;
    }

    void faultyServer() {
        QFETCH(Fault, fault);
        QFETCH(int, resumeAfterMs);
        QFETCH(int, floodBytesPerSecond);
        QFETCH(int, readBytesPerSecond);
        QFETCH(bool, sent);
        MisbehavingServer::Options options;
        options.What = fault;
        options.ResumeAfterMs = resumeAfterMs;
        options.FloodBytesPerSecond = static_cast<std::size_t>(floodBytesPerSecond);
        options.ReadBytesPerSecond = static_cast<std::size_t>(readBytesPerSecond);
        // Commands pile up in a client that keeps every one: a bound keeps
        // such a client from taking the machine's memory.
        if (fault == Fault::OptionsBeforeAnswer || fault == Fault::OptionsAfterAnswer)
            options.FloodBytes = std::size_t(400) << 20;
        MisbehavingServer server(options);
        QVERIFY(server.Start());

        const Run run = runQrv(
            {"program", golden, "--band", "1", "--port", QString::fromStdString(server.Address())});
        const std::vector<MisbehavingServer::Byte> received = server.Received();
        std::vector<uint8_t> bytes;
        for (const MisbehavingServer::Byte& b : received)
            bytes.push_back(b.Value);
        const printer::Plan plan = printer::ProgramPlan(windowConfiguration(golden), 1);
        std::vector<uint8_t> planBytes;
        for (const printer::PlanStep& step : plan)
            planBytes.insert(planBytes.end(), step.Frame.begin(), step.Frame.end());

        QVERIFY2(run.Status != -1, "qrv did not end within the guard");
        QVERIFY2(run.MaxRssKb < kMaxRssKb, qPrintable(QString::number(run.MaxRssKb) + " kB"));
        QVERIFY2(bytes.size() <= planBytes.size() &&
                     std::equal(bytes.begin(), bytes.end(), planBytes.begin()),
                 "the server got bytes that are not the plan's");
        if (!sent) {
            QVERIFY2(run.Status != 0, run.Err.constData());
            QVERIFY(!run.Err.contains("concluído"));
            QVERIFY(bytes.size() < planBytes.size());
            return;
        }
        QVERIFY2(run.Status == 0, run.Err.constData());
        QCOMPARE(bytes.size(), planBytes.size());
        // Each frame keeps its pause after the one before, counted from when
        // that one reached the server.
        std::size_t at = 0;
        for (std::size_t i = 0; i + 1 < plan.size(); ++i) {
            const auto start = received[at].At;
            at += plan[i].Frame.size();
            const auto gap =
                std::chrono::duration_cast<std::chrono::milliseconds>(received[at].At - start);
            const int nominal = plan[i].PauseMs + plan[i].IntervalMs;
            QVERIFY2(gap.count() * 10 >= nominal * 8,
                     qPrintable(QStringLiteral("frame %1 came %2 ms after frame %3, planned %4")
                                    .arg(i + 1)
                                    .arg(gap.count())
                                    .arg(i)
                                    .arg(nominal)));
        }
    }

    // A byte written while the server's suspend waits unread (no event
    // thread reads the socket between writes) is held by the sender: the
    // drain after the last byte fails with the held code, and so does the
    // next write once its limit has passed; the server has only what came
    // before.
    void heldBytesFailTheDrainAndTheNextWrite() {
        MisbehavingServer::Options options;
        options.What = Fault::SuspendAfterFirstFrame;
        MisbehavingServer server(options);
        QVERIFY(server.Start());
        TVaComm comm;
        SetPrinterLine(comm);
        comm.SetMonitorEvents({});
        comm.SetDeviceName(server.Address());
        comm.Open();
        for (const char c : std::string("ABC"))
            comm.SendChar(c);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        comm.SendChar('D');
        const int held = serial::net::NetworkErrorCode(serial::net::NetworkError::Rfc2217Held);
        int drainCode = 0;
        int writeCode = 0;
        try {
            comm.DrainWrite();
        } catch (const EVaCommError& e) {
            drainCode = e.Code();
        }
        try {
            comm.SendChar('E');
        } catch (const EVaCommError& e) {
            writeCode = e.Code();
        }
        comm.Close();
        QCOMPARE(drainCode, held);
        QCOMPARE(writeCode, held);
        std::string bytes;
        for (const MisbehavingServer::Byte& b : server.Received())
            bytes += static_cast<char>(b.Value);
        QCOMPARE(bytes, std::string("ABC"));
    }
};

QTEST_GUILESS_MAIN(NetworkFaultTest)
#include "NetworkFaultTest.moc"
