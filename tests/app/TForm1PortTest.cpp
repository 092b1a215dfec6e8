// Port selection on the real window: "Com3" is mapped to a pseudo-terminal
// through a temporary port map folder.

#include "PtyPair.h"
#include "app/TForm1.h"
#include "widgets/TVrLed.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace {

const QString Chosen = QStringLiteral("> Porta de comunicação escolhida: ");
const QString AskForPort = QStringLiteral("> Abra porta Serial para enviar dados.");

struct Window {
    PortMapFolder map;
    PtyPair pty;
    TForm1 form;
    QStringList errors;
    std::vector<bool> lamp; // Led1's state at each of its changes

    Window() {
        map.Map("COM3", QString::fromStdString(pty.SlavePath()));
        form.ShowError = [this](const QString& text) { errors << text; };
        QObject::connect(form.Led1, &TVrLed::OnChange, &form,
                         [this] { lamp.push_back(form.Led1->Active()); });
        form.ena();
    }

    // The operator picks entry `index` of the port list.
    void choose(int index) {
        form.ComboBox5->setCurrentIndex(index);
        emit form.ComboBox5->activated(index);
    }

    QStringList newLines(int before) const { return form.LogLines().mid(before); }
};

} // namespace

class TForm1PortTest : public QObject {
    Q_OBJECT
private slots:
    void choosingOpensThePort();
    void choosingAgainReopens();
    void missingPortShowsTheError();
    void failedChoiceAfterAnOpenPort();
    void portEventsRunOnTheWindowThread();
    void closingWhileADeliveryWaits();
    void closingTheWindowClosesThePort();
    void hangUpClosesThePort();
};

void TForm1PortTest::choosingOpensThePort() {
    Window w;
    const int before = w.form.LogLines().size();
    w.choose(2);
    QCOMPARE(w.newLines(before), (QStringList{Chosen + "Com3", "> Porta: Com3 Aberta."}));
    QVERIFY(w.form.PortOpen);
    QVERIFY(w.form.Led1->Active());
    QVERIFY(w.form.VaComm1.Active());
    QVERIFY(w.errors.isEmpty());
    const termios t = w.pty.SlaveSettings();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QVERIFY(t.c_cflag & CSTOPB);
    QVERIFY(w.form.VaComm1.WriteChar('T'));
    QCOMPARE(w.pty.ReadMaster(1), QByteArray("T"));
}

void TForm1PortTest::choosingAgainReopens() {
    Window w;
    w.choose(2);
    int closes = 0;
    w.form.VaComm1.OnClose = [&](TVaCustomComm&) { ++closes; };
    const int before = w.form.LogLines().size();
    w.lamp.clear();
    w.choose(2);
    QCOMPARE(closes, 1);
    QCOMPARE(w.newLines(before), (QStringList{Chosen + "Com3", "> Porta: Com3 Aberta."}));
    QCOMPARE(w.lamp, (std::vector<bool>{false, true}));
    QVERIFY(w.form.PortOpen);
    QVERIFY(w.form.VaComm1.WriteChar('R'));
    QCOMPARE(w.pty.ReadMaster(1), QByteArray("R"));
}

void TForm1PortTest::missingPortShowsTheError() {
    Window w;
    QTemporaryDir dir;
    const QString missing = dir.path() + "/unplugged";
    w.map.Map("COM5", missing);
    const int before = w.form.LogLines().size();
    w.choose(4);
    QCOMPARE(w.errors, QStringList{"Specified device not found (" + missing + ")."});
    QCOMPARE(w.newLines(before), QStringList{Chosen + "Com5"});
    QVERIFY(!w.form.PortOpen);
    QVERIFY(!w.form.Led1->Active());
    QVERIFY(!w.form.VaComm1.Active());
    QCOMPARE(w.form.ComboBox5->currentText(), QString("Com5"));
    const int beforeButton = w.form.LogLines().size();
    QTest::mouseClick(w.form.Button3, Qt::LeftButton); // "Re Iniciar"
    QVERIFY(w.newLines(beforeButton).contains(AskForPort));
    // The operator simply chooses again.
    w.choose(2);
    QVERIFY(w.form.PortOpen);
}

void TForm1PortTest::failedChoiceAfterAnOpenPort() {
    Window w;
    w.choose(2);
    QVERIFY(w.form.PortOpen);
    w.map.Map("COM4", "/nonexistent/serial-device");
    w.choose(3);
    QCOMPARE(w.errors, QStringList{"Specified device not found (/nonexistent/serial-device)."});
    QVERIFY(!w.form.PortOpen);
    QVERIFY(!w.form.Led1->Active());
    QVERIFY(!w.form.VaComm1.Active());
    // Com3 was really closed: another opener gets it.
    TVaComm other;
    other.SetDeviceName(w.pty.SlavePath());
    other.Open();
    QVERIFY(other.Active());
}

void TForm1PortTest::portEventsRunOnTheWindowThread() {
    Window w;
    bool onWindowThread = false;
    int txEmpty = 0;
    w.form.VaComm1.OnTxEmpty = [&](TVaCustomComm&) {
        ++txEmpty;
        onWindowThread = QThread::currentThread() == w.form.thread();
    };
    w.form.VaComm1.OnRxChar = [](TVaCustomComm& port, int) {
        port.ReadText();
        throw EVaCommError("Read error (5), Input/output error");
    };
    w.choose(2);
    QVERIFY(w.form.VaComm1.WriteChar('x'));
    QTRY_COMPARE(txEmpty, 1);
    QVERIFY(onWindowThread);
    // An error that a port event handler lets out reaches the error display.
    w.pty.WriteMaster("?");
    QTRY_COMPARE(w.errors, QStringList{"Read error (5), Input/output error"});
    QVERIFY(w.form.PortOpen);
}

void TForm1PortTest::closingWhileADeliveryWaits() {
    Window w;
    w.choose(2);
    int txEmpty = 0;
    w.form.VaComm1.OnTxEmpty = [&](TVaCustomComm&) { ++txEmpty; };
    QVERIFY(w.form.VaComm1.WriteChar('x'));
    QThread::msleep(300); // the event thread now waits for the window's thread
    w.choose(2);          // closes the port meanwhile, then reopens it
    QCOMPARE(txEmpty, 1);
    QVERIFY(w.form.PortOpen);
    QVERIFY(w.errors.isEmpty());
}

void TForm1PortTest::closingTheWindowClosesThePort() {
    Window w;
    w.form.show();
    w.choose(2);
    QVERIFY(w.form.VaComm1.Active());
    w.form.close();
    QVERIFY(!w.form.VaComm1.Active());
    QVERIFY(w.errors.isEmpty());
}

void TForm1PortTest::hangUpClosesThePort() {
    Window w;
    w.choose(2);
    QVERIFY(w.form.PortOpen);
    const int before = w.form.LogLines().size();
    w.lamp.clear();
    w.pty.CloseMaster(); // the adapter is pulled out
    QTRY_VERIFY_WITH_TIMEOUT(!w.form.PortOpen, 3000);
    QVERIFY(!w.form.VaComm1.Active());
    QCOMPARE(w.lamp, std::vector<bool>{false});
    QCOMPARE(w.newLines(before), QStringList{});
    for (QPushButton* button : {w.form.Button3, w.form.Button1}) {
        const int mark = w.form.LogLines().size();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(w.newLines(mark), (QStringList{AskForPort, " "}));
    }
    QVERIFY(w.errors.isEmpty());
}

QTEST_MAIN(TForm1PortTest)
#include "TForm1PortTest.moc"
