// qrv through its real binary: what reaches pseudo-terminals standing for
// printers, its exit statuses, and what it prints. The frames themselves are
// pinned by the printer layer's tests; here they only have to be the plan's.
#include "PlanTimeline.h"
#include "PortMapPath.h"
#include "ProgramRun.h"
#include "PtyPeer.h"
#include "Ser2Net.h"
#include "model/Cp1252.h"
#include "printer/Plan.h"
#include "settings/SettingsFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <filesystem>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using Clock = PtyPeer::Clock;
namespace fs = std::filesystem;

namespace {

const QString Golden = QStringLiteral(QRV_SETTINGS_DATA "/programa.snh");

struct Outcome {
    int Status = -1;
    QString Out;
    QString Err;
};

long long msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// A device server that takes each connection and resets it at once, on
// 127.0.0.1 at a port of its choosing.
class ClosingServer {
public:
    ClosingServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 8) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) == 0)
            port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0;) {
                const linger reset{1, 0}; // a reset, as a server that refuses the client
                ::setsockopt(c, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                ::close(c);
            }
        });
    }
    ~ClosingServer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

} // namespace

// Nothing a terminal would act on: no C0 control but the line break, no
// DEL, no C1 character.
bool safeForATerminal(const QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if ((b < 0x20 && b != '\n') || b == 0x7F ||
            (b == 0xC2 && i + 1 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) < 0xA0))
            return false;
    }
    return true;
}

// Runs qrv as the user nobody, with no group, so that permissions bite.
QStringList asNobody(const QStringList& command) {
    return QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups"} + command;
}

class QrvTest : public QObject {
    Q_OBJECT

    QTemporaryDir configHome;

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
        env.insert(QStringLiteral("XDG_STATE_HOME"), configHome.filePath("state"));
        return env;
    }

    fs::path journalPath() const { return home() / "state" / "impressora-qrv" / "journal.jsonl"; }

    // The records of the journal, oldest first, read from the file itself.
    QList<QJsonObject> journalRecords() const {
        QList<QJsonObject> records;
        QFile file(QString::fromStdString(journalPath().string()));
        if (!file.open(QIODevice::ReadOnly))
            return records;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                records << QJsonDocument::fromJson(line).object();
        return records;
    }

    static std::vector<std::vector<uint8_t>> recordedFrames(const QJsonObject& record) {
        std::vector<std::vector<uint8_t>> frames;
        for (const QJsonValue f : record["frames"].toArray()) {
            const QByteArray bytes = QByteArray::fromHex(f["hex"].toString().toLatin1());
            frames.emplace_back(bytes.begin(), bytes.end());
        }
        return frames;
    }

    fs::path home() const { return configHome.path().toStdString(); }

    Outcome qrv(const QStringList& arguments) {
        const ProgramRun run = RunProgram(QStringLiteral(QRV_BINARY), arguments, environment());
        return {run.Status, QString::fromUtf8(run.Out), QString::fromUtf8(run.Err)};
    }

private:
    // Starts "qrv program" of band 2 to `printer` mapped as COM3 and waits
    // (at most 30 s, looking every `lookMs`) until it has `bytes` bytes.
    void startProgramOnCom3(PtyPeer& printer, QProcess& process, std::size_t bytes, int lookMs) {
        printer.MapPort(home(), 3);
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(QRV_BINARY),
                      {"program", Golden, "--band", "2", "--port", "COM3"});
        QVERIFY(process.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (printer.ByteCount() < bytes && waited.elapsed() < 30000)
            QTest::qWait(lookMs);
    }

