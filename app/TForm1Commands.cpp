// The device buttons and the timed "Programar" sequence. Each button sends
// its plan from the printer layer: "Programar" walks it step by step on
// Timer2, the others send it whole inside their click handler.
//
// A locking operation stops the editor refresh (Timer1) and disables the
// OperationControls while it sends, so the model cannot change under it. A
// write to the port may raise (a USB adapter pulled out mid-transfer, a line
// that takes no byte within the write limit); the error goes on to the
// window's error display, but never before the window has been unlocked
// again, or the operator would be locked out for good.
#include "app/TForm1.h"
#include "printer/Runner.h"

#include <QComboBox>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <utility>

namespace {

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
    form.OperationRunning = true;
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
    form.OperationRunning = false;
    if (form.HangUpPending)
        form.ClosePort();
    // Queued, so that an error that ended the operation is shown first.
    if (form.CloseRequested)
        QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
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

// The text of the exception being handled, for the journal.
std::string currentErrorText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return {};
    }
}

void sleepMs(int ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
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

// Each byte goes out on its own and must be taken within the port's write
// limit, or SendChar raises and nothing more of the plan follows. The port
// cannot be closed here: the operation was started with it open, and a
// hang-up leaves it open until the unlock (VaComm1Error), so a device gone
// away raises its own write error.
void TForm1::SendByte(uint8_t byte) {
    VaComm1.SendChar(static_cast<char>(byte));
    if (Sending && !Sending->Frames.empty())
        Sending->Frames.back().push_back(byte);
}

void TForm1::SendPlan(const printer::Plan& plan, const char* command, std::vector<int> bands,
                      bool withConfiguration) {
    BeginRecord(command, std::move(bands), plan.size(), withConfiguration);
    const printer::RunResult result = printer::Run(
        plan, [this](uint8_t byte) { SendByte(byte); }, sleepMs,
        [this](std::size_t, const printer::Plan&) { RecordStep(); });
    try {
        if (!result)
            throw EVaCommError(result.Error);
        // A device server may still hold the last bytes: done only once they
        // have all been handed over.
        VaComm1.DrainWrite();
    } catch (...) {
        EndRecord(journal::Outcome::Failed, currentErrorText());
        throw;
    }
    EndRecord(journal::Outcome::Completed);
}

protocol::ClockFields TForm1::ClockReading() const {
    // The time of day first, then the date.
    const QTime time = TimeOfDay();
    const QDate date = Today();
    return {.Hours = time.hour(),
            .Minutes = time.minute(),
            .Seconds = time.second(),
            .Day = date.day(),
            .Month = date.month(),
            .Year = date.year()};
}

// The end of "Programar": its last step, and also where a step that failed
// goes at once.
void TForm1::EndProgramming(const std::string* error) {
    Timer2->stop();
    if (error)
        EndRecord(journal::Outcome::Failed, *error);
    else
        EndRecord(journal::Outcome::Completed);
    SendStep = static_cast<int>(ProgramPlan.size());
    unlockWindow(*this, BusyPanel::Hide);
}

// Sends step SendStep of the plan, then pauses and arms Timer2 as the step
// says. A step that fails ends the sequence at once.
void TForm1::RunProgramStep() {
    const printer::PlanStep& step = ProgramPlan.at(static_cast<std::size_t>(SendStep));
    RecordStep();
    try {
        for (const uint8_t byte : step.Frame)
            SendByte(byte);
        if (SendStep + 1 == static_cast<int>(ProgramPlan.size()))
            VaComm1.DrainWrite();
    } catch (...) {
        const std::string error = currentErrorText();
        EndProgramming(&error);
        throw;
    }
    sleepMs(step.PauseMs);
    Timer2->setInterval(step.IntervalMs);
    Timer2->start();
}

void TForm1::Button1Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Programar texto linhas: "));
    Log(QStringLiteral("  ") + ComboBox1->currentText());
    lockWindow(*this);
    Panel1->show();
    // Nothing the plan reads can change before its end: the editor is
    // disabled and the refresh stopped.
    ProgramPlan = printer::ProgramPlan(ReadConfiguration(), Model.CurrentBand);
    BeginRecord("program", {Model.CurrentBand}, ProgramPlan.size(), true);
    SendStep = 0;
    RunProgramStep();
}

void TForm1::Timer2Timer() {
    // Stopped while the frame is written, so that each interval counts from
    // the end of the previous step.
    Timer2->stop();
    ++SendStep;
    if (SendStep >= static_cast<int>(ProgramPlan.size())) {
        EndProgramming();
        return;
    }
    RunProgramStep();
}

void TForm1::Button6Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Envia configuração para impressora: "));
    Log(QStringLiteral("  "));
    const WindowLock lock(*this, BusyPanel::Hide);
    Panel1->show();
    SendPlan(printer::ConfigPlan(ReadConfiguration()), "config", {}, true);
}

void TForm1::Button5Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Acertar relógio interno da impressora:"));
    Log(QStringLiteral("  "));
    const WindowLock lock(*this, BusyPanel::Hide);
    SendPlan(printer::ClockPlan(ClockReading()), "clock");
}

void TForm1::Button2Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Imprime ticket:"));
    Log(QStringLiteral("  ") + ComboBox1->currentText());
    const WindowLock lock(*this, BusyPanel::Untouched);
    SendPlan(printer::PrintPlan(Model.CurrentBand), "print", {Model.CurrentBand});
}

void TForm1::Button3Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Inicializar impressora."));
    Log(QStringLiteral("  Carrega valores iniciais das bandas 1-4."));
    SendPlan(printer::RestartPlan(), "restart");
}

void TForm1::Button8Click() {
    if (!portReady(*this))
        return;
    Log(QStringLiteral("> Imprime relatório programação impressora."));
    Log(QStringLiteral("  "));
    SendPlan(printer::ReportPlan(), "report");
}
