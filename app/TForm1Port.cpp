// Port selection: the list of ports, the lamp beside it and the window's
// serial port component.

#include "app/TForm1.h"
#include "serial/PrinterLine.h"
#include "widgets/TVrLed.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

void TForm1::ConnectPortHandlers() {
    // With the printer's line the port runs its event thread only and writes
    // on the caller's thread.
    SetPrinterLine(VaComm1);
    VaComm1.OnOpen = [this](TVaCustomComm&) { VaComm1Open(); };
    VaComm1.OnError = [this](TVaCustomComm&, int errors) { VaComm1Error(errors); };
    // Port events run on the window's thread, between its other events.
    VaComm1.SetPostToMain([](std::function<void()> work) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work),
                                  Qt::QueuedConnection);
    });
    VaComm1.OnHandlerError = [this](const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    };
    // Qt runs the two in the order they were connected: click, then change.
    connect(ComboBox5, &QComboBox::activated, this, guarded(&TForm1::ComboBox5Click));
    connect(ComboBox5, &QComboBox::activated, this, guarded(&TForm1::ComboBox5Change));
}

void TForm1::ComboBox5Click() {
    Log(QStringLiteral("> Porta de comunicação escolhida: ") + ComboBox5->currentText());
}

void TForm1::ComboBox5Change() {
    ClosePort();
    VaComm1.SetPortNum(ComboBox5->currentIndex() + 1);
    VaComm1.Open(); // raises OnOpen, so VaComm1Open has run when it returns
    QThread::msleep(20);
}

void TForm1::VaComm1Open() {
    PortOpen = true;
    Led1->SetActive(true);
    Log(QStringLiteral("> Porta: ") + ComboBox5->currentText() + QStringLiteral(" Aberta."));
}

// The component reports a device that went away (a USB adapter pulled out)
// once, as a line error. The port is closed then, so that the lamp and
// PortOpen tell the truth and the next device operation asks for a port.
// Within an operation the lamp goes out at once but the port stays open
// until the unlock: a closed port would make the steps left send nothing,
// while the open one refuses the next write with the device's error, which
// stops the operation and reaches the error display.
void TForm1::VaComm1Error(int errors) {
    if ((errors & VaLineError::IoError) == 0)
        return;
    Led1->SetActive(false);
    if (OperationRunning) {
        HangUpPending = true;
        return;
    }
    ClosePort();
}

void TForm1::ClosePort() {
    HangUpPending = false;
    VaComm1.Close();
    PortOpen = false;
    Led1->SetActive(false);
}
