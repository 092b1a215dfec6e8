// The serial port component on pseudo-terminal pairs: the test opens the
// slave side through the component and reads the master side.

#include "serial/VaComm.h"
#include "PtyPair.h"
#include "PtyPeer.h"
#include "serial/device/Device.h"
#include "serial/linux/NoDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <cerrno>
#include <linux/serial.h>
#include <memory>

namespace {

QString ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EVaCommError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

class VaCommTest : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void eventMask_data();
    void eventMask();
    void dcbFlags_data();
    void dcbFlags();
    void deviceName_data();
    void deviceName();
    void openAndWrite_data();
    void openAndWrite();
    void lineSettings_data();
    void lineSettings();
    void refusedLineSettings_data();
    void refusedLineSettings();
    void openFailures_data();
    void openFailures();
    void defaultParametersFailure_data();
    void defaultParametersFailure();
    void noDeviceBehind_data();
    void noDeviceBehind();
    void tidyErrorText_data();
    void tidyErrorText();
    void secondOpenIsRefused();
    void closedOnlySetters_data();
    void closedOnlySetters();
    void flowControlChangeAppliesAtOnce();
    void eofCharReachesTheLine();
    void sendChar_data();
    void sendChar();
    void closeWhenClosedDoesNothing();
    void closeRaisesOnCloseAndPauses();
    void onOpenErrorGoesToHook();
    void threadCount_data();
    void threadCount();
    void queuedWrites();
    void queuedOverflowFails();
    void unacknowledgedPurgeFails();
    void rxCharOnMainThread();
    void handlerErrorDoesNotStopDelivery();
    void txEmptyAfterDirectWrite();
    void closeRunsWaitingDelivery();
    void closeFromInsideDelivery();
    void waitChar();
    void clientsReceiveData();
    void lineControlRefusedUnderHandshake();
    void portNames();
};

void VaCommTest::defaults() {
    TVaComm port;
    QCOMPARE(port.Baudrate(), br1200);
    QCOMPARE(port.Parity(), paNone);
    QCOMPARE(port.Databits(), db8);
    QCOMPARE(port.Stopbits(), sb1);
    QCOMPARE(port.DeviceName(), std::string("COM%d"));
    QVERIFY(port.MonitorEvents() == (TVaCommEvents{ceError, ceRxChar, ceTxEmpty}));
    QCOMPARE(port.Buffers().ReadSize(), 4096u);
    QCOMPARE(port.Buffers().WriteSize(), 2048u);
    QCOMPARE(port.Buffers().WriteTimeout(), 1000u);
    QCOMPARE(port.EventChars().XonChar(), char(17));
    QCOMPARE(port.EventChars().XoffChar(), char(19));
    QCOMPARE(port.EventPriority(), tpNormal);
    QCOMPARE(port.WritePriority(), tpHighest);
    QVERIFY(!port.DirectWrite());
    QVERIFY(port.UpdateDCB());
    QVERIFY(!port.Active());
    port.SetVersion("9.9.9.9");
    QCOMPARE(port.Version(), std::string("1.3.8.0"));
}

void VaCommTest::eventMask_data() {
    QTest::addColumn<bool>("direct");
    QTest::addColumn<bool>("allEvents");
    QTest::addColumn<uint>("mask");
    QTest::newRow("window settings") << true << false << 0x0085u;
    QTest::newRow("queued writes") << false << false << 0x0081u;
    QTest::newRow("every event, direct") << true << true << 0x1FFFu;
    QTest::newRow("every event, queued") << false << true << 0x1FFBu;
}

void VaCommTest::eventMask() {
    QFETCH(bool, direct);
    QFETCH(bool, allEvents);
    QFETCH(uint, mask);
    TVaComm port;
    port.SetDirectWrite(direct);
    if (allEvents) {
        TVaCommEvents all;
        for (int e = ceBreak; e <= ceEvent2; ++e)
            all.Include(static_cast<TVaCommEvent>(e));
        port.SetMonitorEvents(all);
    }
    QCOMPARE(port.EventMask(), mask);
}

