// qrv.exe under wine, beside the Linux qrv: the same output for the same
// command, and the same bytes on a COM port that wine maps to a
// pseudo-terminal. One wine prefix for the whole run (its first start is slow).
#include "PlanTimeline.h"
#include "ProgramRun.h"
#include "PtyPeer.h"
#include "journal/Journal.h"
#include "printer/Plan.h"
#include "settings/SettingsFile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <fstream>

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
    QTemporaryDir locales; // pt_BR.UTF-8, so that wine speaks Portuguese
    QProcessEnvironment wineEnv = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment portugueseEnv;

    Outcome windows(const QStringList& arguments, bool portuguese = false) {
        return RunProgram(QStringLiteral("wine"), QStringList{QStringLiteral(QRV_EXE)} + arguments,
                          portuguese ? portugueseEnv : wineEnv, 60000);
    }
    Outcome linux(const QStringList& arguments) {
        return RunProgram(QStringLiteral(QRV_BINARY), arguments);
    }
    // %APPDATA% of the prefix's user, seen from Linux.
    fs::path appData() const {
        for (const auto& user :
             fs::directory_iterator(prefix.path().toStdString() + "/drive_c/users"))
            if (user.path().filename() != "Public" && fs::is_directory(user.path() / "AppData"))
                return user.path() / "AppData" / "Roaming";
        return {};
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
        QVERIFY(!appData().empty());

        QVERIFY(locales.isValid());
        const Outcome made = RunProgram(
            QStringLiteral("localedef"),
            {"-i", "pt_BR", "-f", "UTF-8", locales.filePath(QStringLiteral("pt_BR.UTF-8"))});
        QVERIFY2(made.Status == 0, made.Err.constData());
        portugueseEnv = wineEnv;
        portugueseEnv.remove(QStringLiteral("LC_ALL"));
        portugueseEnv.insert(QStringLiteral("LOCPATH"), locales.path());
        portugueseEnv.insert(QStringLiteral("LANG"), QStringLiteral("pt_BR.UTF-8"));
    }

    // With the map folder there and COM3 on a pseudo-terminal: COM1 to COM9
    // name the ports in every folder, so an entry by that name would open
    // the port itself. Entries of the earlier form ("COMn") are read, and
    // renamed when the map is written. Each command must end by itself.
    void mapFolderNeverOpensAPort_data() {
        QTest::addColumn<QStringList>("before"); // "name=line" files in the folder
        QTest::addColumn<QList<QStringList>>("commands");
        QTest::addColumn<QByteArray>("said"); // in the last command's outputs
        QTest::addColumn<QStringList>("after");
        const QStringList ports{"ports", "--json"};
        QTest::newRow("ports, an entry")
            << QStringList{"porta-COM5=rfc2217://127.0.0.1:4005"} << QList<QStringList>{ports}
            << QByteArray("\"device\": \"rfc2217://127.0.0.1:4005\"") << QStringList{"porta-COM5"};
        QTest::newRow("program on COM3")
            << QStringList{"porta-COM5=rfc2217://127.0.0.1:4005"}
            << QList<QStringList>{{"program", Golden, "--band", "2", "--port", "COM3"}}
            << QByteArray() << QStringList{"porta-COM5"};
        QTest::newRow("map COM5, read back")
            << QStringList{}
            << QList<QStringList>{{"map", "COM5", "rfc2217://127.0.0.1:4005"}, ports}
            << QByteArray("\"device\": \"rfc2217://127.0.0.1:4005\"") << QStringList{"porta-COM5"};
        QTest::newRow("earlier COM3 read, not opened")
            << QStringList{"COM3=rfc2217://127.0.0.1:4003"} << QList<QStringList>{ports}
            << QByteArray("\"device\": \"rfc2217://127.0.0.1:4003\"") << QStringList{"COM3"};
        QTest::newRow("map renames the earlier entries")
            << QStringList{"COM3=rfc2217://127.0.0.1:4003", "COM12=socket://127.0.0.1:4012"}
            << QList<QStringList>{{"map", "COM6", "socket://127.0.0.1:4006"}, ports}
            << QByteArray("\"device\": \"rfc2217://127.0.0.1:4003\"")
            << QStringList{"porta-COM12", "porta-COM3", "porta-COM6"};
        QTest::newRow("unmap an earlier entry")
            << QStringList{"COM3=socket://127.0.0.1:4003"} << QList<QStringList>{{"unmap", "COM3"}}
            << QByteArray("COM3 saiu do mapa de portas; agora abre \\\\.\\COM3.") << QStringList{};
    }
    void mapFolderNeverOpensAPort() {
        QFETCH(QStringList, before);
        QFETCH(QList<QStringList>, commands);
        QFETCH(QByteArray, said);
        QFETCH(QStringList, after);
        const fs::path folder = appData() / "impressora-qrv" / "ports";
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const QString& file : before) {
            const QStringList parts = file.split('=');
            std::ofstream(folder / parts[0].toStdString()) << parts[1].toStdString() << "\r\n";
        }
        PtyPeer printer;
        linkCom(3, printer);

        Outcome last;
        for (const QStringList& command : commands) {
            last = windows(command);
            QVERIFY2(last.Status == 0, qPrintable(command.join(' ') + ": " + last.Err));
        }
        QVERIFY2((last.Out + last.Err).contains(said), last.Out.constData());
        QStringList files;
        for (const auto& entry : fs::directory_iterator(folder))
            files << QString::fromStdString(entry.path().filename().string());
        files.sort();
        QCOMPARE(files, after);
        fs::remove_all(folder);
    }

    // The system's own texts, in the user's language, reach the user whole.
    void systemTextsInPortuguese() {
        const fs::path app = appData() / "impressora-qrv";
        fs::remove_all(app);
        std::ofstream(app) << "not a folder\n";
        const Outcome refused = windows({"map", "COM5", "socket://127.0.0.1:4005"}, true);
        fs::remove(app);
        QCOMPARE(refused.Status, 1);
        QCOMPARE(QString::fromUtf8(refused.Err),
                 QStringLiteral("qrv: não foi possível mapear COM5: O arquivo já existe\n"));
    }

    // Any name the user gives is the file the system opens, also one with
    // letters that the ANSI code page lacks.
    void accentedFileName() {
        QTemporaryDir dir;
        const QString accented = dir.filePath(QStringLiteral("agência Łódź.snh"));
        QVERIFY(QFile::copy(Golden, accented));
        const Outcome shown = windows({"show", "Z:" + QDir::toNativeSeparators(accented)});
        QCOMPARE(shown.Status, 0);
        const QByteArray expected = linux({"show", accented}).Out;
        QCOMPARE(shown.Out.mid(shown.Out.indexOf('\n')), expected.mid(expected.indexOf('\n')));
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

        // Its record, under the prefix's %LOCALAPPDATA%.
        const std::string journal =
            (appData().parent_path() / "Local" / "impressora-qrv" / "journal.jsonl").string();
        journal::Filter newest;
        newest.Port = "COM3";
        newest.Limit = 1;
        const journal::Reading read = journal::Read({journal}, newest);
        QCOMPARE(read.Entries.size(), std::size_t{1});
        const journal::Record& r = read.Entries.front().Data;
        QCOMPARE(r.Command, std::string("program"));
        QCOMPARE(r.Bands, std::vector<int>{2});
        QCOMPARE(r.Configuration.From, journal::Source::File);
        QCOMPARE(r.Result.What, journal::Outcome::Completed);
        std::string recorded, planned;
        for (const journal::SentFrame& frame : r.Frames)
            recorded += frame.Hex;
        for (const printer::PlanStep& step : plan)
            planned += journal::ToHex(step.Frame);
        QCOMPARE(recorded, planned);
    }

    void missingPortFails() {
        const Outcome failed = windows({"restart", "--port", "com7"});
        QCOMPARE(failed.Status, 1);
        QCOMPARE(failed.Err, QByteArray("qrv: COM7: Specified device not found (\\\\.\\COM7).\n"));
    }

    // The printer stops reading after frame "e": the next byte is given up
    // after WriteTimeout (1 s), with the Windows code for a time-out and the
    // system's text for it.
    void printerThatStopsReadingFails() {
        PtyPeer printer;
        linkCom(4, printer);
        QProcess process;
        process.setProcessEnvironment(portugueseEnv);
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
        // The component's message, then where the port stopped.
        QVERIFY2(err.startsWith("qrv: COM4: Write error (121), Tempo limite do semáforo") &&
                     err.contains("\nqrv: COM4: a banda 2 não terminou, parou no passo ") &&
                     err.count('\n') == 2,
                 err.constData());
        // 1 s for the byte, 0.3 s for the close, and wine's own exit.
        QVERIFY2(ms < 4000, qPrintable(QString::number(ms)));
    }
};

QTEST_GUILESS_MAIN(QrvWineTest)
#include "QrvWineTest.moc"
