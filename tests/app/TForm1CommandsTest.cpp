// The device buttons driven on the real window, with "Com3" mapped to a
// pseudo-terminal: the bytes read at its master side are what the printer
// would get.
#include "PtyPeer.h"
#include "app/TForm1.h"
#include "journal/Journal.h"
#include "widgets/TUpDown.h"
#include "widgets/TVrLed.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <array>
#include <cstdio>
#include <string_view>

using Bytes = std::vector<uint8_t>;
using Clock = PtyPeer::Clock;

Q_DECLARE_METATYPE(Bytes)

namespace {

const QString AskForPort = QStringLiteral("> Abra porta Serial para enviar dados.");

long long msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// CR, then the byte that makes the whole frame sum to 0 modulo 256.
Bytes finished(Bytes frame) {
    frame.push_back(0x0D);
    uint8_t sum = 0;
    for (uint8_t b : frame)
        sum = static_cast<uint8_t>(sum + b);
    frame.push_back(static_cast<uint8_t>(0x100 - sum));
    return frame;
}

Bytes shortFrame(char command) {
    Bytes frame{0x02, 0x30, static_cast<uint8_t>(command)};
    frame.resize(12, 0x30);
    return finished(frame);
}

Bytes lineFrame(uint8_t id, uint8_t style, std::string_view wireText) {
    Bytes frame{0x02, 0x30, 'L', id, style};
    frame.insert(frame.end(), wireText.begin(), wireText.end());
    frame.resize(26, ' ');
    return finished(frame);
}

Bytes configFrame(uint8_t id, uint8_t options, uint8_t bands, std::array<int, 4> numbers) {
    Bytes frame{0x02, 0x30, 'L', id, options, bands};
    for (int n : numbers) {
        char field[8];
        std::snprintf(field, sizeof field, "%04d", n);
        frame.insert(frame.end(), field, field + 4);
    }
    frame.resize(26, 0x30);
    return finished(frame);
}

QStringList disabledControls(const TForm1& form) {
    QStringList names;
    for (const QWidget* w : form.OperationControls())
        if (!w->isEnabled())
            names << w->objectName();
    return names;
}

QStringList allControls(const TForm1& form) {
    QStringList names;
    for (const QWidget* w : form.OperationControls())
        names << w->objectName();
    return names;
}

// What an operation may change besides the log and the line.
struct WindowState {
    QStringList disabled;
    bool busyShown = false;
    bool refreshing = false;
    bool stepping = false;
    int sendStep = 0;

    bool operator==(const WindowState&) const = default;
};

WindowState stateOf(const TForm1& form) {
    return {disabledControls(form), form.Panel1->isVisible(), form.Timer1->isActive(),
            form.Timer2->isActive(), form.SendStep};
}

// The window with "Com3" mapped to a fresh pseudo-terminal, and errors that
// escape a handler recorded instead of shown.
struct Window {
    QTemporaryDir configHome;
    QTemporaryDir stateHome;
    PtyPeer peer;
    TForm1 form;
    QStringList errors;

    Window() {
        peer.MapPort(QFile::encodeName(configHome.path()).toStdString(), 3);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
        // Every send leaves a record: never in the home of whoever runs the tests.
        qputenv("XDG_STATE_HOME", QFile::encodeName(stateHome.path()));
        form.ShowError = [this](const QString& text) { errors << text; };
        form.show();
    }

    // The operator's choice of "Com3" in the port list.
    void openCom3() {
        form.ComboBox5->setCurrentIndex(2);
        form.ComboBox5Click();
        form.ComboBox5Change();
    }

    // The operator's choice of a band (1 to 4) in the band list.
    void selectBand(int band) {
        form.ComboBox1->setCurrentIndex(band - 1);
        form.ComboBox1Change();
    }

    QStringList linesSince(qsizetype count) const { return form.LogLines().mid(count); }

    QPushButton* button(const QString& name) const { return form.findChild<QPushButton*>(name); }
};

qsizetype logMark(const TForm1& form) {
    return form.LogLines().size();
}

QStringList appended(const Window& w, qsizetype mark) {
    return w.linesSince(mark);
}

} // namespace

class TForm1CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void programarSendsBandLinesThenConfiguration();
    void closedPortChangesNothing_data();
    void closedPortChangesNothing();
    void configPausesBetweenItsFrames();
    void commandButtonSendsItsFrame_data();
    void commandButtonSendsItsFrame();
    void failingPortLeavesWindowUnlocked_data();
    void failingPortLeavesWindowUnlocked();
    void closingWhileAWriteIsStalled();
    void closingWhileProgramming_data();
    void closingWhileProgramming();
    void journalKeepsEachSend_data();
    void journalKeepsEachSend();
};