void VaCommTest::dcbFlags_data() {
    QTest::addColumn<std::function<void(TVaComm&)>>("change");
    QTest::addColumn<uint>("flags");
    using F = std::function<void(TVaComm&)>;
    QTest::newRow("window settings") << F([](TVaComm& p) { WindowSettings(p); }) << 0x0001u;
    QTest::newRow("cts flow") << F([](TVaComm& p) { p.FlowControl().SetOutCtsFlow(true); })
                              << 0x0005u;
    QTest::newRow("dsr flow") << F([](TVaComm& p) { p.FlowControl().SetOutDsrFlow(true); })
                              << 0x0009u;
    QTest::newRow("dtr enabled") << F([](TVaComm& p) { p.FlowControl().SetControlDtr(dtrEnabled); })
                                 << 0x0011u;
    QTest::newRow("dtr handshake")
        << F([](TVaComm& p) { p.FlowControl().SetControlDtr(dtrHandshake); }) << 0x0021u;
    QTest::newRow("dsr sensitivity")
        << F([](TVaComm& p) { p.FlowControl().SetDsrSensitivity(true); }) << 0x0041u;
    QTest::newRow("continue on xoff")
        << F([](TVaComm& p) { p.FlowControl().SetTxContinueOnXoff(true); }) << 0x0081u;
    QTest::newRow("xon/xoff out") << F([](TVaComm& p) { p.FlowControl().SetXonXoffOut(true); })
                                  << 0x0101u;
    QTest::newRow("xon/xoff in") << F([](TVaComm& p) { p.FlowControl().SetXonXoffIn(true); })
                                 << 0x0201u;
    QTest::newRow("rts enabled") << F([](TVaComm& p) { p.FlowControl().SetControlRts(rtsEnabled); })
                                 << 0x1001u;
    QTest::newRow("rts handshake")
        << F([](TVaComm& p) { p.FlowControl().SetControlRts(rtsHandshake); }) << 0x2001u;
    QTest::newRow("rts toggle") << F([](TVaComm& p) { p.FlowControl().SetControlRts(rtsToggle); })
                                << 0x3001u;
    QTest::newRow("options") << F([](TVaComm& p) {
        p.SetOptions({coErrorChar, coNullStrip, coParityCheck});
    }) << 0x0C03u;
}

void VaCommTest::dcbFlags() {
    QFETCH(std::function<void(TVaComm&)>, change);
    QFETCH(uint, flags);
    TVaComm port;
    change(port);
    QCOMPARE(port.DcbFlags(), flags);
}

void VaCommTest::deviceName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("mapped");
    QTest::addColumn<QString>("expected"); // "%map" is the folder, "%target" the link target
    QTest::newRow("mapped COM3") << "COM%d" << 3 << true << "%target";
    QTest::newRow("unmapped COM3") << "COM%d" << 3 << false << "/dev/ttyS2";
    QTest::newRow("COM10") << "COM%d" << 10 << false << "/dev/ttyS9";
    QTest::newRow("a path") << "/dev/ttyUSB%d" << 0 << false << "/dev/ttyUSB0";
    QTest::newRow("other name") << "ttyACM%d" << 1 << false << "/dev/ttyACM1";
    QTest::newRow("stray placeholders") << "/x/%s%n%d" << 4 << false << "/x/4%n%d";
}

void VaCommTest::deviceName() {
    QFETCH(QString, name);
    QFETCH(int, number);
    QFETCH(bool, mapped);
    QFETCH(QString, expected);
    PortMapFolder map;
    const QString target = "/dev/ttyUSB7";
    if (mapped)
        map.Map("COM3", target);
    TVaComm port;
    port.SetDeviceName(name.toStdString());
    port.SetPortNum(number);
    expected.replace("%target", target);
    QCOMPARE(QString::fromStdString(port.GetDeviceName()), expected);
}

void VaCommTest::openAndWrite_data() {
    QTest::addColumn<bool>("byComName");
    QTest::newRow("device path") << false;
    QTest::newRow("COM3 through the port map") << true;
}

void VaCommTest::openAndWrite() {
    QFETCH(bool, byComName);
    PtyPair pty;
    QVERIFY(pty.IsOpen());
    PortMapFolder map;
    TVaComm port;
    WindowSettings(port);
    if (byComName) {
        map.Map("COM3", QString::fromStdString(pty.SlavePath()));
        port.SetPortNum(3);
    } else {
        port.SetDeviceName(pty.SlavePath());
    }
    int opened = 0;
    port.OnOpen = [&](TVaCustomComm& sender) {
        QCOMPARE(&sender, static_cast<TVaCustomComm*>(&port));
        QVERIFY(sender.Active());
        ++opened;
    };
    port.Open();
    QVERIFY(port.Active());
    QCOMPARE(opened, 1);

    const termios t = pty.SlaveSettings();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CRTSCTS), tcflag_t(0));
    QVERIFY(t.c_cflag & CSTOPB);
    QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));

    const QByteArray frame("\x02\x65\x00\x0A\xFF\x80\x03", 7);
    for (char c : frame)
        QVERIFY(port.WriteChar(c));
    QCOMPARE(pty.ReadMaster(frame.size()), frame);
    QVERIFY(port.WriteText("abc"));
    QCOMPARE(pty.ReadMaster(3), QByteArray("abc"));
    port.Close();
    QVERIFY(!port.Active());
    QVERIFY(!port.WriteChar('x'));
}

