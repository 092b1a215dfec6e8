// The window's "Com5" mapped to a printer behind a real device server
// (ser2net on loopback, which opens its device at 115200 8N1): "Config"
// reaches the printer as the same frames as over the local "Com3", and the
// server's line was set to 9600 8N2.
#include "PtyPeer.h"
#include "Ser2Net.h"
#include "app/TForm1.h"
#include "ports/PortMap.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Sent {
    std::vector<PtyPeer::Frame> Frames;
    termios Line{}; // the peer's line while the window held the port
};

// What "Config" of a fresh window sends through its port `n`.
Sent configFrames(PtyPeer& peer, int n, QStringList& errors) {
    TForm1 form;
    form.ShowError = [&errors](const QString& text) { errors << text; };
    form.Model.BandStart(2) = 20;
    form.Model.BandEnd(2) = 40;
    form.Model.BandStart(4) = 7;
    form.show();
    form.ComboBox5->setCurrentIndex(n - 1);
    form.ComboBox5Click();
    form.ComboBox5Change();
    if (!form.PortOpen)
        return {};
    form.ComboBox1->setCurrentIndex(0);
    form.ComboBox1Change();
    form.Timer1->stop();
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Button6")), Qt::LeftButton);
    // Two frames of 28 bytes; generous for a loaded machine.
    // The caller compares the frames; a short count shows there.
    [[maybe_unused]] const bool all =
        QTest::qWaitFor([&peer] { return peer.ByteCount() >= 56; }, 20000);
    return {peer.Frames(), peer.SlaveSettings()};
}

} // namespace

class TForm1NetworkPortTest : public QObject {
    Q_OBJECT
private slots:
    void configOverADeviceServer_data() {
        QTest::addColumn<int>("kind"); // Ser2Net::Kind
        QTest::newRow("RFC 2217") << static_cast<int>(Ser2Net::Kind::Rfc2217);
        QTest::newRow("plain TCP") << static_cast<int>(Ser2Net::Kind::Raw);
    }
    void configOverADeviceServer() {
        QFETCH(int, kind);
        QTemporaryDir configHome;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
        QVERIFY(std::filesystem::create_directories(ports::Folder()));

        PtyPeer local;
        local.MapPort(QFile::encodeName(configHome.path()).toStdString(), 3);
        QStringList errors;
        const auto expected = configFrames(local, 3, errors).Frames;
        QCOMPARE(expected.size(), std::size_t{2});

        PtyPeer remote;
        Ser2Net server({{static_cast<Ser2Net::Kind>(kind), remote.SlavePath()}});
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const ports::MapResult mapped = ports::Map(5, server.Address(0).toStdString(), false);
        QCOMPARE(mapped.Outcome, ports::MapOutcome::Done);
        const Sent sent = configFrames(remote, 5, errors);
        const auto& frames = sent.Frames;
        QCOMPARE(errors, QStringList{});
        QCOMPARE(frames.size(), expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i)
            QVERIFY2(frames[i].Bytes == expected[i].Bytes, qPrintable(QString::number(i)));

        // Over RFC 2217 the window set the server's line; plain TCP leaves
        // the server's own 115200 8N1.
        const termios& line = sent.Line;
        const bool set = static_cast<Ser2Net::Kind>(kind) == Ser2Net::Kind::Rfc2217;
        QCOMPARE(cfgetospeed(&line), set ? speed_t{B9600} : speed_t{B115200});
        QCOMPARE((line.c_cflag & CSTOPB) != 0, set);
        QCOMPARE(line.c_cflag & (CSIZE | PARENB), tcflag_t{CS8});
    }
};

QTEST_MAIN(TForm1NetworkPortTest)
#include "TForm1NetworkPortTest.moc"
