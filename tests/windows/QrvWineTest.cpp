// qrv.exe under wine, beside the Linux qrv: the same output for the same
// command, and the same bytes on a COM port that wine maps to a
// pseudo-terminal. One wine prefix for the whole run (its first start is slow).
#include "PlanTimeline.h"
#include "ProgramRun.h"
#include "PtyPeer.h"
#include "printer/Plan.h"
#include "settings/SettingsFile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

using Clock = PtyPeer::Clock;
namespace fs = std::filesystem;

namespace {

const QString Golden = QStringLiteral(QRV_SETTINGS_DATA "/programa.snh");

using Outcome = ProgramRun;

// What console-probe.exe saw of qrv.exe in a console of code page 850.
struct ConsoleRun {
    QByteArray Status;   // as the probe prints it
    QByteArray CodePage; // the console's after qrv.exe
    QStringList Lines;   // the console's screen, UTF-8
};

ConsoleRun ParseConsoleRun(const QByteArray& out) {
    ConsoleRun run;
    QList<QByteArray> lines = out.split('\n');
    if (lines.size() >= 2) {
        run.Status = lines.takeFirst();
        run.CodePage = lines.takeFirst();
    }
    for (const QByteArray& line : lines)
        if (!line.isEmpty())
            run.Lines.append(QString::fromUtf8(line));
    return run;
}

// The Windows status of a program that Ctrl+C ended.
const QByteArray Interrupted = "status 3221225786"; // STATUS_CONTROL_C_EXIT

} // namespace

class QrvWineTest : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;
    QProcessEnvironment wineEnv = QProcessEnvironment::systemEnvironment();

    Outcome windows(const QStringList& arguments) {
        return RunProgram(QStringLiteral("wine"), QStringList{QStringLiteral(QRV_EXE)} + arguments,
                          wineEnv);
    }
    Outcome linux(const QStringList& arguments) {
        return RunProgram(QStringLiteral(QRV_BINARY), arguments);
    }
    // qrv.exe in a console of its own, which keeps code page 850.
    ConsoleRun inConsole(const QStringList& arguments) {
        const Outcome run = RunProgram(
            QStringLiteral("wine"),
            QStringList{QStringLiteral(QRV_PROBES "/console-probe.exe"), QStringLiteral(QRV_EXE)} +
                arguments,
            wineEnv);
        return ParseConsoleRun(run.Out);
    }
    // Makes wine's COMn the pseudo-terminal's slave side.
    void linkCom(int n, const PtyPeer& peer) {
        const fs::path link =
            fs::path(prefix.path().toStdString()) / "dosdevices" / ("com" + std::to_string(n));
        fs::remove(link);
        fs::create_symlink(peer.SlavePath(), link);
    }