void VaCommTest::lineSettings_data() {
    QTest::addColumn<std::function<void(TVaComm&)>>("change");
    QTest::addColumn<uint>("rate");
    QTest::addColumn<uint>("cflag"); // CSIZE | CSTOPB | CRTSCTS
    QTest::addColumn<uint>("iflag"); // IXON | IXOFF
    using F = std::function<void(TVaComm&)>;
    QTest::newRow("115200, one stop bit") << F([](TVaComm& p) {
        p.SetBaudrate(br115200);
        p.SetStopbits(sb1);
    }) << 115200u << uint(CS8) << 0u;
    QTest::newRow("14400 has no termios constant")
        << F([](TVaComm& p) { p.SetBaudrate(br14400); }) << 14400u << uint(CS8) << 0u;
    QTest::newRow("user rate") << F([](TVaComm& p) { p.SetUserBaudrate(31250); }) << 31250u
                               << uint(CS8) << 0u;
    QTest::newRow("rts/cts") << F([](TVaComm& p) { p.FlowControl().SetOutCtsFlow(true); }) << 1200u
                             << uint(CS8 | CRTSCTS) << 0u;
    QTest::newRow("xon/xoff") << F([](TVaComm& p) {
        p.FlowControl().SetXonXoffOut(true);
        p.FlowControl().SetXonXoffIn(true);
    }) << 1200u << uint(CS8) << uint(IXON | IXOFF);
}

void VaCommTest::lineSettings() {
    QFETCH(std::function<void(TVaComm&)>, change);
    QFETCH(uint, rate);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    PtyPair pty;
    TVaComm port;
    port.SetDirectWrite(true);
    port.SetMonitorEvents({});
    port.SetDeviceName(pty.SlavePath());
    port.Open();
    change(port); // applied to the open port at once
    termios t = pty.SlaveSettings();
    QCOMPARE(t.c_cflag & uint(CSIZE | CSTOPB | CRTSCTS), cflag);
    QCOMPARE(t.c_iflag & uint(IXON | IXOFF), iflag);
    port.Close();

    // The same settings made while closed take effect at Open.
    TVaComm other;
    other.SetDirectWrite(true);
    other.SetMonitorEvents({});
    other.SetDeviceName(pty.SlavePath());
    change(other);
    other.Open();
    t = pty.SlaveSettings();
    QCOMPARE(t.c_cflag & uint(CSIZE | CSTOPB | CRTSCTS), cflag);
    if (rate == 115200u)
        QCOMPARE(cfgetospeed(&t), speed_t(B115200));
    if (rate == 1200u)
        QCOMPARE(cfgetospeed(&t), speed_t(B1200));
    if (rate == 14400u || rate == 31250u)
        QCOMPARE(t.c_cflag & CBAUD, tcflag_t(0010000)); // BOTHER: the rate is in termios2
    other.Close();
}

void VaCommTest::refusedLineSettings_data() {
    QTest::addColumn<std::function<void(TVaComm&)>>("change");
    using F = std::function<void(TVaComm&)>;
    QTest::newRow("4 data bits") << F([](TVaComm& p) { p.SetDatabits(db4); });
    // A pseudo-terminal keeps only 8 data bits without parity; the read-back
    // finds out.
    QTest::newRow("7 data bits") << F([](TVaComm& p) { p.SetDatabits(db7); });
    QTest::newRow("even parity") << F([](TVaComm& p) { p.SetParity(paEven); });
    QTest::newRow("1.5 stop bits with 8 data bits") << F([](TVaComm& p) { p.SetStopbits(sb15); });
    QTest::newRow("no rate") << F([](TVaComm& p) { p.SetBaudrate(brUser); });
}