private slots:
    void programOneBandSendsThePlanWithItsTimeline() {
        PtyPeer printer;
        printer.MapPort(home(), 3);
        const Clock::time_point launched = Clock::now();
        const Outcome run = qrv({"program", Golden, "--band", "2", "--port", "com3"});
        QCOMPARE(run.Status, 0);
        QCOMPARE(run.Err, QString()); // not a terminal: no progress

        const printer::Plan plan = printer::ProgramPlan(windowConfiguration(Golden), 2);
        const std::vector<PtyPeer::Frame> arrived = printer.Frames();
        QCOMPARE(printer.ByteCount(), std::size_t{7 * 28 - 14});
        QVERIFY(framesOf(arrived) == framesOf(plan));
        QCOMPARE(TimelineFault(arrived, plan, launched), QString());
    }

    // Two printers get the band at the same time; a port that does not exist
    // fails alone, names itself and gives the component's message. A path
    // with "%" in it is opened as it is written.
    void portsRunAtOnceAndFailAlone() {
        PtyPeer first;
        PtyPeer second;
        first.MapPort(home(), 4);
        const fs::path percent = home() / "tty%d%s";
        fs::remove(percent);
        fs::create_symlink(second.SlavePath(), percent);
        const Outcome run = qrv({"program", Golden, "--band", "1", "--port", "COM4", "--port",
                                 "/nonexistent/ttyQRV", "--port",
                                 QString::fromStdString(percent.string()), "--quiet"});
        QCOMPARE(run.Status, 1);
        QCOMPARE(run.Err, QStringLiteral("qrv: /nonexistent/ttyQRV: Specified device not found "
                                         "(/nonexistent/ttyQRV).\n"));

        const auto plan = framesOf(printer::ProgramPlan(windowConfiguration(Golden), 1));
        const auto a = first.Frames();
        const auto b = second.Frames();
        QVERIFY(framesOf(a) == plan);
        QVERIFY(framesOf(b) == plan);
        // One after the other, the second would start 3.75 s after the first.
        QVERIFY2(std::abs(msBetween(a.front().FirstByte, b.front().FirstByte)) < 1000,
                 "the two ports did not run at the same time");
    }

    void unusableFileSendsNothing_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral(QRV_SETTINGS_DATA "/falta.snh")
                                 << QStringLiteral("não existe");
        QTest::newRow("a folder") << QStringLiteral(QRV_SETTINGS_DATA)
                                  << QStringLiteral("não é um arquivo comum");
        QTest::newRow("no [Programa]") << QStringLiteral(QRV_SETTINGS_DATA "/outro.snh")
                                       << QStringLiteral("não tem a seção [Programa]");
    }
    void unusableFileSendsNothing() {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        PtyPeer printer;
        printer.MapPort(home(), 5);
        for (const char* command : {"program", "config"}) {
            const Outcome run = qrv({command, file, "--port", "COM5"});
            QCOMPARE(run.Status, 3);
            QVERIFY2(run.Err.contains(file) && run.Err.contains(reason), qPrintable(run.Err));
        }
        QTest::qWait(100);
        QCOMPARE(printer.ByteCount(), std::size_t{0});
    }

    void dryRunPrintsThePlan_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<printer::Plan>("plan");
        const printer::PrinterConfiguration config = windowConfiguration(Golden);
        printer::Plan all;
        for (int band = 1; band <= 4; ++band)
            for (const printer::PlanStep& step : printer::ProgramPlan(config, band))
                all.push_back(step);
        QTest::newRow("program, bands 1 to 4 in turn")
            << QStringList{"program", Golden, "--dry-run"} << all;
        QTest::newRow("program --band 3, a port that is not opened")
            << QStringList{"program",
                           Golden,
                           "--band",
                           "3",
                           "--dry-run",
                           "--port",
                           "/nonexistent/ttyQRV"}
            << printer::ProgramPlan(config, 3);
        QTest::newRow("config") << QStringList{"config", Golden, "--dry-run"}
                                << printer::ConfigPlan(config);
        QTest::newRow("print --band 4")
            << QStringList{"print", "--band", "4", "--dry-run"} << printer::PrintPlan(4);
    }
    void dryRunPrintsThePlan() {
        QFETCH(QStringList, arguments);
        QFETCH(printer::Plan, plan);
        QString expected;
        const std::vector<int> times = printer::StepStartTimes(plan);
        for (std::size_t i = 0; i < plan.size(); ++i) {
            QStringList bytes;
            for (const uint8_t b : plan[i].Frame)
                bytes << QStringLiteral("%1").arg(b, 2, 16, QChar('0')).toUpper();
            expected += QString::number(times[i]) + '\t' + bytes.join(' ') + '\n';
        }
        const Outcome run = qrv(arguments);
        QCOMPARE(run.Status, 0);
        QCOMPARE(run.Out, expected);
    }

    // A script can rebuild the file from the JSON alone.
    void showJsonRoundTrips_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("odd values") << QStringLiteral("programa.snh");
        QTest::newRow("accented lines") << QStringLiteral("acentos.snh");
    }
    void showJsonRoundTrips() {
        QFETCH(QString, name);
        QFile golden(QStringLiteral(QRV_SETTINGS_DATA "/") + name);
        QVERIFY(golden.open(QIODevice::ReadOnly));
        const Outcome run = qrv({"show", "--json", golden.fileName()});
        QCOMPARE(run.Status, 0);
        const QJsonObject json = QJsonDocument::fromJson(run.Out.toUtf8()).object();

        ConfigurationModel m;
        const QJsonArray bands = json["bands"].toArray();
        QCOMPARE(bands.size(), 4);
        for (int b = 1; b <= 4; ++b) {
            const QJsonObject band = bands[b - 1].toObject();
            m.BandStart(b) = band["start"].toInt();
            m.BandEnd(b) = band["end"].toInt();
            for (int l = 1; l <= 4; ++l) {
                const QJsonObject line = band["lines"].toArray()[l - 1].toObject();
                const auto k = static_cast<std::size_t>(ConfigurationModel::LineIndex(b, l));
                const QList<uint> text = line["text"].toString().toUcs4();
                m.BandLineText[k] = cp1252::Encode(std::u32string(text.begin(), text.end()));
                m.LineStyle[k] = line["style"].toInt();
                m.LineEnabled[k] = line["printed"].toBool();
            }
        }
        const QJsonObject o = json["options"].toObject();
        const printer::PrinterOptions options{o["printDate"].toBool(),
                                              o["printTime"].toBool(),
                                              o["printFooter"].toBool(),
                                              printer::ResetPolicy(o["resetAt"].toInt()),
                                              printer::ReloadPolicy(o["reloadAt"].toInt()),
                                              printer::PrinterModel(o["printer"].toInt()),
                                              printer::ProtocolFormat(o["protocol"].toInt()),
                                              static_cast<int16_t>(o["bandCount"].toInt())};
        QCOMPARE(QByteArray::fromStdString(SettingsFile::Format({m, options})), golden.readAll());
    }

    void mapAndUnmap() {
        const fs::path folder = PortMapPath(home());
        fs::remove_all(folder.parent_path());
        struct Step {
            QStringList Arguments;
            int Status;
            const char* LinkAfter; // "" for no entry, "file" for a regular file
        };
        const Step steps[] = {
            {{"unmap", "COM2"}, 0, ""},
            {{"map", "com2", "/dev/ttyUSB7"}, 0, "/dev/ttyUSB7"}, // creates the folder
            {{"map", "COM2", "/dev/ttyUSB8"}, 1, "/dev/ttyUSB7"},
            {{"map", "COM2", "/dev/ttyUSB8", "--force"}, 0, "/dev/ttyUSB8"},
            {{"map", "COM0", "/dev/ttyUSB8"}, 2, "/dev/ttyUSB8"},
            {{"map", "COM2", "rfc2217://10.0.0.5:99999", "--force"}, 2, "/dev/ttyUSB8"},
            {{"map", "COM2", "rfc2217://10.0.0.5:4001", "--force"}, 0, "rfc2217://10.0.0.5:4001"},
            {{"map", "COM2", "tcp://1.2.3.4:5", "--force"}, 2, "rfc2217://10.0.0.5:4001"},
            {{"unmap", "Com2"}, 0, ""},
            {{"unmap", "COM2"}, 0, ""},
        };
        for (const Step& step : steps) {
            const QString what = step.Arguments.join(' ');
            QCOMPARE(qrv(step.Arguments).Status, step.Status);
            const fs::path entry = folder / "COM2";
            if (*step.LinkAfter == 0)
                QVERIFY2(!fs::exists(fs::symlink_status(entry)), qPrintable(what));
            else
                QCOMPARE(QString::fromStdString(fs::read_symlink(entry).string()),
                         QString(step.LinkAfter));
        }

        // A regular file in the folder was put there by hand: never removed.
        QFile(QString::fromStdString((folder / "COM6").string())).open(QIODevice::WriteOnly);
        QCOMPARE(qrv({"unmap", "COM6"}).Status, 1);
        QVERIFY(fs::is_regular_file(folder / "COM6"));
    }

    // Every refusal of the command line names what it refused, in
    // Portuguese, exits 2 and sends nothing. %pty is COM3's pseudo-terminal,
    // %link1 and %link2 two links to it.
    void commandLineRefusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown command")
            << QStringList{"frobnicate"} << QStringLiteral("comando desconhecido \"frobnicate\"");
        QTest::newRow("band not a number")
            << QStringList{"print", "--band", "abc", "--port", "COM3"}
            << QStringLiteral("--band: banda inválida \"abc\": use 1 a 4");
        QTest::newRow("band out of range")
            << QStringList{"program", Golden, "--band", "5", "--port", "COM3"}
            << QStringLiteral("--band: banda inválida \"5\"");
        QTest::newRow("band missing")
            << QStringList{"print", "--port", "COM3"} << QStringLiteral("falta a opção --band");
        QTest::newRow("empty device")
            << QStringList{"map", "COM5", ""} << QStringLiteral("DEVICE: vazio");
        QTest::newRow("map to a bad network port")
            << QStringList{"map", "COM5", "socket://10.0.0.5:0"}
            << QStringLiteral("endereço de rede inválido \"socket://10.0.0.5:0\"");
        QTest::newRow("map to an address of another scheme")
            << QStringList{"map", "COM5", "tcp://1.2.3.4:5"}
            << QStringLiteral("endereço de rede inválido \"tcp://1.2.3.4:5\"");
        QTest::newRow("stall and hang-up")
            << QStringList{"simulate", "COM5", "--stall-after", "1", "--hang-up-after", "2"}
            << QStringLiteral("--stall-after e --hang-up-after não podem ser usadas juntas");
        QTest::newRow("same device: a map entry and its path")
            << QStringList{"print", "--band", "1", "--port", "COM3", "--port", "%pty"}
            << QStringLiteral("COM3 e %pty são o mesmo dispositivo");
        QTest::newRow("same device: two links to it")
            << QStringList{"program", Golden, "--port", "%link1", "--port", "%link2"}
            << QStringLiteral("%link1 e %link2 são o mesmo dispositivo");
    }
    void commandLineRefusals() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        PtyPeer printer;
        printer.MapPort(home(), 3);
        const QString pty = QString::fromStdString(printer.SlavePath());
        const QString link1 = configHome.path() + "/tty1", link2 = configHome.path() + "/tty2";
        QFile::remove(link1);
        QFile::remove(link2);
        QVERIFY(QFile::link(pty, link1) && QFile::link(pty, link2));
        for (QString* text : {&says}) {
            text->replace("%pty", pty).replace("%link1", link1).replace("%link2", link2);
        }
        for (QString& a : arguments)
            a.replace("%pty", pty).replace("%link1", link1).replace("%link2", link2);
        const Outcome run = qrv(arguments);
        QCOMPARE(run.Status, 2);
        QVERIFY2(run.Err.startsWith(QStringLiteral("qrv: linha de comando inválida: ")) &&
                     run.Err.contains(says),
                 qPrintable(run.Err));
        for (const char* english : {"required", "not in range", "Invalid argument", "Exclui"})
            QVERIFY2(!run.Err.contains(QLatin1String(english)), qPrintable(run.Err));
        QTest::qWait(100);
        QCOMPARE(printer.ByteCount(), std::size_t{0});
    }

    // One device server under two names is refused before anything is sent,
    // naming both. %raw is a ser2net raw port in front of the printer, %port
    // its number; COM5 and COM9 are mapped to it.
    void oneServerUnderTwoNames_data() {
        QTest::addColumn<QStringList>("ports");
        QTest::newRow("two map entries") << QStringList{"COM5", "COM9"};
        QTest::newRow("an address and its map entry") << QStringList{"%raw", "COM5"};
        QTest::newRow("localhost and 127.0.0.1") << QStringList{"socket://localhost:%port", "%raw"};
        QTest::newRow("IPv4-mapped IPv6 and IPv4")
            << QStringList{"socket://[::ffff:127.0.0.1]:%port", "%raw"};
        QTest::newRow("rfc2217 and socket") << QStringList{"rfc2217://127.0.0.1:%port", "%raw"};
    }
    void oneServerUnderTwoNames() {
        QFETCH(QStringList, ports);
        PtyPeer printer;
        Ser2Net server({{Ser2Net::Kind::Raw, printer.SlavePath()}});
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const QString raw = server.Address(0);
        const fs::path folder = PortMapPath(home());
        fs::create_directories(folder);
        for (const char* name : {"COM5", "COM9"}) {
            fs::remove(folder / name);
            fs::create_symlink(raw.toStdString(), folder / name);
        }
        QStringList arguments{"print", "--band", "1"};
        for (QString& port : ports) {
            port.replace("%raw", raw).replace("%port", QString::number(server.Port(0)));
            arguments << "--port" << port;
        }
        const Outcome run = qrv(arguments);
        QCOMPARE(run.Status, 2);
        QVERIFY2(run.Err.contains(ports[0] + " e " + ports[1] +
                                  " são o mesmo servidor de portas (" +
                                  "127.0.0.1:" + QString::number(server.Port(0)) + ")"),
                 qPrintable(run.Err));
        QTest::qWait(200);
        QCOMPARE(printer.ByteCount(), std::size_t{0});
    }

    // A device server's failure gets a line in the user's words after the
    // component's message.
    void deviceServerFailureIsSaid_data() {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QString>("says");
        QTest::newRow("closes at once")
            << "rfc2217" << true
            << QStringLiteral("o servidor fechou a conexão logo ao abrir; nada foi enviado");
        QTest::newRow("nothing listens")
            << "socket" << false
            << QStringLiteral("o servidor recusou a conexão: nada atende nessa porta TCP");
    }
    void deviceServerFailureIsSaid() {
        QFETCH(QString, scheme);
        QFETCH(bool, listening);
        QFETCH(QString, says);
        ClosingServer server;
        QVERIFY(server.Port() > 0);
        const QString port = scheme + "://127.0.0.1:" +
                             QString::number(listening ? server.Port() : Ser2Net::FreePort());
        const Outcome run = qrv({"print", "--band", "1", "--port", port});
        QCOMPARE(run.Status, 1);
        const QStringList lines = run.Err.split('\n');
        QVERIFY2(lines.size() == 3 && lines[0].startsWith("qrv: " + port + ": Can't open") &&
                     lines[1].startsWith("qrv: " + port + ": " + says),
                 qPrintable(run.Err));
    }

    // simulate's help gives each option its own line, not "N Exclui: ...".
    void simulateHelpLinesStandApart() {
        const Outcome run = qrv({"simulate", "--help"});
        QCOMPARE(run.Status, 0);
        for (const QString& line : run.Out.split('\n'))
            if (line.contains("--stall-after") && !line.contains("não com"))
                QVERIFY2(line.trimmed().startsWith("--stall-after N ") &&
                             line.indexOf("Depois") > 20,
                         qPrintable(line));
        QVERIFY(!run.Out.contains("Exclui"));
    }

    // Output that cannot be written is a failure, said on standard error.
    void fullOutputFails_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("show --json") << QStringList{"show", "--json", Golden};
        QTest::newRow("show") << QStringList{"show", Golden};
        QTest::newRow("program --dry-run") << QStringList{"program", Golden, "--dry-run"};
        QTest::newRow("ports") << QStringList{"ports"};
        QTest::newRow("map") << QStringList{"map", "COM7", "/dev/ttyUSB7", "--force"};
        QTest::newRow("--help") << QStringList{"--help"};
    }
    void fullOutputFails() {
        QFETCH(QStringList, arguments);
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(QRV_BINARY), arguments);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(QString::fromUtf8(process.readAllStandardError())
                    .endsWith(QStringLiteral("qrv: não foi possível escrever na saída padrão: No "
                                             "space left on device\n")));
    }

    // Control characters of files, file names and port names reach the
    // terminal escaped; JSON keeps them exactly. %odd is a file whose band 1
    // line 1 holds C1 and DEL bytes, %title a copy of the golden file whose
    // name holds a terminal title sequence.
    void controlCharactersAreEscaped_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("onOutput");
        QTest::addColumn<QString>("says");
        QTest::newRow("show: C1 and DEL of a line text")
            << QStringList{"show", "%odd"} << true << QStringLiteral("\"A\\x81\\x7F\\x9DB\"");
        QTest::newRow("show: the file name") << QStringList{"show", "%title"} << true
                                             << QStringLiteral("Arquivo: %dir/a\\x1B]0;x\\x07.snh");
        QTest::newRow("a missing file's name")
            << QStringList{"program", "%dir/\x1b[2J.snh", "--port", "COM3"} << false
            << QStringLiteral("%dir/\\x1B[2J.snh");
        QTest::newRow("a port path")
            << QStringList{"print", "--band", "1", "--port", "/nonexistent/\x1b[2J"} << false
            << QStringLiteral("Specified device not found (/nonexistent/\\x1B[2J).");
        QTest::newRow("a line break in a map entry's target")
            << QStringList{"print", "--band", "1", "--port", "COM8"} << false
            << QStringLiteral("qrv: COM8: Specified device not found (/nonexistent/a\\x0Ab).\n");
        QTest::newRow("a refused port name")
            << QStringList{"print", "--band", "1", "--port", "x\x1b]0;t\x07"} << false
            << QStringLiteral("porta inválida \"x\\x1B]0;t\\x07\"");
    }
    void controlCharactersAreEscaped() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, onOutput);
        QFETCH(QString, says);
        QTemporaryDir dir;
        ConfigurationModel m;
        m.BandLineText[0] = "A\x81\x7F\x9D"
                            "B";
        const QString odd = dir.path() + "/odd.snh";
        QFile file(odd);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(SettingsFile::Format({m, printer::PrinterOptions{}})));
        file.close();
        const fs::path folder = PortMapPath(home());
        fs::create_directories(folder);
        fs::remove(folder / "COM8");
        fs::create_symlink("/nonexistent/a\nb", folder / "COM8");
        const QString title = dir.path() + "/a\x1b]0;x\x07.snh";
        QVERIFY(QFile::copy(Golden, title));
        for (QString& a : arguments)
            a.replace("%odd", odd).replace("%title", title).replace("%dir", dir.path());
        says.replace("%dir", dir.path());

        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(QRV_BINARY), arguments);
        QVERIFY(process.waitForFinished(60000));
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(safeForATerminal(out) && safeForATerminal(err), (out + err).toPercentEncoding());
        QVERIFY2(QString::fromUtf8(onOutput ? out : err).contains(says), (out + err).constData());

        if (arguments.first() == "show") {
            const Outcome json = qrv({"show", "--json", arguments.last()});
            QCOMPARE(json.Status, 0);
            const QJsonObject all = QJsonDocument::fromJson(json.Out.toUtf8()).object();
            QCOMPARE(all["file"].toString(), arguments.last());
            if (arguments.last() == odd)
                QCOMPARE(all["bands"][0]["lines"][0]["text"].toString(),
                         QString::fromUcs4(U"A\u0081\u007F\u009DB"));
        }
    }

    // "ports" says what an entry is when it is not a device; "ports --json"
    // says whether it exists where that can be known without connecting.
    void portsSaysWhatAnEntryIs_data() {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QJsonValue>("exists");
        QTest::addColumn<QJsonValue>("valid"); // of "network"; undefined: no network port
        QTest::newRow("a folder") << "folder" << QStringLiteral("é uma pasta, não um dispositivo")
                                  << QJsonValue(false) << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("a regular file")
            << "file" << QStringLiteral("é um arquivo comum, não um dispositivo")
            << QJsonValue(false) << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("a link to a folder")
            << "link:/tmp" << QStringLiteral("leva a uma pasta, não um dispositivo")
            << QJsonValue(false) << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("a network port")
            << "link:socket://10.0.0.5:4001" << QStringLiteral("porta de rede") << QJsonValue()
            << QJsonValue(true);
        QTest::newRow("a malformed network port")
            << "link:rfc2217://10.0.0.5:99999"
            << QStringLiteral("endereço de rede malformado: não abre") << QJsonValue()
            << QJsonValue(false);
        QTest::newRow("an address of another scheme")
            << "link:tcp://10.0.0.5:4001" << QStringLiteral("endereço de rede malformado: não abre")
            << QJsonValue() << QJsonValue(false);
    }
    void portsSaysWhatAnEntryIs() {
        QFETCH(QString, make);
        QFETCH(QString, state);
        QFETCH(QJsonValue, exists);
        QFETCH(QJsonValue, valid);
        const fs::path folder = PortMapPath(home());
        fs::remove_all(folder);
        fs::create_directories(folder);
        const fs::path entry = folder / "COM7";
        if (make == "folder")
            fs::create_directory(entry);
        else if (make == "file")
            QVERIFY(QFile(QString::fromStdString(entry.string())).open(QIODevice::WriteOnly));
        else
            fs::create_symlink(make.mid(5).toStdString(), entry);
        const Outcome run = qrv({"ports"});
        QCOMPARE(run.Status, 0);
        QString line;
        for (const QString& l : run.Out.split('\n'))
            if (l.startsWith("Com7 "))
                line = l;
        QVERIFY2(line.contains(QStringLiteral("  ") + state), qPrintable(line));

        const Outcome json = qrv({"ports", "--json"});
        QCOMPARE(json.Status, 0);
        for (const QJsonValue port : QJsonDocument::fromJson(json.Out.toUtf8())["ports"].toArray())
            if (port["name"] == "COM7") {
                QCOMPARE(port["exists"], exists);
                QCOMPARE(port["network"]["valid"], valid);
            }
    }

    // A port map folder that cannot be made says why.
    void mapFolderThatCannotBeMade_data() {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("says");
        QTest::newRow("a dangling link")
            << "link" << QStringLiteral("%folder é um link para /nonexistent/qrv, que não existe");
        QTest::newRow("a regular file") << "file" << QStringLiteral("%folder não é uma pasta");
    }
    void mapFolderThatCannotBeMade() {
        QFETCH(QString, make);
        QFETCH(QString, says);
        const fs::path folder = PortMapPath(home());
        fs::remove_all(folder);
        if (make == "link")
            fs::create_symlink("/nonexistent/qrv", folder);
        else
            QVERIFY(QFile(QString::fromStdString(folder.string())).open(QIODevice::WriteOnly));
        says.replace("%folder", QString::fromStdString(folder.string()));
        for (const QStringList& command :
             {QStringList{"map", "COM4", "/dev/ttyUSB4"}, QStringList{"simulate", "COM4"}}) {
            const Outcome run = qrv(command);
            QCOMPARE(run.Status, 1);
            QVERIFY2(run.Err.contains(says), qPrintable(run.Err));
            QVERIFY(!run.Err.contains("File exists"));
        }
        fs::remove(folder);
    }

    // What escapes a command is one message and status 1, never an abort:
    // here the threads that cannot be made for lack of processes.
    void escapingErrorIsOneMessage() {
        const ProgramRun run =
            RunProgram("setpriv", asNobody({"prlimit", "--nproc=1", QRV_BINARY, "print", "--band",
                                            "1", "--port", "/dev/null"}));
        QCOMPARE(run.Status, 1);
        QCOMPARE(QString::fromUtf8(run.Err),
                 QStringLiteral("qrv: Resource temporarily unavailable\n"));
    }

    // A denied device says who may open it. Joining the group is advised
    // only for a group that may read and write the device and is not root's.
    void deniedPortSaysWhoMayOpenIt_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("says");
        QTest::newRow("group dialout may")
            << "dialout" << 0660
            << QStringLiteral("o usuário nobody não está no grupo dialout, dono de %dev; corrija "
                              "com: sudo usermod -aG dialout nobody");
        QTest::newRow("owner only, 0600")
            << "dialout" << 0600
            << QStringLiteral("só o dono de %dev (root) pode abrir o dispositivo; um "
                              "administrador pode dar o dispositivo a um grupo");
        QTest::newRow("group may only read")
            << "dialout" << 0640 << QStringLiteral("só o dono de %dev (root) pode abrir");
        QTest::newRow("group root")
            << "root" << 0660
            << QStringLiteral("só o dono (root) e o grupo root podem abrir %dev (entrar no "
                              "grupo root");
    }
    void deniedPortSaysWhoMayOpenIt() {
        QFETCH(QString, group);
        QFETCH(int, mode);
        QFETCH(QString, says);
        PtyPeer printer;
        const ::group* owner = ::getgrnam(group.toUtf8().constData());
        QVERIFY(owner);
        const std::string device = printer.SlavePath();
        QCOMPARE(::chown(device.c_str(), 0, owner->gr_gid), 0);
        QCOMPARE(::chmod(device.c_str(), static_cast<mode_t>(mode)), 0);
        const ProgramRun run =
            RunProgram("setpriv", asNobody({QRV_BINARY, "print", "--band", "1", "--port",
                                            QString::fromStdString(device)}));
        QCOMPARE(run.Status, 1);
        const QString err = QString::fromUtf8(run.Err);
        says.replace("%dev", QString::fromStdString(device));
        QVERIFY2(err.contains("(Error 13, Permission denied)") && err.contains(says),
                 qPrintable(err));
        if (says.contains("usermod"))
            QCOMPARE(err.count("usermod"), 1);
        else
            QVERIFY2(!err.contains("usermod"), qPrintable(err));
        QCOMPARE(printer.ByteCount(), std::size_t{0});
    }

    // A busy port names the process that holds it.
    void busyPortNamesItsHolder() {
        PtyPeer printer;
        QProcess holder;
        holder.start("flock", {QString::fromStdString(printer.SlavePath()), "sleep", "60"});
        QVERIFY(holder.waitForStarted());
        const QString pid = QString::number(holder.processId());
        // flock takes the lock just after it starts.
        Outcome run;
        for (int tries = 0; tries < 100; ++tries) {
            run = qrv(
                {"print", "--band", "1", "--port", QString::fromStdString(printer.SlavePath())});
            if (run.Status != 0)
                break;
            QTest::qWait(100);
        }
        holder.kill();
        holder.waitForFinished();
        QCOMPARE(run.Status, 1);
        // The line names the device once: it is the port's own name.
        const QString device = QString::fromStdString(printer.SlavePath());
        QVERIFY2(
            run.Err.contains("(Error 11, Resource temporarily unavailable)") &&
                run.Err.contains("qrv: " + device + QStringLiteral(": a porta está aberta por ")) &&
                run.Err.contains("processo " + pid + " (flock)") &&
                !run.Err.contains(device + ": " + device),
            qPrintable(run.Err));
    }

    // An interrupted "program" says, per port, what was cut off, and ends as
    // the signal ends a program. Once the last frame is out (the step timer
    // still runs 500 ms) nothing was cut.
    void interruptedProgramSaysWhatWasCutOff_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("afterLastFrame");
        QTest::addColumn<QString>("says");
        const QString cut =
            QStringLiteral("qrv: COM3: interrompida: a banda 2 não terminou, parou ");
        QTest::newRow("SIGINT mid-plan") << SIGINT << false << cut;
        QTest::newRow("SIGTERM mid-plan") << SIGTERM << false << cut;
        QTest::newRow("SIGINT after the last frame")
            << SIGINT << true << QStringLiteral("qrv: COM3: tudo enviado antes da interrupção\n");
    }
    void interruptedProgramSaysWhatWasCutOff() {
        QFETCH(int, signal);
        QFETCH(bool, afterLastFrame);
        QFETCH(QString, says);
        const std::size_t all = 7 * 28 - 14;
        PtyPeer printer;
        QProcess process;
        const std::size_t awaited = afterLastFrame ? all : 1;
        startProgramOnCom3(printer, process, awaited, afterLastFrame ? 5 : 20);
        QVERIFY(printer.ByteCount() >= awaited);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        QCOMPARE(process.exitCode(), signal);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(err.startsWith(says) && err.count('\n') == 1, qPrintable(err));
        if (afterLastFrame)
            QCOMPARE(printer.ByteCount(), all);
        else
            QVERIFY2(err.contains(" de 7 (") && printer.ByteCount() < all, qPrintable(err));
    }

    // A port that fails mid-plan says at which band and step it stopped.
    void failedPortSaysWhereItStopped() {
        PtyPeer printer;
        QProcess process;
        startProgramOnCom3(printer, process, 1, 20);
        printer.HangUp();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        const QStringList lines = QString::fromUtf8(process.readAllStandardError()).split('\n');
        QVERIFY2(
            lines.size() == 3 && lines[0].startsWith("qrv: COM3: Write error") &&
                lines[1].startsWith(QStringLiteral("qrv: COM3: a banda 2 não terminou, parou no "
                                                   "passo ")) &&
                lines[1].contains(" de 7 ("),
            qPrintable(lines.join('\n')));
    }

    // Each port of a send leaves its record when the command ends, read
    // back from the file: three printers at once, one cut off by a signal,
    // one that hangs up mid-plan.
    void journalRecordsEachPort_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("three ports at once") << "three";
        QTest::newRow("interrupted") << "interrupted";
        QTest::newRow("failed on a hang-up") << "hang-up";
    }
    void journalRecordsEachPort() {
        QFETCH(QString, how);
        fs::remove(journalPath());
        const auto plan = framesOf(printer::ProgramPlan(windowConfiguration(Golden), 2));
        if (how == "three") {
            PtyPeer a, b, c;
            a.MapPort(home(), 4);
            b.MapPort(home(), 5);
            const Outcome run = qrv({"program", Golden, "--band", "2", "--port", "COM4", "--port",
                                     "COM5", "--port", QString::fromStdString(c.SlavePath())});
            QCOMPARE(run.Status, 0);
            const QList<QJsonObject> records = journalRecords();
            QCOMPARE(records.size(), 3);
            QStringList named;
            for (const QJsonObject& r : records) {
                named << r["port"]["named"].toString();
                QCOMPARE(r["command"].toString(), QStringLiteral("program"));
                QCOMPARE(r["bands"].toArray(), QJsonArray{2});
                QCOMPARE(r["outcome"]["result"].toString(), QStringLiteral("completed"));
                QCOMPARE(r["configuration"]["path"].toString(), Golden);
                QVERIFY(recordedFrames(r) == plan);
                const QJsonArray frames = r["frames"].toArray();
                QVERIFY(frames[6]["at"].toInt() >= 2750 && frames[6]["at"].toInt() < 10000);
            }
            named.sort();
            QStringList ports{"COM4", "COM5", QString::fromStdString(c.SlavePath())};
            ports.sort();
            QCOMPARE(named, ports);
            QCOMPARE(records[0]["port"]["device"].toString().isEmpty(), false);
            return;
        }
        PtyPeer printer;
        QProcess process;
        startProgramOnCom3(printer, process, 1, 20);
        if (how == "interrupted")
            ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        else
            printer.HangUp();
        QVERIFY(process.waitForFinished(30000));
        const std::vector<uint8_t> arrived = printer.Bytes();
        const QList<QJsonObject> records = journalRecords();
        QCOMPARE(records.size(), 1);
        const QJsonObject outcome = records[0]["outcome"].toObject();
        QCOMPARE(outcome["result"].toString(),
                 how == "interrupted" ? QStringLiteral("interrupted") : QStringLiteral("failed"));
        QCOMPARE(outcome["steps"].toInt(), 7);
        QVERIFY(outcome["step"].toInt() >= 1 && outcome["step"].toInt() < 7);
        QCOMPARE(records[0]["frames"].toArray().size(), outcome["step"].toInt());
        if (how == "hang-up")
            QVERIFY2(outcome["error"].toString().startsWith("Write error"),
                     qPrintable(outcome["error"].toString()));
        // What it recorded is what the printer got, in order.
        std::vector<uint8_t> recorded;
        for (const auto& frame : recordedFrames(records[0]))
            recorded.insert(recorded.end(), frame.begin(), frame.end());
        if (how == "interrupted")
            QVERIFY(std::equal(arrived.begin(), arrived.end(), recorded.begin()));
        else
            QVERIFY(recorded.size() >= arrived.size() &&
                    std::equal(arrived.begin(), arrived.end(), recorded.begin()));
    }

    // A journal that cannot be written changes neither the frames nor the
    // exit status: one warning line.
    void unwritableJournalChangesNothing_data() {
        QTest::addColumn<QString>("inTheWay");
        QTest::newRow("a folder in the file's place") << "journal.jsonl";
        QTest::newRow("a file in the folder's place") << "";
    }
    void unwritableJournalChangesNothing() {
        QFETCH(QString, inTheWay);
        const fs::path folder = journalPath().parent_path();
        fs::remove_all(folder);
        if (inTheWay.isEmpty()) {
            fs::create_directories(folder.parent_path());
            QFile file(QString::fromStdString(folder.string()));
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            fs::create_directories(folder / inTheWay.toStdString());
        }
        PtyPeer printer;
        printer.MapPort(home(), 3);
        const Outcome run = qrv({"program", Golden, "--band", "3", "--port", "COM3"});
        fs::remove_all(folder);
        QCOMPARE(run.Status, 0);
        QVERIFY2(run.Err.startsWith(QStringLiteral("qrv: aviso: histórico não gravado: ")) &&
                     run.Err.count('\n') == 1,
                 qPrintable(run.Err));
        QVERIFY(framesOf(printer.Frames()) ==
                framesOf(printer::ProgramPlan(windowConfiguration(Golden), 3)));
    }

    // history lists the send, show decodes it, export writes a file whose
    // dry run is the recorded frames byte for byte: from the recorded file
    // while it is unchanged, from the window's defaults once it changed.
    void historyShowAndExport() {
        fs::remove(journalPath());
        const QString file = configHome.filePath("centro.snh");
        QFile::remove(file);
        QVERIFY(QFile::copy(Golden, file));
        PtyPeer printer;
        printer.MapPort(home(), 3);
        QCOMPARE(qrv({"program", file, "--band", "2", "--port", "COM3"}).Status, 0);
        QCOMPARE(qrv({"program", file, "--band", "2", "--port", "COM3", "--dry-run"}).Status, 0);
        QCOMPARE(qrv({"clock", "--port", "COM3"}).Status, 0);
        QCOMPARE(journalRecords().size(), 2);

        const Outcome list = qrv({"history"});
        QCOMPARE(list.Status, 0);
        const QStringList lines = list.Out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(" COM3 ") && lines[0].contains(" clock "), qPrintable(list.Out));
        QVERIFY2(lines[1].contains(" program ") && lines[1].contains("banda 2") &&
                     lines[1].contains(QStringLiteral("concluído")) && lines[1].endsWith(file),
                 qPrintable(list.Out));
        const QString id = lines[1].left(8);
        const Outcome byDevice =
            qrv({"history", "--port", QString::fromStdString(printer.SlavePath()), "--json"});
        QCOMPARE(byDevice.Out.count('\n'), 2);
        QCOMPARE(qrv({"history", "--limit", "1"}).Out.count('\n'), 1);

        const Outcome show = qrv({"history", "show", id});
        QCOMPARE(show.Status, 0);
        QVERIFY2(show.Out.contains("Banda 2   Inicio Banda: ") &&
                     show.Out.contains(QStringLiteral("  Linha 4  \"* BANDA 2 LINHA  4 *\"")) &&
                     show.Out.contains(QStringLiteral("Número de Bandas: ")),
                 qPrintable(show.Out));
        const Outcome clock = qrv({"history", "show", lines[0].left(8)});
        QVERIFY2(clock.Out.contains(QStringLiteral("Relógio acertado para ")),
                 qPrintable(clock.Out));

        const auto recorded = recordedFrames(journalRecords()[0]);
        for (const bool changed : {false, true}) {
            if (changed) {
                QFile f(file);
                QVERIFY(f.open(QIODevice::Append));
                f.write("; outra\r\n");
            }
            const QString exported = configHome.filePath(changed ? "b.snh" : "a.snh");
            QFile::remove(exported);
            const Outcome out = qrv({"history", "export", id, exported});
            QCOMPARE(out.Status, 0);
            QVERIFY2(out.Out.contains(changed ? QStringLiteral("valores padrão da janela")
                                              : QStringLiteral("não mudou desde o envio")),
                     qPrintable(out.Out));
            const Outcome dry = qrv({"program", exported, "--band", "2", "--dry-run"});
            std::vector<std::vector<uint8_t>> again;
            for (const QString& line : dry.Out.split('\n', Qt::SkipEmptyParts)) {
                const QByteArray bytes =
                    QByteArray::fromHex(line.section('\t', 1).remove(' ').toLatin1());
                again.emplace_back(bytes.begin(), bytes.end());
            }
            QVERIFY(again == recorded);
        }
        const Outcome refused = qrv({"history", "export", id, file});
        QCOMPARE(refused.Status, 2);
        QVERIFY2(refused.Err.contains(QStringLiteral("já existe")), qPrintable(refused.Err));
        QCOMPARE(qrv({"history", "show", "ffffffff"}).Status, 2);
    }
};

QTEST_GUILESS_MAIN(QrvTest)
#include "QrvTest.moc"
