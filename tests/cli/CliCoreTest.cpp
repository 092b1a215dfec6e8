// What qrv decides about text it prints, CLI11's refusals and refused ports,
// without running qrv: the escaping, the Portuguese of each refusal, and who
// holds a busy device, found on real files and processes.
#include "cli/FailureText.h"
#include "cli/Messages.h"
#include "cli/PortChecks.h"
#include "model/Text.h"
#include "serial/net/NetworkAddress.h"
#include "serial/net/Resolve.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fstream>
#include <functional>
#include <unistd.h>

using ErrorMaker = std::function<CLI::Error()>;
Q_DECLARE_METATYPE(ErrorMaker)

class CliCoreTest : public QObject {
    Q_OBJECT

private slots:
    void printable_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("keepLineBreaks");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("plain and accented")
            << QByteArray("Senha é 12") << false << QByteArray("Senha é 12");
        QTest::newRow("title sequence")
            << QByteArray("a\x1b]0;x\x07z") << false << QByteArray("a\\x1B]0;x\\x07z");
        QTest::newRow("clear screen") << QByteArray("\x1b[2J") << false << QByteArray("\\x1B[2J");
        QTest::newRow("DEL") << QByteArray("a\x7f") << false << QByteArray("a\\x7F");
        QTest::newRow("C1 U+0080 and U+009F")
            << QByteArray("\xc2\x80-\xc2\x9f") << false << QByteArray("\\x80-\\x9F");
        QTest::newRow("U+00A0 stays") << QByteArray("\xc2\xa0") << false << QByteArray("\xc2\xa0");
        QTest::newRow("a lone CSI byte") << QByteArray("\x9b"
                                                       "2J")
                                         << false << QByteArray("\\x9B2J");
        QTest::newRow("cut sequence") << QByteArray("\xc3") << false << QByteArray("\\xC3");
        QTest::newRow("overlong slash")
            << QByteArray("\xc0\xaf") << false << QByteArray("\\xC0\\xAF");
        QTest::newRow("line break kept") << QByteArray("a\nb\r") << true << QByteArray("a\nb\\x0D");
        QTest::newRow("line break escaped") << QByteArray("a\nb") << false << QByteArray("a\\x0Ab");
        QTest::newRow("right-to-left override U+202E")
            << QByteArray("a\xe2\x80\xaegpj.exe") << false << QByteArray("a\\u202Egpj.exe");
        QTest::newRow("Arabic letter mark U+061C")
            << QByteArray("\xd8\x9c") << false << QByteArray("\\u061C");
        QTest::newRow("marks U+200E U+200F")
            << QByteArray("\xe2\x80\x8e\xe2\x80\x8f") << false << QByteArray("\\u200E\\u200F");
        QTest::newRow("embedding U+202A")
            << QByteArray("\xe2\x80\xaa") << false << QByteArray("\\u202A");
        QTest::newRow("isolates U+2066 U+2069")
            << QByteArray("\xe2\x81\xa6\xe2\x81\xa9") << false << QByteArray("\\u2066\\u2069");
        QTest::newRow("U+2065 and U+202F stay") << QByteArray("\xe2\x81\xa5\xe2\x80\xaf") << false
                                                << QByteArray("\xe2\x81\xa5\xe2\x80\xaf");
        QTest::newRow("four-byte character")
            << QByteArray("\xf0\x9f\x96\xa8") << false << QByteArray("\xf0\x9f\x96\xa8");
    }
    void printable() {
        QFETCH(QByteArray, text);
        QFETCH(bool, keepLineBreaks);
        QFETCH(QByteArray, shown);
        QCOMPARE(QByteArray::fromStdString(Printable(text.toStdString(), keepLineBreaks)), shown);
    }

    void commandLineErrors_data() {
        QTest::addColumn<ErrorMaker>("error");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, ErrorMaker make, QStringList arguments,
                            const char* text) {
            QTest::newRow(name) << make << arguments << QString::fromUtf8(text);
        };
        row(
            "unknown command", [] { return CLI::RequiredError::Subcommand(1); }, {"frobnicate"},
            "comando desconhecido \"frobnicate\" (os comandos: ports, show)");
        row(
            "no command", [] { return CLI::RequiredError::Subcommand(1); }, {"--verbose"},
            "falta o comando (um de: ports, show)");
        row(
            "unknown command after an option",
            [] { return CLI::ExtrasError(std::vector<std::string>{"frobnicate"}); }, {"frobnicate"},
            "comando desconhecido \"frobnicate\" (os comandos: ports, show)");
        row(
            "missing option", [] { return CLI::RequiredError("--band"); }, {"show"},
            "falta a opção --band");
        row(
            "missing argument", [] { return CLI::RequiredError("FILE"); }, {"show"},
            "falta o argumento FILE");
        row(
            "extra argument", [] { return CLI::ExtrasError(std::vector<std::string>{"x.snh"}); },
            {"show", "a.snh", "x.snh"}, "argumento a mais: x.snh");
        row(
            "unknown option", [] { return CLI::ExtrasError(std::vector<std::string>{"--frob"}); },
            {"show", "--frob"}, "opção desconhecida: --frob");
        row(
            "option without its value", [] { return CLI::ArgumentMismatch("--band", 1, 0); },
            {"show", "--band"}, "falta o valor de a opção --band");
        row(
            "value not converted",
            [] { return CLI::ConversionError("--band", std::vector<std::string>{"x"}); }, {"show"},
            "valor inválido \"x\" para a opção --band");
        row(
            "flag given a value", [] { return CLI::ConversionError::TooManyInputsFlag("--json"); },
            {"show"}, "a opção --json não leva valor");
        row(
            "excluded options", [] { return CLI::ExcludesError("--a", "--b"); }, {"show"},
            "--a e --b não podem ser usadas juntas");
        row(
            "our own check stays", [] { return CLI::ValidationError("--band", "banda inválida"); },
            {"show"}, "--band: banda inválida");
    }
    void commandLineErrors() {
        QFETCH(ErrorMaker, error);
        QFETCH(QStringList, arguments);
        QFETCH(QString, text);
        std::vector<std::string> words;
        for (const QString& a : arguments)
            words.push_back(a.toStdString());
        QCOMPARE(QString::fromStdString(CommandLineErrorText(error(), words, {"ports", "show"})),
                 text);
    }

    // What a device server did, said from the component's code alone. The
    // Linux codes stand for the system's.
    void networkFailureLine_data() {
        using serial::net::NetworkError;
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("whileSending");
        QTest::addColumn<QString>("says"); // empty: no line
        const auto net = [](NetworkError e) { return serial::net::NetworkErrorCode(e); };
        QTest::newRow("baud refused")
            << net(NetworkError::Rfc2217BaudRefused) << false
            << QStringLiteral("o servidor recusou a velocidade da "
                              "impressora (9600 bauds); nada foi enviado");
        QTest::newRow("data bits refused")
            << net(NetworkError::Rfc2217DataBitsRefused) << false
            << QStringLiteral("o servidor recusou os 8 bits de dados");
        QTest::newRow("parity refused") << net(NetworkError::Rfc2217ParityRefused) << false
                                        << QStringLiteral("o servidor recusou a paridade");
        QTest::newRow("stop bits refused")
            << net(NetworkError::Rfc2217StopBitsRefused) << false
            << QStringLiteral("o servidor recusou os 2 bits de parada");
        QTest::newRow("line settings unanswered")
            << net(NetworkError::Rfc2217LineSilent) << false
            << QStringLiteral("não respondeu à configuração da linha em 3 s");
        QTest::newRow("line held") << net(NetworkError::Rfc2217Held) << true
                                   << QStringLiteral("o servidor segurou a linha (pediu pausa no "
                                                     "envio) por mais de 2 s, o limite de escrita");
        QTest::newRow("Telnet on a raw port")
            << net(NetworkError::RawServerSpeaksTelnet) << false
            << QStringLiteral("fala RFC 2217 nessa porta; use rfc2217://[::1]:4001");
        QTest::newRow("reset while sending")
            << ECONNRESET << true << QStringLiteral("o servidor fechou a conexão durante o envio");
        QTest::newRow("a line setting refused, unnamed")
            << EINVAL << false
            << QStringLiteral("o servidor não aceitou a linha da impressora (9600 bauds");
        QTest::newRow("no route") << ENETUNREACH << false
                                  << QStringLiteral("não há caminho na rede até o servidor");
        QTest::newRow("no answer on opening")
            << ETIMEDOUT << false << QStringLiteral("o servidor não respondeu a tempo");
        QTest::newRow("bytes not taken")
            << ETIMEDOUT << true
            << QStringLiteral("o servidor não recebeu os bytes em 2 s, o limite de escrita");
        QTest::newRow("out of memory (code -1 here)")
            << -1 << true << QStringLiteral("faltou memória ao falar com o servidor");
        QTest::newRow("already Portuguese: option refused")
            << net(NetworkError::Rfc2217Refused) << false << QString();
        QTest::newRow("already Portuguese: unknown host")
            << net(NetworkError::UnknownHost) << false << QString();
    }
    void networkFailureLine() {
        QFETCH(int, code);
        QFETCH(bool, whileSending);
        QFETCH(QString, says);
        NetworkFailure failure;
        failure.Code = code;
        failure.OutOfMemory = code == -1;
        failure.WhileSending = whileSending;
        failure.Address = "socket://[::1]:4001";
        failure.WriteLimitMs = 2000;
        const ConnectionFault fault = ConnectionFaultOf(code);
        failure.ConnectionRefused = fault == ConnectionFault::Refused;
        failure.ConnectionClosed = fault == ConnectionFault::Closed;
        failure.HostUnreachable = fault == ConnectionFault::Unreachable;
        const std::optional<std::string> line = NetworkFailureLine(failure);
        if (says.isEmpty())
            QVERIFY2(!line, line->c_str());
        else
            QVERIFY2(line && QString::fromStdString(*line).contains(says),
                     line ? line->c_str() : "no line");
    }

    // How one server is known under its names: numeric hosts, so that only
    // the system's own lookup takes part.
    void serverEndpoints_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("endpoint");
        QTest::newRow("IPv4-mapped IPv6") << "::ffff:10.0.0.1"
                                          << "10.0.0.1:4001";
        QTest::newRow("longest zero run") << "2001:db8:0:0:1:0:0:1"
                                          << "[2001:db8::1:0:0:1]:4001";
        QTest::newRow("link-local with its interface") << "fe80::1%lo"
                                                       << "[fe80::1%1]:4001";
    }
    void serverEndpoints() {
        QFETCH(QString, host);
        QFETCH(QString, endpoint);
        const auto endpoints = serial::net::ServerEndpoints(host.toStdString(), 4001);
        QCOMPARE(endpoints.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(endpoints.front().Text()), endpoint);
    }

    // A regular file stands for the device. Holders found in /proc are
    // pinned end to end on a pseudo-terminal (QrvTest).
    void holderOfABusyDevice_data() {
        // "lock file", "binary lock file", "dead lock file", or none.
        QTest::addColumn<QString>("holder");
        QTest::addColumn<QString>("says");
        QTest::newRow("a lock file names a live process")
            << "lock file"
            << "LCK..ttyQRV diz que o processo %pid (sleep) usa";
        QTest::newRow("a binary lock file") << "binary lock file"
                                            << "LCK..ttyQRV diz que o processo %pid (sleep) usa";
        QTest::newRow("a lock file of a process gone") << "dead lock file"
                                                       << "não foi possível saber que programa usa";
        QTest::newRow("nobody") << ""
                                << "não foi possível saber que programa usa";
    }
    void holderOfABusyDevice() {
        QFETCH(QString, holder);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString device = dir.path() + "/ttyQRV";
        QVERIFY(QFile(device).open(QIODevice::WriteOnly));
        QProcess sleeper;
        sleeper.start("sleep", {"60"});
        QVERIFY(sleeper.waitForStarted());
        long pid = sleeper.processId();
        if (holder == "dead lock file") {
            sleeper.kill();
            sleeper.waitForFinished();
        }
        const std::string lock = (dir.path() + "/LCK..ttyQRV").toStdString();
        if (holder.contains("lock file")) {
            std::ofstream file(lock, std::ios::binary);
            if (holder == "binary lock file") {
                const int32_t binary = static_cast<int32_t>(pid);
                file.write(reinterpret_cast<const char*>(&binary), sizeof binary);
            } else {
                file << "      " << pid << '\n';
            }
        }
        const QString text = QString::fromStdString(
            HolderHint(device.toStdString(), dir.path().toStdString(), "a porta"));
        sleeper.kill();
        sleeper.waitForFinished();
        says.replace("%pid", QString::number(pid));
        QVERIFY2(text.contains(says), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(CliCoreTest)
#include "CliCoreTest.moc"