void VaCommTest::refusedLineSettings() {
    QFETCH(std::function<void(TVaComm&)>, change);
    const QString refused("Error writing dcb (22), Invalid argument");
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.Open();
    // On an open port the error leaves it open with its settings.
    QCOMPARE(ErrorOf([&] { change(port); }), refused);
    QVERIFY(port.Active());
    QVERIFY(pty.SlaveSettings().c_cflag & CSTOPB);
    port.Close();

    // During Open it closes the port again, without OnOpen or a leak.
    bool opened = false;
    port.OnOpen = [&](TVaCustomComm&) { opened = true; };
    const int fds = OpenDescriptorCount();
    QCOMPARE(ErrorOf([&] { port.Open(); }), refused);
    QVERIFY(!port.Active());
    QVERIFY(!opened);
    QCOMPARE(OpenDescriptorCount(), fds);
}

void VaCommTest::openFailures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message"); // %p is the path
    QTest::newRow("missing path") << "missing"
                                  << "Specified device not found (%p).";
    QTest::newRow("mapped to a missing device") << "dangling"
                                                << "Specified device not found (%p).";
    QTest::newRow("not a terminal")
        << "file"
        << "Can't open specified device %p (Error 25, Inappropriate ioctl for device)";
}

void VaCommTest::openFailures() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    PortMapFolder map;
    QTemporaryDir dir;
    TVaComm port;
    QString path = dir.path() + "/nothing-here";
    if (kind == "dangling") {
        map.Map("COM7", path);
        port.SetPortNum(7);
    } else if (kind == "file") {
        path = dir.path() + "/plain-file";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        port.SetDeviceName(path.toStdString());
    } else {
        port.SetDeviceName(path.toStdString());
    }
    int opened = 0;
    port.OnOpen = [&](TVaCustomComm&) { ++opened; };
    const int fds = OpenDescriptorCount();
    QCOMPARE(ErrorOf([&] { port.Open(); }), message.replace("%p", path));
    QVERIFY(!port.Active());
    QCOMPARE(opened, 0);
    QCOMPARE(OpenDescriptorCount(), fds);
}

// The code of the failed open comes with the message, for callers that
// branch on it.
void VaCommTest::defaultParametersFailure_data() {
    QTest::addColumn<bool>("plainFile");
    QTest::addColumn<int>("code");
    QTest::newRow("missing path") << false << ENODEV; // the binding's code for no device
    QTest::newRow("not a terminal") << true << ENOTTY;
}

void VaCommTest::defaultParametersFailure() {
    QFETCH(bool, plainFile);
    QFETCH(int, code);
    QTemporaryDir dir;
    const QString path = dir.path() + "/device";
    if (plainFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    TVaComm port;
    port.SetDeviceName(path.toStdString());
    try {
        port.ResetPortParameters();
        QFAIL("no error");
    } catch (const EVaCommError& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QString("Error reading default port parameters."));
        QCOMPARE(e.Code(), code);
    }
}

void VaCommTest::noDeviceBehind_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("openError");
    QTest::addColumn<int>("serialType");
    QTest::addColumn<bool>("missing");
    const int none = serial::device::detail::kNoSerialType;
    QTest::newRow("no node") << "/dev/ttyUSB0" << ENOENT << none << true;
    QTest::newRow("node without a driver") << "/dev/ttyACM0" << ENODEV << none << true;
    QTest::newRow("node without a device") << "/dev/ttyS5" << ENXIO << none << true;
    QTest::newRow("built-in port, EIO") << "/dev/ttyS0" << EIO << none << true;
    QTest::newRow("built-in port, unknown type") << "/dev/ttyS1" << 0 << PORT_UNKNOWN << true;
    QTest::newRow("built-in port with a UART") << "/dev/ttyS1" << 0 << PORT_16550A << false;
    QTest::newRow("built-in port, no answer") << "/dev/ttyS1" << 0 << none << false;
    QTest::newRow("built-in port in use") << "/dev/ttyS0" << EBUSY << none << false;
    QTest::newRow("USB adapter, EIO") << "/dev/ttyUSB0" << EIO << none << false;
    QTest::newRow("USB adapter, type 0") << "/dev/ttyUSB0" << 0 << PORT_UNKNOWN << false;
    QTest::newRow("other UART name, EIO") << "/dev/ttySAC0" << EIO << none << false;
}

