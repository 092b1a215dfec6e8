// The device buttons and the timed "Programar" sequence.
//
// A locking operation stops the editor refresh (Timer1) and disables the
// OperationControls while it sends, so the model cannot change under it. A
// write to the port may raise (a USB adapter pulled out mid-transfer, a line
// that takes no byte within the write limit); the error goes on to the
// window's error display, but never before the window has been unlocked
// again, or the operator would be locked out for good.
#include "app/TForm1.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <utility>

namespace {

constexpr int OpeningPauseMs = 250;
constexpr int StepIntervalMs = 500;
constexpr int ConfigPauseMs = 200;
constexpr int LastLineStep = ConfigurationModel::LinesPerBand; // steps 1 to 4
constexpr int BandsFrameStep = 5;                              // frame 17
constexpr int MoreBandsFrameStep = 6;                          // frame 18
constexpr int EndStep = 7;

// Every device operation starts here: with no port open it asks the operator
// for one, and the operation sends nothing and changes nothing.
bool portReady(TForm1& form) {
    if (form.PortOpen)
        return true;
    form.Log(QStringLiteral("> Abra porta Serial para enviar dados."));
    form.Log(QStringLiteral(" "));
    return false;
}

// Disabling the focused button hands the focus on along the tab chain, past
// every disabled control, to the log; the unlock gives it back.
void lockWindow(TForm1& form) {
    form.Timer1->stop();
    form.FocusAtLock = form.focusWidget();
    form.SetOperationControlsEnabled(false);
}

enum class BusyPanel { Untouched, Hide };

void unlockWindow(TForm1& form, BusyPanel panel) {
    form.SetOperationControlsEnabled(true);
    if (QWidget* focus = std::exchange(form.FocusAtLock, nullptr); focus && focus->isEnabled())
        focus->setFocus(Qt::OtherFocusReason);
    if (panel == BusyPanel::Hide)
        form.Panel1->hide();
    form.Timer1->start();
}

// Holds the window locked for one operation that runs inside its handler and
// unlocks it when the handler leaves, by return or by exception.
class WindowLock {
public:
    WindowLock(TForm1& form, BusyPanel panel) : form_(form), panel_(panel) { lockWindow(form_); }
    ~WindowLock() { unlockWindow(form_, panel_); }
    WindowLock(const WindowLock&) = delete;
    WindowLock& operator=(const WindowLock&) = delete;

private:
    TForm1& form_;
    BusyPanel panel_;
};

// The end of "Programar": its last step, and also where a step that failed
// goes at once.
void endProgramming(TForm1& form) {
    form.Timer2->stop();
    form.SendStep = EndStep;
    unlockWindow(form, BusyPanel::Hide);
}

} // namespace

void TForm1::ConnectOperationHandlers() {
    connect(Button1, &QPushButton::clicked, this, guarded(&TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(&TForm1::Button2Click));
    connect(Button3, &QPushButton::clicked, this, guarded(&TForm1::Button3Click));
    connect(Button5, &QPushButton::clicked, this, guarded(&TForm1::Button5Click));
    connect(Button6, &QPushButton::clicked, this, guarded(&TForm1::Button6Click));
    connect(Button8, &QPushButton::clicked, this, guarded(&TForm1::Button8Click));
    // The printer is paced by these ticks alone; a coarse timer may fire up
    // to 5 % late, which adds up over the six steps.
    Timer2->setTimerType(Qt::PreciseTimer);
    connect(Timer2, &QTimer::timeout, this, guarded(&TForm1::Timer2Timer));
}

void TForm1::Button1Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Programar texto linhas: "));
    Log(QStringLiteral("  ") + ComboBox1->currentText());
    lockWindow(*this);
    Panel1->show();
    try {
        envia_e2p();
    } catch (...) {
        endProgramming(*this);
        throw;
    }
    QThread::msleep(OpeningPauseMs);
    Timer2->setInterval(StepIntervalMs);
    Timer2->start();
    SendStep = 0;
}

void TForm1::Timer2Timer() {
    // Stopped while the frame is written, so that each interval counts from
    // the end of the previous step.
    Timer2->stop();
    ++SendStep;
    if (SendStep >= EndStep) {
        endProgramming(*this);
        return;
    }
    try {
        if (SendStep <= LastLineStep) {
            const auto k = static_cast<std::size_t>(
                ConfigurationModel::LineIndex(Model.CurrentBand, SendStep));
            FrameLineId = static_cast<uint8_t>(k + 1);
            FrameLineStyle =
                Model.LineEnabled.at(k) ? static_cast<uint8_t>(Model.LineStyle.at(k)) : 0;
            LineBuffer = Model.BandLineText.at(k);
            envia_linha();
        } else if (SendStep == BandsFrameStep) {
            envia_status();
        } else if (SendStep == MoreBandsFrameStep) {
            envia_statuss();
        }
    } catch (...) {
        endProgramming(*this);
        throw;
    }
    Timer2->start();
}

void TForm1::Button6Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Envia configuração para impressora: "));
    Log(QStringLiteral("  "));
    const WindowLock lock(*this, BusyPanel::Hide);
    Panel1->show();
    envia_status();
    QThread::msleep(ConfigPauseMs);
    envia_statuss();
}

void TForm1::Button5Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Acertar relógio interno da impressora:"));
    Log(QStringLiteral("  "));
    const WindowLock lock(*this, BusyPanel::Hide);
    envia_relogio();
}

void TForm1::Button2Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Imprime ticket:"));
    Log(QStringLiteral("  ") + ComboBox1->currentText());
    const WindowLock lock(*this, BusyPanel::Untouched);
    imprime_banda();
}

void TForm1::Button3Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Inicializar impressora."));
    Log(QStringLiteral("  Carrega valores iniciais das bandas 1-4."));
    envia_inicializa();
}

void TForm1::Button8Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Imprime relatório programação impressora."));
    Log(QStringLiteral("  "));
    imprime_relatorio();
}
