// Reliability of the serial port component on pseudo-terminals: no leaks
// over many rounds, bounded writes against a stalled peer, and a peer that
// hangs up.

#include "PtyPair.h"
#include "serial/VaComm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <ctime>

namespace {

long ProcessCpuMs() {
    return static_cast<long>(std::clock() * 1000 / CLOCKS_PER_SEC);
}

long CpuOfThreads(const std::set<long>& threads) {
    long sum = 0;
    for (long id : threads)
        sum += ThreadCpuMs(id);
    return sum;
}

} // namespace

class VaCommReliabilityTest : public QObject {
    Q_OBJECT
private slots:
    void openWriteCloseRounds();
    void stalledPeer();
    void hangUp_data();
    void hangUp();
};

void VaCommReliabilityTest::openWriteCloseRounds() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.SetPostToMain(QtMainThreadPoster());
    int txEmpty = 0;
    port.OnTxEmpty = [&](TVaCustomComm&) { ++txEmpty; };
    QByteArray frame(28, '\0');
    for (int i = 0; i < frame.size(); ++i)
        frame[i] = char(0x41 + i);

    const int descriptors = OpenDescriptorCount();
    const size_t threads = ThreadIds().size();
    for (int round = 0; round < 200; ++round) {
        port.Open();
        for (char c : frame)
            QVERIFY(port.WriteChar(c));
        if (round % 2) {
            QCOMPARE(pty.ReadMaster(frame.size()), frame);
            QCoreApplication::processEvents(); // else Close runs the pending delivery
            port.Close();
        } else {
            // A sender that closes at once (qrv) must not lose what the peer
            // has not read yet.
            port.Close();
            QCOMPARE(pty.ReadMaster(frame.size()), frame);
        }
    }
    QCoreApplication::processEvents();
    QCOMPARE(OpenDescriptorCount(), descriptors);
    QCOMPARE(ThreadIds().size(), threads);
    QVERIFY(txEmpty > 0);
}

void VaCommReliabilityTest::stalledPeer() {
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDeviceName(pty.SlavePath());
    port.Open();

    // Fill the line until the peer's buffer takes no more.
    const QByteArray chunk(4096, 'f');
    int rounds = 0;
    while (port.WriteBuf(chunk.constData(), chunk.size()) == chunk.size())
        QVERIFY(++rounds < 1000);

    const long cpuBefore = ProcessCpuMs();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!port.WriteChar('x'));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 900 && elapsed < 3000, qPrintable(QString::number(elapsed)));
    QVERIFY2(ProcessCpuMs() - cpuBefore < 300, "the write must wait, not spin");

    // Once the peer reads again, writes go through.
    QVERIFY(!pty.DrainMaster(300).isEmpty());
    QVERIFY(port.WriteChar('y'));
    const QByteArray rest = pty.DrainMaster(300);
    QVERIFY(rest.endsWith('y'));
}

void VaCommReliabilityTest::hangUp_data() {
    QTest::addColumn<bool>("onMainThread");
    QTest::addColumn<bool>("direct");
    QTest::addColumn<bool>("eventThread");
    QTest::newRow("window settings, main-thread delivery") << true << true << true;
    QTest::newRow("delivery on the event thread") << false << true << true;
    QTest::newRow("queued writes") << true << false << true;
    // The writer thread alone must notice the hang-up, report it and stop
    // watching the device.
    QTest::newRow("queued writes, no event thread") << true << false << false;
}

void VaCommReliabilityTest::hangUp() {
    QFETCH(bool, onMainThread);
    QFETCH(bool, direct);
    QFETCH(bool, eventThread);
    PtyPair pty;
    TVaComm port;
    WindowSettings(port);
    port.SetDirectWrite(direct);
    if (!eventThread)
        port.SetMonitorEvents({});
    port.SetDeviceName(pty.SlavePath());
    if (onMainThread)
        port.SetPostToMain(QtMainThreadPoster());
    std::atomic<int> errorEvents{0};
    std::atomic<int> errorBits{0};
    port.OnError = [&](TVaCustomComm&, int errors) {
        ++errorEvents;
        errorBits = errors;
    };
    std::set<long> before = ThreadIds();
    port.Open();
    std::set<long> portThreads;
    for (long id : ThreadIds())
        if (!before.count(id))
            portThreads.insert(id);
    QCOMPARE(int(portThreads.size()), (direct ? 0 : 1) + (eventThread ? 1 : 0));

    pty.CloseMaster();
    QTRY_COMPARE(errorEvents.load(), 1);
    QCOMPARE(uint32_t(errorBits.load()) & VaLineError::IoError, VaLineError::IoError);

    const long cpuBefore = CpuOfThreads(portThreads);
    if (!direct)
        QCOMPARE(port.WriteBuf("abc", 3), 3); // queued; the writer cannot send it
    QTest::qWait(2000);
    QVERIFY2(CpuOfThreads(portThreads) - cpuBefore <= 60, "a hung-up port must not spin");
    QCOMPARE(errorEvents.load(), 1);

    if (direct) {
        try {
            port.WriteChar('x');
            QFAIL("a write to a hung-up device must fail");
        } catch (const EVaCommError& e) {
            QCOMPARE(QString(e.what()), QString("Write error (5), Input/output error"));
        }
    }
    QElapsedTimer timer;
    timer.start();
    port.Close();
    QVERIFY(timer.elapsed() < 1500);
    QVERIFY(!port.Active());
}

QTEST_GUILESS_MAIN(VaCommReliabilityTest)
#include "VaCommReliabilityTest.moc"