// System messages as the component's "(%d), %s" shapes show them. Windows
// ends its messages with ".\r\n" and breaks long ones into lines.
void VaCommTest::tidyErrorText_data() {
    QTest::addColumn<QByteArray>("system");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("Windows line end")
        << QByteArray("Access is denied.\r\n") << QByteArray("Access is denied");
    QTest::newRow("line break inside")
        << QByteArray("The semaphore timeout\r\nperiod has expired.\r\n")
        << QByteArray("The semaphore timeout period has expired");
    QTest::newRow("trailing blanks and stops") << QByteArray("Busy . .  ") << QByteArray("Busy");
    QTest::newRow("nothing left") << QByteArray(". \r\n") << QByteArray();
    QTest::newRow("cut to 256 bytes, then tidied")
        << QByteArray(255, 'x') + QByteArray(".more") << QByteArray(255, 'x');
}

void VaCommTest::tidyErrorText() {
    QFETCH(QByteArray, system);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(serial::device::TidyErrorText(system.toStdString())), shown);
}

void VaCommTest::noDeviceBehind() {
    QFETCH(QString, path);
    QFETCH(int, openError);
    QFETCH(int, serialType);
    QFETCH(bool, missing);
    QCOMPARE(serial::device::detail::NoDeviceBehind(path.toStdString(), openError, serialType),
             missing);
}

void VaCommTest::secondOpenIsRefused() {
    PtyPair pty;
    TVaComm first, second;
    first.SetDeviceName(pty.SlavePath());
    second.SetDeviceName(pty.SlavePath());
    first.Open();
    const QString error = ErrorOf([&] { second.Open(); });
    const QString prefix =
        "Can't open specified device " + QString::fromStdString(pty.SlavePath()) + " (Error ";
    QVERIFY2(error.startsWith(prefix), qPrintable(error));
    QVERIFY2(QRegularExpression(R"(\(Error \d+, [^()]*[^. ]\)$)").match(error).hasMatch(),
             qPrintable(error));
    QVERIFY(!second.Active());
    QVERIFY(first.Active());
    QVERIFY(first.WriteChar('k'));
    QCOMPARE(pty.ReadMaster(1), QByteArray("k"));
}

void VaCommTest::closedOnlySetters_data() {
    QTest::addColumn<std::function<void(TVaComm&)>>("set");
    QTest::addColumn<std::function<bool(TVaComm&)>>("unchanged");
    using S = std::function<void(TVaComm&)>;
    using U = std::function<bool(TVaComm&)>;
    QTest::newRow("PortNum") << S([](TVaComm& p) { p.SetPortNum(5); })
                             << U([](TVaComm& p) { return p.PortNum() == 0; });
    QTest::newRow("DeviceName") << S([](TVaComm& p) { p.SetDeviceName("/dev/null"); })
                                << U([](TVaComm& p) { return p.DeviceName() != "/dev/null"; });
    QTest::newRow("DirectWrite") << S([](TVaComm& p) { p.SetDirectWrite(false); })
                                 << U([](TVaComm& p) { return p.DirectWrite(); });
    QTest::newRow("UpdateDCB") << S([](TVaComm& p) { p.SetUpdateDCB(false); })
                               << U([](TVaComm& p) { return p.UpdateDCB(); });
    QTest::newRow("MonitorEvents") << S([](TVaComm& p) { p.SetMonitorEvents({}); })
                                   << U([](TVaComm& p) { return !p.MonitorEvents().Empty(); });
    QTest::newRow("Buffers.WriteSize")
        << S([](TVaComm& p) { p.Buffers().SetWriteSize(10); })
        << U([](TVaComm& p) { return p.Buffers().WriteSize() == 2048; });
}

void VaCommTest::closedOnlySetters() {
    QFETCH(std::function<void(TVaComm&)>, set);
    QFETCH(std::function<bool(TVaComm&)>, unchanged);
    PtyPair pty;
    TVaComm port;
    port.SetDirectWrite(true);
    port.SetDeviceName(pty.SlavePath());
    port.Open();
    QCOMPARE(ErrorOf([&] { set(port); }),
             QString("Can't perform this operation while port is open"));
    QVERIFY(unchanged(port));
    QVERIFY(port.Active());
    port.Close();
    set(port);
    QVERIFY(!unchanged(port));
}

void VaCommTest::flowControlChangeAppliesAtOnce() {
    PtyPair pty;
    TVaComm port;
    port.SetDirectWrite(true);
    port.SetDeviceName(pty.SlavePath());
    port.Open();
    port.FlowControl().BeginUpdate();
    port.FlowControl().SetXonXoffOut(true);
    QCOMPARE(pty.SlaveSettings().c_iflag & IXON, tcflag_t(0)); // held back by the bracket
    port.FlowControl().EndUpdate();
    QVERIFY(pty.SlaveSettings().c_iflag & IXON);
    port.EventChars().SetXonChar(0x11 + 1);
    QCOMPARE(pty.SlaveSettings().c_cc[VSTART], cc_t(0x12));
}