private slots:
    void initTestCase() {
        QVERIFY(prefix.isValid());
        wineEnv.insert(QStringLiteral("WINEPREFIX"), prefix.path());
        wineEnv.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        const Outcome boot =
            RunProgram(QStringLiteral("wineboot"), {QStringLiteral("-i")}, wineEnv);
        QVERIFY2(boot.Status == 0, boot.Err.constData());
        // The prefix's own serial ports (com1 is /dev/ttyS0) would make the
        // missing-port case depend on the machine.
        for (const auto& entry :
             fs::directory_iterator(prefix.path().toStdString() + "/dosdevices"))
            if (entry.path().filename().string().starts_with("com"))
                fs::remove(entry.path());
    }

    void dryRunAndShowPrintWhatLinuxPrints_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("program, bands 1 to 4") << QStringList{"program", Golden, "--dry-run"};
        QTest::newRow("config") << QStringList{"config", Golden, "--dry-run"};
        QTest::newRow("show --json") << QStringList{"show", "--json", Golden};
        QTest::newRow("show, accented lines")
            << QStringList{"show", QStringLiteral(QRV_SETTINGS_DATA "/acentos.snh")};
    }
    void dryRunAndShowPrintWhatLinuxPrints() {
        QFETCH(QStringList, arguments);
        const Outcome onLinux = linux(arguments);
        const Outcome onWindows = windows(arguments);
        QCOMPARE(onLinux.Status, 0);
        QVERIFY(!onLinux.Out.isEmpty());
        QCOMPARE(onWindows.Status, 0);
        QCOMPARE(onWindows.Out, onLinux.Out);
    }

    // A console shows what Linux's terminal shows, accents and all, and
    // keeps the code page it had; --help says what this system has.
    void consoleShowsWhatLinuxPrints_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("show, accented lines")
            << QStringList{"show", QStringLiteral(QRV_SETTINGS_DATA "/acentos.snh")};
        QTest::newRow("an error, on standard error") << QStringList{"show", "nada.snh"};
    }
    void consoleShowsWhatLinuxPrints() {
        QFETCH(QStringList, arguments);
        const Outcome onLinux = linux(arguments);
        const ConsoleRun onWindows = inConsole(arguments);
        QCOMPARE(onWindows.Status, "status " + QByteArray::number(onLinux.Status));
        QCOMPARE(onWindows.CodePage, QByteArray("code page 850"));
        QCOMPARE(onWindows.Lines,
                 QString::fromUtf8(onLinux.Out + onLinux.Err).split('\n', Qt::SkipEmptyParts));
    }

    void helpSaysWhatIsTrueOnWindows_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("absent");
        QTest::newRow("the commands") << QStringList{"--help"} << "OPÇÕES"
                                      << "simulate";
        QTest::newRow("the commands, no link") << QStringList{"--help"} << "Comandos"
                                               << "link";
        QTest::newRow("map") << QStringList{"map", "--help"} << "rfc2217://"
                             << "/dev/";
        QTest::newRow("unmap") << QStringList{"unmap", "--help"} << "mapa de portas"
                               << "link";
    }
    void helpSaysWhatIsTrueOnWindows() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, shown);
        QFETCH(QString, absent);
        const ConsoleRun help = inConsole(arguments);
        QCOMPARE(help.Status, QByteArray("status 0"));
        const QString screen = help.Lines.join('\n');
        QVERIFY2(screen.contains(shown), qPrintable(screen));
        QVERIFY2(!screen.contains(absent), qPrintable(screen));
    }

    // Ctrl+C mid-"program": the line Linux prints for SIGINT, and the status
    // the console gives an interrupted program. Ctrl+Break takes the same
    // path, but wine cannot send it.
    void interruptInAConsoleSaysWhereItStopped() {
        PtyPeer printer;
        linkCom(5, printer);
        QProcess process;
        process.setProcessEnvironment(wineEnv);
        process.start(QStringLiteral("wine"), {QStringLiteral(QRV_PROBES "/console-probe.exe"),
                                               "--ctrl-c", QStringLiteral(QRV_EXE), "program",
                                               Golden, "--band", "2", "--port", "COM5"});
        QTRY_VERIFY_WITH_TIMEOUT(printer.ByteCount() >= 14, 60000);
        process.write("\n");
        QVERIFY(process.waitForFinished(60000));
        const ConsoleRun run = ParseConsoleRun(process.readAllStandardOutput());
        QCOMPARE(run.Status, Interrupted);
        QCOMPARE(run.CodePage, QByteArray("code page 850"));
        const QStringList said =
            run.Lines.filter(QRegularExpression(QStringLiteral("^qrv: COM5: interrompida: ")));
        QVERIFY2(said.size() == 1, qPrintable(run.Lines.join('\n')));
        QVERIFY2(said.first().contains(QRegularExpression(QStringLiteral("passo \\d+ de 7"))),
                 qPrintable(said.first()));
    }

    void programOneBandSendsThePlanWithItsTimeline() {
        PtyPeer printer;
        linkCom(3, printer);
        const Clock::time_point launched = Clock::now();
        const Outcome done = windows({"program", Golden, "--band", "2", "--port", "COM3"});
        QCOMPARE(done.Status, 0);
        QCOMPARE(done.Err, QByteArray());

        const printer::Plan plan = printer::ProgramPlan(
            printer::AsWindowHolds(SettingsFile::Read(SettingsFile::Load(Golden.toStdString()))),
            2);
        const std::vector<PtyPeer::Frame> arrived = printer.Frames();
        QCOMPARE(arrived.size(), plan.size());
        for (std::size_t i = 0; i < arrived.size(); ++i)
            QVERIFY2(arrived[i].Bytes == plan[i].Frame, qPrintable(QString::number(i)));
        QCOMPARE(TimelineFault(arrived, plan, launched), QString());
    }

    void missingPortFails() {
        const Outcome failed = windows({"restart", "--port", "com7"});
        QCOMPARE(failed.Status, 1);
        QCOMPARE(failed.Err, QByteArray("qrv: COM7: Specified device not found (\\\\.\\COM7).\n"));
    }

    // The printer stops reading after frame "e": the next byte is given up
    // after WriteTimeout (1 s), with the Windows code for a time-out.
    void printerThatStopsReadingFails() {
        PtyPeer printer;
        linkCom(4, printer);
        QProcess process;
        process.setProcessEnvironment(wineEnv);
        process.start(QStringLiteral("wine"), {QStringLiteral(QRV_EXE), "program", Golden, "--band",
                                               "2", "--port", "COM4"});
        QTRY_VERIFY_WITH_TIMEOUT(printer.ByteCount() >= 14, 60000);
        printer.Stall();
        QElapsedTimer sinceStall;
        sinceStall.start();
        QVERIFY(process.waitForFinished(60000));
        const qint64 ms = sinceStall.elapsed();
        qInfo("stalled printer: qrv.exe ended %lld ms later", ms);
        QCOMPARE(process.exitCode(), 1);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.startsWith("qrv: COM4: Write error (121), ") && err.count('\n') == 1,
                 err.constData());
        // 1 s for the byte, 0.3 s for the close, and wine's own exit.
        QVERIFY2(ms < 4000, qPrintable(QString::number(ms)));
    }
};

QTEST_GUILESS_MAIN(QrvWineTest)
#include "QrvWineTest.moc"