void TForm1CommandsTest::programarSendsBandLinesThenConfiguration() {
    Window w;
    ConfigurationModel& model = w.form.Model;
    model.BandStart(1) = 12;
    model.BandEnd(1) = 345;
    model.BandStart(2) = 6;
    model.BandEnd(2) = 78;
    model.BandStart(3) = 100;
    model.BandEnd(3) = 250;
    model.BandStart(4) = 500;
    model.BandEnd(4) = 999;
    const std::array<std::string, 4> texts{"Senha Preferencial", "Aten\xE7\xE3o: guich\xEA 3", "",
                                           "12345678901234567890"};
    const std::array<int32_t, 4> styles{1, 2, 3, 0};
    for (int line = 1; line <= 4; ++line) {
        const auto k = static_cast<std::size_t>(ConfigurationModel::LineIndex(3, line));
        model.BandLineText[k] = texts[static_cast<std::size_t>(line - 1)];
        model.LineStyle[k] = styles[static_cast<std::size_t>(line - 1)];
    }
    model.LineEnabled[ConfigurationModel::LineIndex(3, 2)] = false;

    w.openCom3();
    QVERIFY(w.form.PortOpen);
    w.selectBand(3);
    w.form.ComboBox12->setCurrentIndex(1); // "8 bytes"
    w.form.ComboBox11->setCurrentIndex(1); // "Mecaf"
    w.form.Up1->SetPosition(3);
    QCOMPARE(disabledControls(w.form), QStringList{});

    // Footer, date and time checked; "Final Banda", "8 bytes", "Mecaf".
    const uint8_t options = 0x6F;
    const std::vector<Bytes> expected{
        shortFrame('e'),
        lineFrame(9, 1, "Senha Preferencial"),
        lineFrame(10, 0, "Aten\x87\xC6o: guich\x88 3"),
        lineFrame(11, 3, ""),
        lineFrame(12, 0, "12345678901234567890"),
        configFrame(17, options, 3, {12, 345, 6, 78}),
        configFrame(18, options, 3, {100, 250, 500, 999}),
    };

    struct Tick {
        int step;
        Clock::time_point at;
        WindowState state;
    };
    std::vector<Tick> ticks;
    // Connected after the window's own handler, so it sees each step done.
    connect(w.form.Timer2, &QTimer::timeout, this, [&] {
        ticks.push_back({w.form.SendStep, Clock::now(), stateOf(w.form)});
    });

    const WindowState locked{allControls(w.form), true, false, true, 0};
    for (int run = 1; run <= 2; ++run) {
        const QString runName = QStringLiteral("run %1").arg(run);
        w.peer.Clear();
        ticks.clear();
        const qsizetype mark = logMark(w.form);
        const Clock::time_point click = Clock::now();
        // The second run starts from the keyboard.
        if (run == 1) {
            QTest::mouseClick(w.form.Button1, Qt::LeftButton);
        } else {
            w.form.Button1->setFocus(Qt::TabFocusReason);
            QTest::keyClick(w.form.Button1, Qt::Key_Space);
        }

        QCOMPARE(appended(w, mark), (QStringList{QStringLiteral("> Programar texto linhas: "),
                                                 QStringLiteral("  Banda 3")}));
        QCOMPARE(stateOf(w.form).disabled, locked.disabled);
        QVERIFY2(stateOf(w.form) == locked, qPrintable(runName));

        QTRY_VERIFY_WITH_TIMEOUT(w.form.SendStep == 7 && !w.form.Timer2->isActive(), 8000);
        const Clock::time_point end = Clock::now();

        const std::vector<PtyPeer::Frame> frames = w.peer.Frames();
        QCOMPARE(frames.size(), expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i)
            QVERIFY2(frames[i].Bytes == expected[i],
                     qPrintable(runName + QStringLiteral(", frame %1").arg(i)));
        QCOMPARE(w.peer.ByteCount(), std::size_t{14 + 6 * 28});

        QCOMPARE(ticks.size(), std::size_t{7});
        for (std::size_t i = 0; i < 6; ++i) {
            QCOMPARE(ticks[i].step, static_cast<int>(i + 1));
            WindowState stepping = locked;
            stepping.sendStep = ticks[i].step;
            QVERIFY2(ticks[i].state == stepping, qPrintable(runName));
        }
        QCOMPARE(ticks[6].step, 7);
        QCOMPARE(ticks[6].state.disabled, QStringList{});
        QVERIFY(ticks[6].state == (WindowState{{}, false, true, false, 7}));
        QCOMPARE(appended(w, mark).size(), 2);
        QCOMPARE(w.form.focusWidget(), w.form.Button1);

        // Real time, with slack for a loaded machine (a pause taken twice would
        // still show as 1000 ms).
        QVERIFY2(msBetween(click, frames[0].FirstByte) < 200, qPrintable(runName));
        const long long firstLine = msBetween(click, frames[1].FirstByte);
        QVERIFY2(firstLine >= 700 && firstLine < 1000, qPrintable(QString::number(firstLine)));
        for (std::size_t i = 2; i < frames.size(); ++i) {
            const long long gap = msBetween(frames[i - 1].FirstByte, frames[i].FirstByte);
            QVERIFY2(gap >= 480 && gap < 900, qPrintable(QString::number(gap)));
        }
        const long long done = msBetween(click, ticks[6].at);
        QVERIFY2(done >= 3700 && done < 4300, qPrintable(QString::number(done)));
        QVERIFY(msBetween(ticks[6].at, end) >= 0);
    }
    QCOMPARE(w.errors, QStringList{});
}