void VaCommTest::eofCharReachesTheLine() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.EventChars().SetEventChar(0x7E);
    port.EventChars().SetEofChar(0x1A);
    port.Open();
    QCOMPARE(pty.SlaveSettings().c_cc[VEOF], cc_t(0x1A));
    port.EventChars().SetEofChar(0x04);
    QCOMPARE(pty.SlaveSettings().c_cc[VEOF], cc_t(0x04));
}

void VaCommTest::sendChar_data() {
    QTest::addColumn<QString>("peer"); // idle, stalled, closed port
    QTest::addColumn<int>("writeTimeout");
    QTest::addColumn<QString>("error");
    QTest::newRow("idle peer") << "idle" << 1000 << "";
    QTest::newRow("stalled peer") << "stalled" << 1000 << "Write error (110), Connection timed out";
    QTest::newRow("stalled peer, 300 ms limit")
        << "stalled" << 300 << "Write error (110), Connection timed out";
    QTest::newRow("closed port") << "closed" << 1000
                                 << "Can't perform this operation while port is closed";
}

void VaCommTest::sendChar() {
    QFETCH(QString, peer);
    QFETCH(int, writeTimeout);
    QFETCH(QString, error);
    PtyPeer pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.Buffers().SetWriteTimeout(static_cast<uint32_t>(writeTimeout));
    if (peer != "closed")
        port.Open();
    std::size_t filler = 0;
    if (peer == "stalled")
        filler = pty.Stall();

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ErrorOf([&] { port.SendChar('x'); }), error);
    const qint64 elapsed = timer.elapsed();
    if (peer == "stalled") {
        QVERIFY2(elapsed >= writeTimeout - 50 && elapsed < writeTimeout + 1500,
                 qPrintable(QString::number(elapsed)));
        QVERIFY(port.Active());
        // The byte that timed out never goes out.
        pty.Resume();
        QTRY_COMPARE(pty.ByteCount(), filler);
        QTest::qWait(200);
        QCOMPARE(pty.ByteCount(), filler);
    } else if (peer == "idle") {
        QTRY_COMPARE(pty.Bytes(), std::vector<uint8_t>{'x'});
    }
}

void VaCommTest::closeWhenClosedDoesNothing() {
    TVaComm port;
    int closed = 0;
    port.OnClose = [&](TVaCustomComm&) { ++closed; };
    QElapsedTimer timer;
    timer.start();
    port.Close();
    QVERIFY(timer.elapsed() < 250); // no 300 ms pause
    QCOMPARE(closed, 0);
}

void VaCommTest::closeRaisesOnCloseAndPauses() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.Open();
    int closed = 0;
    bool activeInHandler = true;
    port.OnClose = [&](TVaCustomComm& sender) {
        ++closed;
        activeInHandler = sender.Active();
    };
    QElapsedTimer timer;
    timer.start();
    port.Close();
    QVERIFY(timer.elapsed() >= 295);
    QCOMPARE(closed, 1);
    QVERIFY(!activeInHandler);
    port.Close();
    QCOMPARE(closed, 1);
}

void VaCommTest::onOpenErrorGoesToHook() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    QStringList shown;
    port.OnHandlerError = [&](const std::exception& e) { shown << QString::fromUtf8(e.what()); };
    port.OnOpen = [](TVaCustomComm&) { throw EVaCommError("handler failed"); };
    port.Open();
    QCOMPARE(shown, QStringList{"handler failed"});
    QVERIFY(port.Active());
    QVERIFY(port.WriteChar('z'));
    QCOMPARE(pty.ReadMaster(1), QByteArray("z"));
}

void VaCommTest::threadCount_data() {
    QTest::addColumn<bool>("direct");
    QTest::addColumn<bool>("events");
    QTest::addColumn<int>("threads");
    QTest::newRow("window settings: event thread") << true << true << 1;
    QTest::newRow("no events, direct: none") << true << false << 0;
    QTest::newRow("queued: event and writer threads") << false << true << 2;
    QTest::newRow("queued, no events: writer thread") << false << false << 1;
}

