// The window's command operations: each gathers its inputs from the model,
// the option controls or the line scratch values, builds its frame with the
// protocol core and hands it to the serial component byte by byte. With the
// port closed they do nothing at all; the calling operation has already told
// the operator.
#include "app/TForm1.h"
#include "protocol/Commands.h"
#include "widgets/TUpDown.h"

#include <QCheckBox>
#include <QComboBox>

namespace {

// A byte that the line does not take in time raises, so the command stops
// at it: no byte after it goes out, and the operation's unlock path runs.
template <typename Frame> void send(TVaComm& port, const Frame& frame) {
    for (uint8_t byte : frame.bytes())
        port.SendChar(static_cast<char>(byte));
}

// A list with no selection (position -1) sets no bit.
bool secondItem(const QComboBox* box) {
    return box->currentIndex() == 1;
}

} // namespace

void TForm1::envia_e2p() {
    if (!PortOpen)
        return;
    send(VaComm1, protocol::E2pFrame());
}

void TForm1::envia_linha() {
    if (!PortOpen)
        return;
    asc();
    send(VaComm1, protocol::LineFrame(FrameLineId, FrameLineStyle, LineBuffer));
}

namespace {

protocol::LongFrame configFrame(const TForm1& form, protocol::ConfigFrameId id) {
    const uint8_t options = protocol::OptionBits({
        .PrintDate = form.CheckBox5->isChecked(),
        .PrintTime = form.CheckBox7->isChecked(),
        .PrintFooter = form.CheckBox4->isChecked(),
        .OldProtocol = secondItem(form.ComboBox12),
        .ResetAtMidnight = secondItem(form.ComboBox8),
        .ReloadAtBandEnd = secondItem(form.ComboBox10),
        .PrinterMecaf = secondItem(form.ComboBox11),
    });
    const int firstBand = id == protocol::ConfigFrameId::Bands1And2 ? 1 : 3;
    auto range = [&form](int band) {
        return protocol::TicketRange{form.Model.BandStart(band), form.Model.BandEnd(band)};
    };
    return protocol::ConfigFrame(id, options, static_cast<uint8_t>(form.Up1->Position()),
                                 range(firstBand), range(firstBand + 1));
}

} // namespace

void TForm1::envia_status() {
    if (!PortOpen)
        return;
    send(VaComm1, configFrame(*this, protocol::ConfigFrameId::Bands1And2));
}

void TForm1::envia_statuss() {
    if (!PortOpen)
        return;
    send(VaComm1, configFrame(*this, protocol::ConfigFrameId::Bands3And4));
}

void TForm1::envia_relogio() {
    if (!PortOpen)
        return;
    // The time of day is read first, then the date.
    const QTime time = TimeOfDay();
    const QDate date = Today();
    send(VaComm1, protocol::ClockFrame({.Hours = time.hour(),
                                        .Minutes = time.minute(),
                                        .Seconds = time.second(),
                                        .Day = date.day(),
                                        .Month = date.month(),
                                        .Year = date.year()}));
}

void TForm1::imprime_banda() {
    if (!PortOpen)
        return;
    send(VaComm1, protocol::PrintBandFrame(Model.CurrentBand));
}

void TForm1::envia_inicializa() {
    if (!PortOpen)
        return;
    send(VaComm1, protocol::RestartFrame());
}

void TForm1::imprime_relatorio() {
    if (!PortOpen)
        return;
    send(VaComm1, protocol::ReportFrame());
}

void TForm1::asc() {
    protocol::ConvertAccents(LineBuffer);
}