void TForm1CommandsTest::closedPortChangesNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("Programar") << QStringLiteral("Button1");
    QTest::newRow("Imprimir") << QStringLiteral("Button2");
    QTest::newRow("Re Iniciar") << QStringLiteral("Button3");
    QTest::newRow("Relógio") << QStringLiteral("Button5");
    QTest::newRow("Config") << QStringLiteral("Button6");
    QTest::newRow("Log") << QStringLiteral("Button8");
}

void TForm1CommandsTest::closedPortChangesNothing() {
    QFETCH(QString, button);
    Window w;
    // The line is really there: only the flag says the port is closed, so
    // a handler that sent anyway would show up at the peer.
    w.openCom3();
    w.selectBand(2);
    w.form.PortOpen = false;
    w.form.SendStep = 7;
    const WindowState before = stateOf(w.form);
    QVERIFY(before.refreshing);
    const qsizetype mark = logMark(w.form);

    QTest::mouseClick(w.button(button), Qt::LeftButton);
    QTest::qWait(100);

    QCOMPARE(appended(w, mark), (QStringList{AskForPort, QStringLiteral(" ")}));
    QCOMPARE(stateOf(w.form).disabled, before.disabled);
    QVERIFY(stateOf(w.form) == before);
    QCOMPARE(w.peer.ByteCount(), std::size_t{0});
    QCOMPARE(w.errors, QStringList{});
}

void TForm1CommandsTest::configPausesBetweenItsFrames() {
    Window w;
    w.form.Model.BandStart(2) = 20;
    w.form.Model.BandEnd(2) = 40;
    w.form.Model.BandStart(4) = 7;
    w.openCom3();
    w.selectBand(1);
    w.form.Timer1->stop();
    const qsizetype mark = logMark(w.form);

    QTest::mouseClick(w.button(QStringLiteral("Button6")), Qt::LeftButton);
    QTRY_COMPARE(w.peer.ByteCount(), std::size_t{56});

    // Date, time and footer checked, "Final Banda"; four bands.
    const std::vector<PtyPeer::Frame> frames = w.peer.Frames();
    QCOMPARE(frames.size(), std::size_t{2});
    QVERIFY(frames[0].Bytes == configFrame(17, 0x27, 4, {1, 999, 20, 40}));
    QVERIFY(frames[1].Bytes == configFrame(18, 0x27, 4, {1, 999, 7, 999}));
    const long long pause = msBetween(frames[0].LastByte, frames[1].FirstByte);
    QVERIFY2(pause >= 190 && pause < 500, qPrintable(QString::number(pause)));

    QCOMPARE(appended(w, mark),
             (QStringList{QStringLiteral("> Envia configuração para impressora: "),
                          QStringLiteral("  ")}));
    QCOMPARE(disabledControls(w.form), QStringList{});
    QVERIFY(stateOf(w.form) == (WindowState{{}, false, true, false, w.form.SendStep}));
    QCOMPARE(w.errors, QStringList{});
}