void VaCommTest::threadCount() {
    QFETCH(bool, direct);
    QFETCH(bool, events);
    QFETCH(int, threads);
    PtyPair pty;
    TVaComm port;
    port.SetDirectWrite(direct);
    if (!events)
        port.SetMonitorEvents({});
    port.SetDeviceName(pty.SlavePath());
    const size_t before = ThreadIds().size();
    port.Open();
    QCOMPARE(int(ThreadIds().size() - before), threads);
    bool threadsGoneAtOnClose = false;
    port.OnClose = [&](TVaCustomComm&) { threadsGoneAtOnClose = ThreadIds().size() == before; };
    port.Close();
    QVERIFY(threadsGoneAtOnClose);
}

void VaCommTest::queuedWrites() {
    PtyPair pty;
    TVaComm port;
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    int txEmpty = 0;
    bool onMain = true;
    port.OnTxEmpty = [&](TVaCustomComm&) {
        ++txEmpty;
        onMain = onMain && QThread::currentThread() == qApp->thread();
    };
    port.Open();
    QCOMPARE(port.WriteBuf("queued bytes", 12), 12);
    QCOMPARE(pty.ReadMaster(12), QByteArray("queued bytes"));
    QTRY_VERIFY(txEmpty >= 1);
    QVERIFY(onMain);
    QCOMPARE(port.WriteBufUsed(), 0);
}

void VaCommTest::queuedOverflowFails() {
    PtyPair pty;
    TVaComm port;
    port.SetDeviceName(pty.SlavePath());
    port.Open();
    const QByteArray tooMuch(int(port.Buffers().WriteSize()) + 1, 'x');
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ErrorOf([&] { port.WriteBuf(tooMuch.constData(), tooMuch.size()); }),
             QString("Output buffer is full. Please check comm status."));
    QVERIFY(timer.elapsed() >= 950);
    QVERIFY(port.Active());
    QCOMPARE(port.WriteBuf("ok", 2), 2);
    QCOMPARE(pty.ReadMaster(2), QByteArray("ok"));
}

// The writer thread waits inside its TxEmpty delivery while the handler
// purges: the writer cannot acknowledge, and the bytes the handler queued stay.
void VaCommTest::unacknowledgedPurgeFails() {
    PtyPair pty;
    TVaComm port;
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    QString error;
    bool purged = false;
    port.OnTxEmpty = [&](TVaCustomComm& sender) {
        if (purged)
            return;
        purged = true;
        sender.WriteBuf("kept", 4);
        error = ErrorOf([&] { sender.PurgeWrite(); });
    };
    port.Open();
    QCOMPARE(port.WriteBuf("first", 5), 5);
    QCOMPARE(pty.ReadMaster(5), QByteArray("first"));
    QTRY_VERIFY_WITH_TIMEOUT(purged && !error.isEmpty(), 10000);
    QCOMPARE(error, QString("Error clearing buffers (%1), %2")
                        .arg(ETIMEDOUT)
                        .arg(QString::fromUtf8(serial::device::ErrorText(ETIMEDOUT).c_str())));
}

void VaCommTest::rxCharOnMainThread() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    QByteArray received;
    bool onMain = true;
    port.OnRxChar = [&](TVaCustomComm& sender, int count) {
        onMain = onMain && QThread::currentThread() == qApp->thread();
        QVERIFY(count > 0);
        received += QByteArray::fromStdString(sender.ReadText());
    };
    port.Open();
    pty.WriteMaster("hello");
    QTRY_COMPARE(received, QByteArray("hello"));
    pty.WriteMaster("again");
    QTRY_COMPARE(received, QByteArray("helloagain"));
    QVERIFY(onMain);
}

void VaCommTest::handlerErrorDoesNotStopDelivery() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    QStringList shown;
    port.OnHandlerError = [&](const std::exception& e) { shown << QString::fromUtf8(e.what()); };
    int calls = 0;
    port.OnRxChar = [&](TVaCustomComm& sender, int) {
        sender.ReadText();
        if (++calls == 1)
            throw EVaCommError("first delivery failed");
    };
    port.Open();
    pty.WriteMaster("1");
    QTRY_COMPARE(calls, 1);
    QCOMPARE(shown, QStringList{"first delivery failed"});
    pty.WriteMaster("2");
    QTRY_COMPARE(calls, 2);
    QCOMPARE(shown.size(), 1);
}

void VaCommTest::txEmptyAfterDirectWrite() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    int txEmpty = 0;
    port.OnTxEmpty = [&](TVaCustomComm&) { ++txEmpty; };
    port.Open();
    QTest::qWait(150);
    QCOMPARE(txEmpty, 0); // an idle port reports nothing
    QVERIFY(port.WriteChar('a'));
    QTRY_COMPARE(txEmpty, 1);
    QTest::qWait(200);
    QCOMPARE(txEmpty, 1);
}

