// "qrv simulate" through the real binaries: qrv sends to the virtual printer
// by its port name, the printer's JSON lines say what arrived. The decoder
// and the printer's memory have their own tables; here only the way through.
#include "ProgramRun.h"
#include "PtyPeer.h"
#include "model/Cp1252.h"
#include "printer/Plan.h"
#include "settings/SettingsFile.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const QString Golden = QStringLiteral(QRV_SETTINGS_DATA "/programa.snh");

struct Outcome {
    int Status = -1;
    QString Err;
    QString Out;
};

QProcessEnvironment environmentWith(const QString& configHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    return env;
}

QString hex(const std::vector<uint8_t>& bytes) {
    QStringList pairs;
    for (const uint8_t b : bytes)
        pairs << QStringLiteral("%1").arg(b, 2, 16, QChar('0')).toUpper();
    return pairs.join(' ');
}

QList<QJsonObject> only(const QList<QJsonObject>& events, const char* kind) {
    QList<QJsonObject> chosen;
    for (const QJsonObject& e : events)
        if (e["event"].toString() == QLatin1String(kind))
            chosen << e;
    return chosen;
}

// "qrv simulate COM3 --json ..." in the background.
class Simulator {
public:
    Simulator(const QString& configHome, const QStringList& options,
              const QString& port = QStringLiteral("COM3")) {
        process.setProcessEnvironment(environmentWith(configHome));
        process.start(QStringLiteral(QRV_BINARY),
                      QStringList{"simulate", port, "--json"} + options);
    }
    ~Simulator() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    // True once the printer says it listens.
    bool Listening() {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            take();
            if (!only(events, "listening").isEmpty())
                return true;
            if (!process.waitForReadyRead(500) && process.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }
    // Waits until `count` events of `kind` were said; false after a generous limit.
    bool WaitFor(const char* kind, int count) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000) {
            take();
            if (only(events, kind).size() >= count)
                return true;
            process.waitForReadyRead(200);
        }
        return false;
    }
    // SIGTERM, as the system stops it; every event of the run.
    QList<QJsonObject> Stop() {
        process.terminate();
        return Finished();
    }
    // SIGKILL: nothing of the run is undone.
    void Kill() {
        process.kill();
        process.waitForFinished();
    }
    // The pseudo-terminal it listens on.
    QString Device() { return only(events, "listening").value(0)["device"].toString(); }
    QList<QJsonObject> Finished() {
        if (!process.waitForFinished(10000))
            process.kill();
        take();
        return events;
    }
    int Status() const {
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString Err() { return QString::fromUtf8(process.readAllStandardError()); }

private:
    void take() {
        while (process.canReadLine())
            events << QJsonDocument::fromJson(process.readLine()).object();
    }

    QProcess process;
    QList<QJsonObject> events;
};

} // namespace

class SimulateTest : public QObject {
    Q_OBJECT

    QTemporaryDir configHome;

    fs::path entry() const {
        return fs::path(configHome.path().toStdString()) / "impressora-qrv" / "ports" / "COM3";
    }
    bool entryGone() const { return !fs::exists(fs::symlink_status(entry())); }

    Outcome qrv(const QStringList& arguments) {
        const ProgramRun run = RunProgram(QStringLiteral(QRV_BINARY), arguments,
                                          environmentWith(configHome.path()), 60000);
        return {run.Status, QString::fromUtf8(run.Err), QString::fromUtf8(run.Out)};
    }

private slots:
    void init() { fs::remove_all(entry().parent_path()); }