void TForm1CommandsTest::commandButtonSendsItsFrame_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("band");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<bool>("locks");

    QTest::newRow("Relógio at 14:05:09 on 23/02/03")
        << QStringLiteral("Button5") << 1
        << QStringList{QStringLiteral("> Acertar relógio interno da impressora:"),
                       QStringLiteral("  ")}
        << Bytes{0x02, 0x30, 0x52, 0x09, 0x05, 0x0E, 0x17, 0x02, 0x03, 0x31, 0x30, 0x30, 0x0D, 0xA6}
        << true;
    QTest::newRow("Imprimir band 2")
        << QStringLiteral("Button2") << 2
        << QStringList{QStringLiteral("> Imprime ticket:"), QStringLiteral("  Banda 2")}
        << Bytes{0x02, 0x30, 0x54, 0x32, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0D, 0xBB}
        << true;
    QTest::newRow("Re Iniciar")
        << QStringLiteral("Button3") << 4
        << QStringList{QStringLiteral("> Inicializar impressora."),
                       QStringLiteral("  Carrega valores iniciais das bandas 1-4.")}
        << Bytes{0x02, 0x30, 0x77, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0D, 0x9A}
        << false;
    QTest::newRow("Log")
        << QStringLiteral("Button8") << 3
        << QStringList{QStringLiteral("> Imprime relatório programação impressora."),
                       QStringLiteral("  ")}
        << Bytes{0x02, 0x30, 0x66, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0D, 0xAB}
        << false;
}

void TForm1CommandsTest::commandButtonSendsItsFrame() {
    QFETCH(QString, button);
    QFETCH(int, band);
    QFETCH(QStringList, log);
    QFETCH(Bytes, frame);
    QFETCH(bool, locks);

    Window w;
    w.form.Today = [] { return QDate(2003, 2, 23); };
    w.form.TimeOfDay = [] { return QTime(14, 5, 9); };
    w.openCom3();
    w.selectBand(band);
    // Something disabled and the refresh stopped before the click: a locking
    // operation ends with everything enabled and the refresh running, the
    // others leave both as they were.
    w.form.ComboBox12->setEnabled(false);
    w.form.Timer1->stop();
    const qsizetype mark = logMark(w.form);

    QTest::mouseClick(w.button(button), Qt::LeftButton);
    QTRY_COMPARE(w.peer.ByteCount(), frame.size());
    QTest::qWait(50);

    QVERIFY(w.peer.Bytes() == frame);
    QCOMPARE(appended(w, mark), log);
    const WindowState after = stateOf(w.form);
    QCOMPARE(after.disabled, locks ? QStringList{} : QStringList{QStringLiteral("ComboBox12")});
    QCOMPARE(after.refreshing, locks);
    QVERIFY(!after.busyShown);
    QVERIFY(!after.stepping);
    QCOMPARE(w.errors, QStringList{});
}

void TForm1CommandsTest::failingPortLeavesWindowUnlocked_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("bytesBeforeFailure");
    QTest::addColumn<bool>("hangUp"); // else the line stops taking bytes

    QTest::newRow("Programar, frame e") << QStringLiteral("Button1") << 0 << false;
    QTest::newRow("Programar, line 2") << QStringLiteral("Button1") << 14 + 28 << false;
    QTest::newRow("Programar, frame 18") << QStringLiteral("Button1") << 14 + 5 * 28 << false;
    QTest::newRow("Config") << QStringLiteral("Button6") << 0 << false;
    QTest::newRow("Relógio") << QStringLiteral("Button5") << 0 << false;
    QTest::newRow("Imprimir") << QStringLiteral("Button2") << 0 << false;
    // A device gone away refuses the next write; the window closes the port.
    QTest::newRow("Programar, hang-up at line 2") << QStringLiteral("Button1") << 14 + 28 << true;
    QTest::newRow("Programar, hang-up at frame 18")
        << QStringLiteral("Button1") << 14 + 5 * 28 << true;
    QTest::newRow("Config, hang-up before its frames") << QStringLiteral("Button6") << 0 << true;
    QTest::newRow("Relógio, hang-up before its frame") << QStringLiteral("Button5") << 0 << true;
    QTest::newRow("Imprimir, hang-up before its frame") << QStringLiteral("Button2") << 0 << true;
}