void VaCommTest::closeRunsWaitingDelivery() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    bool inClose = false;
    bool ranInClose = false;
    QByteArray read;
    port.OnRxChar = [&](TVaCustomComm& sender, int) {
        ranInClose = inClose && QThread::currentThread() == qApp->thread();
        sender.GlobalLock(); // Close holds nothing the delivery needs
        read = QByteArray::fromStdString(sender.ReadText());
        sender.GlobalUnlock();
    };
    port.Open();
    pty.WriteMaster("late");
    QThread::msleep(300); // the event thread now waits for the main thread
    inClose = true;
    port.Close();
    QVERIFY(ranInClose);
    QCOMPARE(read, QByteArray("late"));
    QCoreApplication::processEvents(); // the stale post finds nothing to do
}

void VaCommTest::closeFromInsideDelivery() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    port.OnRxChar = [&](TVaCustomComm& sender, int) { sender.Close(); };
    port.Open();
    pty.WriteMaster("x");
    QTRY_VERIFY(!port.Active());
}

void VaCommTest::waitChar() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetMonitorEvents({});
    port.SetDeviceName(pty.SlavePath());
    QVERIFY(!port.WaitChar(50)); // closed
    port.Open();
    const size_t threads = ThreadIds().size();
    QVERIFY(!port.WaitChar(100));
    QCOMPARE(ThreadIds().size(), threads); // its polling thread has ended
    pty.WriteMaster("q");
    char c = 0;
    QVERIFY(port.ReadCharWait(c, 2000));
    QCOMPARE(c, 'q');
    // The owner may hold the global lock while it waits.
    port.GlobalLock();
    QVERIFY(!port.WaitChar(50));
    port.GlobalUnlock();
}

void VaCommTest::clientsReceiveData() {
    struct Client : TVaCommComponent {
        QByteArray data;
        uint32_t events = 0;
        void HandleData(const void* bytes, int count) override {
            data.append(static_cast<const char*>(bytes), count);
        }
        void HandleEvents(uint32_t e) override { events |= e; }
    };
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    auto client = std::make_unique<Client>();
    client->SetComm(&port);
    QByteArray rxBuf;
    port.OnRxBuf = [&](TVaCustomComm&, const void* bytes, int count) {
        rxBuf.append(static_cast<const char*>(bytes), count);
    };
    port.Open();
    pty.WriteMaster("data");
    QTRY_COMPARE(client->data, QByteArray("data"));
    QCOMPARE(rxBuf, QByteArray("data"));
    port.WriteChar('w');
    QTRY_VERIFY(client->events & VaEv::TxEmpty);
    // Without clients the handler of OnRxChar reads the bytes itself.
    client.reset(); // detaches itself
    QByteArray rxChar;
    port.OnRxChar = [&](TVaCustomComm& sender, int) {
        rxChar += QByteArray::fromStdString(sender.ReadText());
    };
    pty.WriteMaster("more");
    QTRY_COMPARE(rxChar, QByteArray("more"));
    QCOMPARE(rxBuf, QByteArray("data"));
}

void VaCommTest::lineControlRefusedUnderHandshake() {
    TVaComm port;
    port.FlowControl().SetControlDtr(dtrHandshake);
    port.FlowControl().SetControlRts(rtsToggle);
    QCOMPARE(ErrorOf([&] { port.SetDTR(true); }),
             QString("DTR line updates not allowed when flowcontrol is set to Handshake."));
    QCOMPARE(ErrorOf([&] { port.SetRTS(true); }),
             QString("RTS line updates not allowed when flowcontrol is set to Handshake or "
                     "Toggle."));
    QCOMPARE(ErrorOf([&] { port.GetProperties(); }),
             QString("Can't perform this operation while port is closed"));
}

void VaCommTest::portNames() {
    PortMapFolder map;
    map.Map("COM3", "/dev/null");
    map.Map("COM10", "/dev/null");
    std::vector<std::string> names{"stale"};
    TVaCustomComm::GetComPortNames(names);
    QVERIFY(std::count(names.begin(), names.end(), "COM3") == 1);
    QVERIFY(std::count(names.begin(), names.end(), "COM10") == 1);
    QVERIFY(std::count(names.begin(), names.end(), "stale") == 0);
}

QTEST_GUILESS_MAIN(VaCommTest)
#include "VaCommTest.moc"
