// qrv through its real binary: what reaches pseudo-terminals standing for
// printers, its exit statuses, and what it prints. The frames themselves are
// pinned by the printer layer's tests; here they only have to be the plan's.
#include "PlanTimeline.h"
#include "PortMapPath.h"
#include "ProgramRun.h"
#include "PtyPeer.h"
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

#include <filesystem>

using Clock = PtyPeer::Clock;
namespace fs = std::filesystem;

namespace {

const QString Golden = QStringLiteral(QRV_SETTINGS_DATA "/programa.snh");

struct Outcome {
    int Status = -1;
    QString Out;
    QString Err;
};

// The configuration the window holds after opening `path`, read without qrv.
printer::PrinterConfiguration windowConfiguration(const QString& path) {
    return printer::AsWindowHolds(SettingsFile::Read(SettingsFile::Load(path.toStdString())));
}

std::vector<std::vector<uint8_t>> framesOf(const printer::Plan& plan) {
    std::vector<std::vector<uint8_t>> frames;
    for (const printer::PlanStep& step : plan)
        frames.push_back(step.Frame);
    return frames;
}

std::vector<std::vector<uint8_t>> framesOf(const std::vector<PtyPeer::Frame>& arrived) {
    std::vector<std::vector<uint8_t>> frames;
    for (const PtyPeer::Frame& f : arrived)
        frames.push_back(f.Bytes);
    return frames;
}

long long msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

} // namespace

class QrvTest : public QObject {
    Q_OBJECT

    QTemporaryDir configHome;

    fs::path home() const { return configHome.path().toStdString(); }

    Outcome qrv(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
        const ProgramRun run = RunProgram(QStringLiteral(QRV_BINARY), arguments, env);
        return {run.Status, QString::fromUtf8(run.Out), QString::fromUtf8(run.Err)};
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
};

QTEST_GUILESS_MAIN(QrvTest)
#include "QrvTest.moc"