void TForm1CommandsTest::failingPortLeavesWindowUnlocked() {
    QFETCH(QString, button);
    QFETCH(int, bytesBeforeFailure);
    QFETCH(bool, hangUp);

    Window w;
    w.openCom3();
    w.selectBand(1);
    const auto fail = [&] { return hangUp ? (w.peer.HangUp(), std::size_t{0}) : w.peer.Stall(); };
    std::size_t filler = 0;
    if (bytesBeforeFailure == 0)
        filler = fail();

    const Clock::time_point click = Clock::now();
    // A hang-up before the click is not yet known to the window: click()
    // handles no event before the handler runs.
    if (hangUp)
        w.button(button)->click();
    else
        QTest::mouseClick(w.button(button), Qt::LeftButton);
    Clock::time_point failed = click;
    if (bytesBeforeFailure > 0) {
        QTRY_VERIFY_WITH_TIMEOUT(w.peer.ByteCount() >= std::size_t(bytesBeforeFailure), 5000);
        filler = fail();
        failed = Clock::now();
        QCOMPARE(w.peer.ByteCount(), std::size_t(bytesBeforeFailure));
    }
    QTRY_COMPARE_WITH_TIMEOUT(w.errors.size(), qsizetype{1}, 5000);
    if (hangUp) {
        QCOMPARE(w.errors.front(), QStringLiteral("Write error (5), Input/output error"));
        QTRY_VERIFY_WITH_TIMEOUT(!w.form.VaComm1.Active(), 5000);
        QVERIFY(!w.form.PortOpen);
        QVERIFY(!w.form.Led1->Active());
    } else {
        QCOMPARE(w.errors.front(), QStringLiteral("Write error (110), Connection timed out"));
        // One byte's write limit (1000 ms), then the operation stops: not a
        // limit for every byte left.
        const long long took = msBetween(failed, Clock::now());
        QVERIFY2(took < 2500, qPrintable(QString::number(took)));
    }

    const WindowState after = stateOf(w.form);
    QCOMPARE(after.disabled, QStringList{});
    QVERIFY(!after.busyShown);
    QVERIFY(after.refreshing);
    QVERIFY(!after.stepping);
    if (button == QStringLiteral("Button1"))
        QCOMPARE(after.sendStep, 7);

    // No byte after the one that failed, and nothing left running that could
    // fail again.
    if (!hangUp)
        w.peer.Resume();
    QTest::qWait(700);
    QCOMPARE(w.peer.ByteCount(), std::size_t(bytesBeforeFailure) + filler);
    QCOMPARE(w.errors.size(), qsizetype{1});
}

void TForm1CommandsTest::closingWhileAWriteIsStalled() {
    Window w;
    w.openCom3();
    w.selectBand(1);
    w.peer.Stall();
    // The operator closes the window while "Programar" waits for the line;
    // the request is handled once the window's thread is free again.
    QTimer::singleShot(0, &w.form, [&w] { w.form.close(); });
    const Clock::time_point click = Clock::now();
    w.form.Button1->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.form.VaComm1.Active(), 10000);
    const long long took = msBetween(click, Clock::now());
    QVERIFY2(took < 2500, qPrintable(QString::number(took)));
    QVERIFY(!w.form.isVisible());
    QCOMPARE(w.errors.size(), qsizetype{1});
}

void TForm1CommandsTest::closingWhileProgramming_data() {
    QTest::addColumn<int>("closeAtStep");
    QTest::newRow("after frame e") << 1;
    QTest::newRow("before frame 18") << 6;
}

void TForm1CommandsTest::closingWhileProgramming() {
    QFETCH(int, closeAtStep);
    Window w;
    w.openCom3();
    w.selectBand(2);
    bool refused = false;
    bool busyShown = false;
    connect(w.form.Timer2, &QTimer::timeout, this, [&] {
        if (w.form.SendStep != closeAtStep)
            return;
        refused = !w.form.close();
        busyShown = w.form.Panel1->isVisible() && w.form.isVisible();
    });
    w.form.Button1->click();

    QTRY_VERIFY_WITH_TIMEOUT(!w.form.isVisible(), 10000);
    QVERIFY(refused);
    QVERIFY(busyShown);
    // The whole band, and only then the close.
    QCOMPARE(w.peer.Frames().size(), std::size_t{7});
    QCOMPARE(w.form.SendStep, 7);
    QVERIFY(!w.form.VaComm1.Active());
    QCOMPARE(w.errors, QStringList{});
}

