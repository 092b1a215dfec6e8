// Network ports against a real device server: ser2net on 127.0.0.1 in front
// of pseudo-terminals that stand for printers. qrv sends as a technician
// would; the component is driven directly where a test needs more bytes
// than a plan holds.
#include "PlanTimeline.h"
#include "ProgramRun.h"
#include "PtyPeer.h"
#include "Ser2Net.h"
#include "Sredird.h"
#include "model/ConfigurationModel.h"
#include "printer/Plan.h"
#include "serial/PrinterLine.h"
#include "serial/VaComm.h"
#include "serial/net/NetworkAddress.h"
#include "settings/SettingsFile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using Clock = PtyPeer::Clock;

namespace {

const QString Golden = QStringLiteral(QRV_SETTINGS_DATA "/programa.snh");

// Waits, with generous slack, until `done` holds; false when it never did.
template <typename Done> bool waitUntil(Done done, int limitMs = 30000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool is9600Eight2None(const termios& t) {
    return cfgetospeed(&t) == B9600 && (t.c_cflag & CSIZE) == CS8 && (t.c_cflag & CSTOPB) &&
           !(t.c_cflag & PARENB) && !(t.c_cflag & CRTSCTS);
}

bool is115200Eight1None(const termios& t) {
    return cfgetospeed(&t) == B115200 && (t.c_cflag & CSIZE) == CS8 && !(t.c_cflag & CSTOPB) &&
           !(t.c_cflag & PARENB);
}

// A listening socket on 127.0.0.1 at a port of the system's choice, written
// to `address`; -1 when one cannot be had.
int ListenOnLoopback(int backlog, sockaddr_in& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A port on 127.0.0.1 whose listener never accepts and whose queue of
// connections is full, so the kernel drops every further connection
// request unanswered, as a switched-off server does.
class SilentPort {
public:
    SilentPort() {
        sockaddr_in a{};
        listener_ = ListenOnLoopback(0, a);
        if (listener_ < 0)
            return;
        // The queue of a backlog of 0 holds one connection: fill it.
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~SilentPort() {
        ::close(filler_);
        ::close(listener_);
    }
    int Port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    int port_ = 0;
};

// An RFC 2217 server of one connection on 127.0.0.1 that takes the com port
// option and answers the line settings with `answers` once the client has
// asked for all four (nothing: it never answers them).
class ScriptedServer {
public:
    explicit ScriptedServer(QByteArray answers) : answers_(std::move(answers)) {
        sockaddr_in a{};
        listener_ = ListenOnLoopback(1, a);
        if (listener_ < 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }

private:
    // Waits for fd in steps, so that the destructor ends the thread.
    bool readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        while (!stop_)
            if (::poll(&p, 1, 50) > 0)
                return true;
        return false;
    }
    void serve() {
        if (!readable(listener_))
            return;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const char doComPort[] = {'\xff', '\xfd', 44};
        ::send(fd, doComPort, sizeof doComPort, MSG_NOSIGNAL);
        QByteArray got;
        bool answered = false;
        char buffer[512];
        while (readable(fd)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            got.append(buffer, n);
            const qsizetype stop = got.indexOf(QByteArray::fromHex("fffa2c04"));
            if (!answered && stop >= 0 && got.indexOf(QByteArray::fromHex("fff0"), stop) > 0) {
                ::send(fd, answers_.constData(), static_cast<size_t>(answers_.size()),
                       MSG_NOSIGNAL);
                answered = true;
            }
        }
        ::close(fd);
    }

    QByteArray answers_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

class NetworkPortTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    // One server for the tests that do not stop or kill it.
    PtyPeer rawPrinter;
    Ser2Net shared{{{Ser2Net::Kind::Raw, rawPrinter.SlavePath()}}};
    SilentPort silent;

    ProgramRun qrv(const QStringList& arguments) {
        return RunProgram(QStringLiteral(QRV_BINARY), arguments);
    }

    // A copy of the golden file whose band 1 line 1 holds "ÿ" (0xFF in
    // Windows-1252), and the plan of band 1 the window sends for it.
    QString fileWithFF(printer::Plan& plan) {
        printer::PrinterConfiguration config = windowConfiguration(Golden);
        config.Model.BandLineText[ConfigurationModel::LineIndex(1, 1)] = "Senha \xFF";
        const QString path = dir.filePath(QStringLiteral("ff.snh"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        const std::string bytes = SettingsFile::Format(config);
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        file.close();
        plan = printer::ProgramPlan(windowConfiguration(path), 1);
        return path;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY2(shared.Start(), qPrintable(shared.Error()));
        QVERIFY(silent.Port() > 0);
    }

    // Both forms at once in one run, byte for byte and step for step; over
    // RFC 2217 the client sets the remote line, over plain TCP the server's
    // 115200 8N1 holds.
    void programsBothFormsAtOnce() {
        PtyPeer telnetPrinter;
        PtyPeer plainPrinter;
        Ser2Net server({{Ser2Net::Kind::Rfc2217, telnetPrinter.SlavePath()},
                        {Ser2Net::Kind::Raw, plainPrinter.SlavePath()}});
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        printer::Plan plan;
        const QString file = fileWithFF(plan);
        QVERIFY(!file.isEmpty());
        const bool planHasFF =
            std::any_of(plan.begin(), plan.end(), [](const printer::PlanStep& s) {
                return std::find(s.Frame.begin(), s.Frame.end(), 0xFF) != s.Frame.end();
            });
        QVERIFY2(planHasFF, "the plan must carry a 0xFF byte for this test to mean anything");

        QProcess process;
        const Clock::time_point launched = Clock::now();
        process.start(QStringLiteral(QRV_BINARY), {"program", file, "--band", "1", "--port",
                                                   server.Address(0), "--port", server.Address(1)});
        QVERIFY(waitUntil(
            [&] { return telnetPrinter.ByteCount() > 0 && plainPrinter.ByteCount() > 0; }));
        // Sampled while connected: ser2net puts its own settings back when
        // the client leaves.
        const termios telnetLine = telnetPrinter.SlaveSettings();
        const termios plainLine = plainPrinter.SlaveSettings();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardError(), QByteArray());

        QVERIFY2(is9600Eight2None(telnetLine), "the client did not set 9600 8N2 over RFC 2217");
        QVERIFY2(is115200Eight1None(plainLine), "socket:// must leave the server's line alone");
        for (PtyPeer* printer : {&telnetPrinter, &plainPrinter}) {
            const std::vector<PtyPeer::Frame> arrived = printer->Frames();
            QVERIFY(framesOf(arrived) == framesOf(plan));
            QCOMPARE(printer->ByteCount(), std::size_t{7 * 28 - 14});
            QCOMPARE(TimelineFault(arrived, plan, launched), QString());
        }
    }

    void failures_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const int raw = shared.Port(0);
        const int free = Ser2Net::FreePort();
        QTest::newRow("rfc2217 to a raw server")
            << QStringLiteral("rfc2217://127.0.0.1:%1").arg(raw) << 1
            << QStringLiteral("qrv: rfc2217://127.0.0.1:%1: O servidor 127.0.0.1:%1 não aceita RFC "
                              "2217 (não respondeu a COM-PORT-OPTION em 3 s).\n")
                   .arg(raw);
        QTest::newRow("rfc2217 refused")
            << QStringLiteral("rfc2217://127.0.0.1:%1").arg(free) << 1
            << QStringLiteral("qrv: rfc2217://127.0.0.1:%1: Can't open specified device "
                              "rfc2217://127.0.0.1:%1 (Error 111, Connection refused)\n")
                   .arg(free);
        QTest::newRow("socket refused")
            << QStringLiteral("SOCKET://LOCALHOST:%1").arg(free) << 1
            << QStringLiteral("qrv: socket://localhost:%1: Can't open specified device "
                              "socket://localhost:%1 (Error 111, Connection refused)\n")
                   .arg(free);
        QTest::newRow("no answer")
            << QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.Port()) << 1
            << QStringLiteral("qrv: rfc2217://127.0.0.1:%1: Can't open specified device "
                              "rfc2217://127.0.0.1:%1 (Error 110, Connection timed out)\n")
                   .arg(silent.Port());
        QTest::newRow("port out of range")
            << QStringLiteral("rfc2217://127.0.0.1:70000") << 2
            << QStringLiteral("qrv: linha de comando inválida: --port: endereço de rede inválido "
                              "\"rfc2217://127.0.0.1:70000\": use rfc2217://HOST:PORTA ou "
                              "socket://HOST:PORTA (PORTA de 1 a 65535, IPv6 entre colchetes)\n");
    }

    void failures() {
        QFETCH(QString, port);
        QFETCH(int, status);
        QFETCH(QString, message);
        const ProgramRun run = qrv({"restart", "--port", port});
        QCOMPARE(run.Status, status);
        QCOMPARE(QString::fromUtf8(run.Err).section(QLatin1Char('\n'), 0, 0) + '\n', message);
    }

    // sredird answers the speed with eight bytes and every control with its
    // flow setting: the plan still goes, frame for frame, on the line set.
    void programsThroughSredird() {
        PtyPeer printer;
        Sredird server(printer.SlavePath());
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        QProcess process;
        const Clock::time_point launched = Clock::now();
        process.start(QStringLiteral(QRV_BINARY),
                      {"program", Golden, "--band", "1", "--port", server.Address()});
        QVERIFY(waitUntil([&] { return printer.ByteCount() > 0; }));
        const termios line = printer.SlaveSettings();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), QString());
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(is9600Eight2None(line), "sredird's line is not 9600 8N2");
        const printer::Plan plan = printer::ProgramPlan(windowConfiguration(Golden), 1);
        const std::vector<PtyPeer::Frame> arrived = printer.Frames();
        QVERIFY(framesOf(arrived) == framesOf(plan));
        QCOMPARE(TimelineFault(arrived, plan, launched), QString());
    }

    // A socket:// port whose server speaks RFC 2217 would lose every 0xFF:
    // the open refuses it and names the right form, and the printer gets
    // nothing.
    void socketToATelnetServerIsRefused() {
        PtyPeer printer;
        Ser2Net server({{Ser2Net::Kind::Rfc2217, printer.SlavePath()}});
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(server.Port(0));
        const ProgramRun run =
            qrv({"program", Golden, "--band", "1", "--port", "socket://" + hostPort});
        QCOMPARE(run.Status, 1);
        QCOMPARE(QString::fromUtf8(run.Err).section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("qrv: socket://%1: O servidor %1 fala RFC 2217 (abriu a conexão "
                                "negociando Telnet), e socket:// perderia todo byte 0xFF: use "
                                "rfc2217://%1.")
                     .arg(hostPort));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        QCOMPARE(printer.ByteCount(), std::size_t{0});
    }

    // A server that takes the option but not the printer's line: the open
    // fails with the setting it refused (or its silence), in the
    // component's words and code. Which setting each answer refuses is
    // Rfc2217Test's table.
    void refusedLineSettings_data() {
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        using serial::net::NetworkError;
        const QByteArray speed = QByteArray::fromHex("fffa2c6500002580fff0");
        const QByteArray size = QByteArray::fromHex("fffa2c6608fff0");
        const QByteArray parity = QByteArray::fromHex("fffa2c6701fff0");
        const QByteArray stop = QByteArray::fromHex("fffa2c6802fff0");
        QTest::newRow("speed") << QByteArray::fromHex("fffa2c650001c200fff0") + size + parity + stop
                               << serial::net::NetworkErrorCode(NetworkError::Rfc2217BaudRefused)
                               << "Error writing dcb, the server refused the baud rate";
        QTest::newRow("stop bits")
            << speed + size + parity + QByteArray::fromHex("fffa2c6801fff0")
            << serial::net::NetworkErrorCode(NetworkError::Rfc2217StopBitsRefused)
            << "Error writing dcb, the server refused the stop bits";
        QTest::newRow("silent") << speed + size + parity
                                << serial::net::NetworkErrorCode(NetworkError::Rfc2217LineSilent)
                                << "Error writing dcb, the server did not answer the line "
                                   "settings within 3 s";
    }

    void refusedLineSettings() {
        QFETCH(QByteArray, answers);
        QFETCH(int, code);
        QFETCH(QString, message);
        ScriptedServer server(answers);
        QVERIFY(server.Port() > 0);
        TVaComm port;
        SetPrinterLine(port);
        port.SetDeviceName(
            QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.Port()).toStdString());
        try {
            port.Open();
            QFAIL("the open took a line the server refused");
        } catch (const EVaCommError& e) {
            QCOMPARE(QString::fromStdString(e.what()), message);
            QCOMPARE(e.Code(), code);
        }
        QVERIFY(!port.Active());
    }