    // The seven frames of "Programar", decoded: the texts read as the file
    // holds them, the styles as the window sends them.
    void programOneBand() {
        Simulator printer(configHome.path(), {});
        QVERIFY(printer.Listening());
        QCOMPARE(qrv({"program", Golden, "--band", "1", "--port", "COM3"}).Status, 0);
        const QList<QJsonObject> events = printer.Stop();
        QCOMPARE(printer.Status(), 0);
        QVERIFY(entryGone());
        QCOMPARE(only(events, "error").size(), 0);

        const printer::PrinterConfiguration config =
            printer::AsWindowHolds(SettingsFile::Read(SettingsFile::Load(Golden.toStdString())));
        const printer::Plan plan = printer::ProgramPlan(config, 1);
        const QList<QJsonObject> frames = only(events, "frame");
        QCOMPARE(frames.size(), 7);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(frames[i]["bytes"].toString(), hex(plan[static_cast<std::size_t>(i)].Frame));
        QCOMPARE(frames[0]["command"].toString(), QStringLiteral("e"));
        for (int line = 1; line <= 4; ++line) {
            const QJsonObject& f = frames[line];
            const auto k = static_cast<std::size_t>(ConfigurationModel::LineIndex(1, line));
            // The wire pads with blanks: trailing ones cannot come back.
            std::string sent = config.Model.BandLineText[k];
            sent.erase(sent.find_last_not_of(' ') + 1);
            const std::u32string text = cp1252::Decode(sent);
            QCOMPARE(f["id"].toInt(), line);
            QCOMPARE(f["text"].toString(),
                     QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size())));
            QCOMPARE(f["style"].toInt(),
                     config.Model.LineEnabled[k] ? config.Model.LineStyle[k] & 0xFF : 0);
        }
        for (int i = 5; i < 7; ++i) {
            const QJsonObject& f = frames[i];
            QCOMPARE(f["id"].toInt(), 12 + i);
            QCOMPARE(f["optionBits"].toInt(), static_cast<int>(config.Options.OptionBits()));
            QCOMPARE(f["bandCount"].toInt(), static_cast<int>(config.Options.BandCount));
            const int first = i == 5 ? 1 : 3;
            for (int b = 0; b < 2; ++b) {
                const QJsonObject range = f["ranges"][b].toObject();
                QCOMPARE(range["start"].toInt(),
                         std::clamp(config.Model.BandStart(first + b), -999, 9999));
                QCOMPARE(range["end"].toInt(),
                         std::clamp(config.Model.BandEnd(first + b), -999, 9999));
            }
        }
    }

    // Each qrv opens and closes the port; the printer counts on.
    // A sender on a line the printer does not use: the printer says so when
    // the line changes, and marks the frames that came over it.
    void framesShowTheLineTheyCameOver() {
        Simulator printer(configHome.path(), {});
        QVERIFY(printer.Listening());
        const int fd = ::open(printer.Device().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        // "Imprime relatório", one frame.
        const std::vector<uint8_t> frame{0x02, 0x30, 0x66, 0x30, 0x30, 0x30, 0x30,
                                         0x30, 0x30, 0x30, 0x30, 0x30, 0x0D, 0xAB};
        struct Step {
            speed_t Speed;
            tcflag_t Framing;
        };
        const Step steps[] = {{B115200, CS8}, {B115200, CS8}, {B9600, CS8 | CSTOPB}};
        int sent = 0;
        for (const Step& step : steps) {
            termios line{};
            QCOMPARE(::tcgetattr(fd, &line), 0);
            ::cfmakeraw(&line);
            line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
            line.c_cflag |= step.Framing;
            ::cfsetospeed(&line, step.Speed);
            ::cfsetispeed(&line, step.Speed);
            QCOMPARE(::tcsetattr(fd, TCSANOW, &line), 0);
            QCOMPARE(::write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
            QVERIFY(printer.WaitFor("frame", ++sent));
        }
        ::close(fd);
        const QList<QJsonObject> events = printer.Stop();
        const QList<QJsonObject> lines = only(events, "line");
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0]["speed"].toInt(), 115200);
        QCOMPARE(lines[0]["dataBits"].toInt(), 8);
        QCOMPARE(lines[0]["parity"].toString(), QStringLiteral("N"));
        QCOMPARE(lines[0]["stopBits"].toInt(), 1);
        QCOMPARE(lines[0]["ok"].toBool(), false);
        QCOMPARE(lines[1]["speed"].toInt(), 9600);
        QCOMPARE(lines[1]["stopBits"].toInt(), 2);
        QCOMPARE(lines[1]["ok"].toBool(), true);
        const QList<QJsonObject> frames = only(events, "frame");
        QCOMPARE(frames.size(), 3);
        const char* const expected[] = {"115200 8N1", "115200 8N1", "9600 8N2"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(frames[i]["serialLine"].toString(), QString(expected[i]));
            QCOMPARE(frames[i]["lineOk"].toBool(), i == 2);
        }
    }

    void printTwiceGivesConsecutiveNumbers() {
        Simulator printer(configHome.path(), {});
        QVERIFY(printer.Listening());
        QCOMPARE(qrv({"config", Golden, "--port", "COM3"}).Status, 0);
        QCOMPARE(qrv({"print", "--band", "2", "--port", "COM3"}).Status, 0);
        QCOMPARE(qrv({"print", "--band", "2", "--port", "COM3"}).Status, 0);
        const QList<QJsonObject> tickets = only(printer.Stop(), "ticket");
        QCOMPARE(tickets.size(), 2);
        QCOMPARE(tickets[0]["band"].toInt(), 2);
        QCOMPARE(tickets[0]["number"].toInt(), 1000); // band 2's start in the file
        QCOMPARE(tickets[1]["number"].toInt(), 1001);
    }

    void faultsMakeTheSenderFail_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("message");
        QTest::newRow("a full buffer") << QStringLiteral("--stall-after")
                                       << QStringLiteral("Write error (110), Connection timed out");
        QTest::newRow("a pulled cable") << QStringLiteral("--hang-up-after")
                                        << QStringLiteral("Write error (5), Input/output error");
    }
    void faultsMakeTheSenderFail() {
        QFETCH(QString, option);
        QFETCH(QString, message);
        Simulator printer(configHome.path(), {option, "1"});
        QVERIFY(printer.Listening());
        QElapsedTimer sending;
        sending.start();
        const Outcome run = qrv({"program", Golden, "--band", "1", "--port", "COM3"});
        // "e" and a second of write limit for the first line; without the
        // fault the band takes 3.75 s and succeeds.
        QVERIFY2(sending.elapsed() < 3500, qPrintable(QString::number(sending.elapsed())));
        QCOMPARE(run.Status, 1);
        QCOMPARE(run.Err,
                 "qrv: COM3: " + message +
                     QStringLiteral("\nqrv: COM3: a banda 1 não terminou, parou no passo 2 "
                                    "de 7 (linha 1)\n"));

        QList<QJsonObject> events;
        if (option == QLatin1String("--stall-after")) {
            // The line stays full for the next sender, whose close emptied it.
            const Outcome again = qrv({"print", "--band", "1", "--port", "COM3"});
            QCOMPARE(again.Status, 1);
            QCOMPARE(again.Err.section('\n', 0, 0), run.Err.section('\n', 0, 0));
            events = printer.Stop();
        } else {
            events = printer.Finished(); // it leaves by itself
        }
        QCOMPARE(printer.Status(), 0);
        QVERIFY(entryGone());
        QCOMPARE(only(events, "frame").size(), 1);
    }

    // A COM3 mapped by hand is refused, or with --force put back at the end.
    void existingEntryIsKept() {
        fs::create_directories(entry().parent_path());
        fs::create_symlink("/dev/ttyUSB9", entry());

        Simulator refused(configHome.path(), {});
        QVERIFY(!refused.Listening());
        QCOMPARE(refused.Status(), 1);
        QVERIFY2(refused.Err().contains(QStringLiteral("COM3 já está no mapa de portas")),
                 "no reason given");
        QCOMPARE(fs::read_symlink(entry()).string(), std::string("/dev/ttyUSB9"));

        Simulator forced(configHome.path(), {"--force"});
        QVERIFY(forced.Listening());
        QVERIFY(fs::read_symlink(entry()).string().starts_with("/dev/pts/"));
        forced.Stop();
        QCOMPARE(forced.Status(), 0);
        QCOMPARE(fs::read_symlink(entry()).string(), std::string("/dev/ttyUSB9"));
        QCOMPARE(
            std::distance(fs::directory_iterator(entry().parent_path()), fs::directory_iterator()),
            1);
    }

    // A printer killed with SIGKILL leaves its link to a pseudo-terminal that
    // the next printer may be given. No sender reaches it through the dead
    // printer's name; the next command that touches the map mends it, and
    // what --force kept aside comes back.
    void killedPrinterLeavesNothingToSendTo_data() {
        QTest::addColumn<QStringList>("mender");
        QTest::addColumn<int>("menderStatus");
        QTest::addColumn<QString>("linkAfter");
        QTest::newRow("ports") << QStringList{"ports"} << 0 << "/dev/ttyUSB9";
        QTest::newRow("map, refused as COM3 is the user's again")
            << QStringList{"map", "COM3", "/dev/ttyUSB8"} << 1 << "/dev/ttyUSB9";
        QTest::newRow("unmap") << QStringList{"unmap", "COM3"} << 0 << "";
        QTest::newRow("simulate, refused as COM3 is the user's again")
            << QStringList{"simulate", "COM3"} << 1 << "/dev/ttyUSB9";
    }
    void killedPrinterLeavesNothingToSendTo() {
        QFETCH(QStringList, mender);
        QFETCH(int, menderStatus);
        QFETCH(QString, linkAfter);
        fs::create_directories(entry().parent_path());
        fs::create_symlink("/dev/ttyUSB9", entry());
        QString device;
        {
            Simulator killed(configHome.path(), {"--force"});
            QVERIFY(killed.Listening());
            device = killed.Device();
            killed.Kill();
        }
        QCOMPARE(QString::fromStdString(fs::read_symlink(entry()).string()), device);

        // The pseudo-terminal's number is free again: the next one opened
        // usually gets it (the machine may give it to another program).
        PtyPeer other;
        const Outcome sent = qrv({"print", "--band", "1", "--port", "COM3"});
        QCOMPARE(sent.Status, 1);
        QVERIFY2(sent.Err.contains("was left by a virtual printer that has ended") &&
                     sent.Err.contains(QStringLiteral("nada foi enviado")),
                 qPrintable(sent.Err));
        QCOMPARE(QString::fromStdString(fs::read_symlink(entry()).string()), device);

        const Outcome mended = qrv(mender);
        QCOMPARE(mended.Status, menderStatus);
        if (mender.first() == "ports") // it names the entry as such before mending it
            QVERIFY2(mended.Out.contains("Com3   " + device +
                                         QStringLiteral(" (mapeada)  de uma impressora virtual "
                                                        "que terminou")),
                     qPrintable(mended.Out));
        QVERIFY2(mended.Err.contains(QStringLiteral("COM3 era de uma impressora virtual que "
                                                    "terminou: o link para ") +
                                     device),
                 qPrintable(mended.Err));
        const bool linked = fs::is_symlink(fs::symlink_status(entry()));
        QCOMPARE(linked ? QString::fromStdString(fs::read_symlink(entry()).string()) : QString(),
                 linkAfter);
        QVERIFY(!fs::exists(entry().parent_path() / ".COM3.guardado"));
        QVERIFY(!fs::exists(entry().parent_path() / ".COM3.simulador"));

        QTest::qWait(100);
        QCOMPARE(other.ByteCount(), std::size_t{0});
    }

    // The next printer mends the dead one's entry as it starts, so a sender
    // to the dead one's name never reaches it, even on the same
    // pseudo-terminal.
    void nextPrinterMendsTheDeadOnesEntry() {
        fs::create_directories(entry().parent_path());
        fs::create_symlink("/dev/ttyUSB9", entry());
        {
            Simulator killed(configHome.path(), {"--force"});
            QVERIFY(killed.Listening());
            killed.Kill();
        }
        Simulator next(configHome.path(), {}, QStringLiteral("COM6"));
        QVERIFY(next.Listening());
        QCOMPARE(fs::read_symlink(entry()).string(), std::string("/dev/ttyUSB9"));
        const Outcome sent = qrv({"print", "--band", "1", "--port", "COM3"});
        QCOMPARE(sent.Status, 1);
        QCOMPARE(sent.Err,
                 QStringLiteral("qrv: COM3: Specified device not found (/dev/ttyUSB9).\n"));
        QCOMPARE(only(next.Stop(), "frame").size(), 0);
        QVERIFY(
            next.Err().contains(QStringLiteral("COM3 era de uma impressora virtual que terminou")));
    }

    // A full output ends the printer with its reason, not as a closed one.
    void fullOutputIsSaidAsSuch() {
        QProcess process;
        process.setProcessEnvironment(environmentWith(configHome.path()));
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(QRV_BINARY), {"simulate", "COM3"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 QStringLiteral("qrv: não foi possível escrever na saída padrão (No space left on "
                                "device); impressora virtual encerrada.\n"));
        QVERIFY(entryGone());
    }
};

QTEST_GUILESS_MAIN(SimulateTest)
#include "SimulateTest.moc"