void TForm1CommandsTest::journalKeepsEachSend_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("hangUpAfter");     // bytes; -1: no hang-up
    QTest::addColumn<bool>("journalBlocked"); // a file where its folder goes
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("step");

    QTest::newRow("Programar") << QStringLiteral("Button1") << -1 << false << "program"
                               << int(journal::Outcome::Completed) << 7;
    QTest::newRow("Programar, hang-up at line 2")
        << QStringLiteral("Button1") << 14 + 28 << false << "program"
        << int(journal::Outcome::Failed) << 3;
    QTest::newRow("Config") << QStringLiteral("Button6") << -1 << false << "config"
                            << int(journal::Outcome::Completed) << 2;
    QTest::newRow("Programar, journal not writable")
        << QStringLiteral("Button1") << -1 << true << "" << 0 << 0;
}

// The record read back from the real file: the frames it holds are the bytes
// the printer got, and a journal that cannot be written changes no byte.
void TForm1CommandsTest::journalKeepsEachSend() {
    QFETCH(QString, button);
    QFETCH(int, hangUpAfter);
    QFETCH(bool, journalBlocked);
    QFETCH(QString, command);
    QFETCH(int, outcome);
    QFETCH(int, step);

    Window w;
    const QString folder = w.stateHome.filePath(QStringLiteral("impressora-qrv"));
    if (journalBlocked) {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    w.form.JournalFile = w.configHome.filePath(QStringLiteral("loja.snh"));
    w.openCom3();
    w.selectBand(2);
    const qsizetype mark = logMark(w.form);
    QTest::mouseClick(w.button(button), Qt::LeftButton);
    if (hangUpAfter >= 0) {
        QTRY_VERIFY_WITH_TIMEOUT(w.peer.ByteCount() >= std::size_t(hangUpAfter), 5000);
        w.peer.HangUp();
        QTRY_COMPARE_WITH_TIMEOUT(w.errors.size(), qsizetype{1}, 5000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!w.form.OperationRunning, 10000);
    const std::string path = folder.toStdString() + "/journal.jsonl";
    const journal::Reading read = journal::Read({path}, {});

    if (journalBlocked) {
        QCOMPARE(read.Entries.size(), std::size_t{0});
        QTRY_COMPARE_WITH_TIMEOUT(w.peer.ByteCount(), std::size_t{14 + 4 * 28 + 2 * 28}, 2000);
        const QStringList lines = appended(w, mark);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines.last().startsWith(QStringLiteral("  Histórico não gravado: ")),
                 qPrintable(lines.last()));
        QCOMPARE(w.errors, QStringList{});
        return;
    }
    QCOMPARE(read.Entries.size(), std::size_t{1});
    const journal::Record& r = read.Entries.front().Data;
    QCOMPARE(QString::fromStdString(r.Command), command);
    QCOMPARE(r.Program, std::string("impressora-qrv"));
    QCOMPARE(r.Port.Named, std::string("COM3"));
    QCOMPARE(r.Port.Device, w.peer.SlavePath());
    const std::vector<int> bands =
        command == QStringLiteral("config") ? std::vector<int>{} : std::vector<int>{2};
    QCOMPARE(r.Bands, bands);
    QCOMPARE(r.Configuration.From, journal::Source::Window);
    QCOMPARE(QString::fromStdString(r.Configuration.Path),
             QDir::toNativeSeparators(w.form.JournalFile));
    QCOMPARE(int(r.Result.What), outcome);
    QCOMPARE(r.Result.Step, step);
    QCOMPARE(r.Result.Steps, command == QStringLiteral("config") ? 2 : 7);
    if (hangUpAfter >= 0)
        QCOMPARE(QString::fromStdString(r.Result.Error), w.errors.front());
    std::string sent;
    int64_t last = -1;
    for (const journal::SentFrame& frame : r.Frames) {
        QVERIFY(frame.AtMs >= last);
        last = frame.AtMs;
        sent += frame.Hex;
    }
    QCOMPARE(r.Frames.size(), std::size_t(step));
    QTRY_COMPARE_WITH_TIMEOUT(journal::ToHex(w.peer.Bytes()), sent, 2000);
    // A "Programar" paces its steps over more than 3 s; the config's pause
    // is 250 ms.
    if (outcome == int(journal::Outcome::Completed))
        QVERIFY2(r.Frames.back().AtMs >= (command == QStringLiteral("config") ? 200 : 2500),
                 qPrintable(QString::number(r.Frames.back().AtMs)));
    QCOMPARE(appended(w, mark).size(), 2); // nothing in the log when all goes well
}

QTEST_MAIN(TForm1CommandsTest)
#include "TForm1CommandsTest.moc"