    // The server dies after the first frames: the run fails as on a pulled
    // cable, and what arrived is the plan's beginning.
    void serverKilledMidPlanIsAHangUp() {
        PtyPeer printer;
        Ser2Net server({{Ser2Net::Kind::Rfc2217, printer.SlavePath()}});
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        QProcess process;
        process.start(QStringLiteral(QRV_BINARY),
                      {"program", Golden, "--band", "1", "--port", server.Address(0)});
        QVERIFY(waitUntil([&] { return printer.Frames().size() >= 2; }));
        server.Kill();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        const QStringList err = QString::fromUtf8(process.readAllStandardError()).split('\n');
        QCOMPARE(
            err.value(0),
            QStringLiteral("qrv: %1: Write error (5), Input/output error").arg(server.Address(0)));
        QCOMPARE(err.value(1),
                 QStringLiteral("qrv: %1: o servidor fechou a conexão durante o envio")
                     .arg(server.Address(0)));
        const auto plan = framesOf(printer::ProgramPlan(windowConfiguration(Golden), 1));
        const auto arrived = framesOf(printer.Frames());
        QVERIFY(arrived.size() < plan.size());
        QVERIFY(std::equal(arrived.begin(), arrived.end(), plan.begin()));
    }

    // A server that takes nothing more: a write waits the component's write
    // limit and reports what went, as a stalled printer does; the port
    // still closes.
    void stalledServerFailsAWrite() {
        PtyPeer printer;
        Ser2Net server({{Ser2Net::Kind::Rfc2217, printer.SlavePath()}});
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        TVaComm port;
        SetPrinterLine(port);
        port.SetDeviceName(server.Address(0).toStdString());
        port.Open();
        server.Stop();
        const std::vector<char> block(4096, 'x');
        int written = 0;
        int blocks = 0;
        // Loopback buffers hold a few hundred kilobytes at most.
        do {
            written = port.WriteBuf(block.data(), static_cast<int>(block.size()));
        } while (written == static_cast<int>(block.size()) && ++blocks < 4000);
        QVERIFY2(written < static_cast<int>(block.size()), "no write ever found the server full");
        QVERIFY(blocks > 0);
        port.Close();
        QVERIFY(!port.Active());
        server.Continue();
    }
};

QTEST_GUILESS_MAIN(NetworkPortTest)
#include "NetworkPortTest.moc"
