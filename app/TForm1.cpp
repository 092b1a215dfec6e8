#include "app/TForm1.h"
#include "app/DialogFolder.h"
#include "ports/ComName.h"

#include "widgets/TUpDown.h"
#include "widgets/TVrLed.h"
#include "widgets/TVrNumEdit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <exception>

namespace {

const QString FixedFont = QStringLiteral("Fixedsys");
const QString DialogFont = QStringLiteral("MS Sans Serif");

// Where the layout's fonts are missing, fonts of close metrics stand in:
// the style hint alone tends to pick a much wider face.
QFont pixelFont(const QString& family, int pixels, QFont::StyleHint hint) {
    QFont font(family);
    font.setStyleHint(hint);
    if (hint == QFont::TypeWriter)
        font.setFamilies({family, QStringLiteral("Liberation Mono"),
                          QStringLiteral("Nimbus Mono PS"), QStringLiteral("DejaVu Sans Mono")});
    else
        font.setFamilies({family, QStringLiteral("Microsoft Sans Serif"),
                          QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                          QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(pixels);
    return font;
}

QFont fixedFont(int pixels = 12) {
    return pixelFont(FixedFont, pixels, QFont::TypeWriter);
}
QFont dialogFont(int pixels) {
    return pixelFont(DialogFont, pixels, QFont::SansSerif);
}

template <typename W> W* place(W* widget, const char* name, int left, int top) {
    widget->setObjectName(QLatin1String(name));
    widget->move(left, top);
    return widget;
}

template <typename W> W* place(W* widget, const char* name, int left, int top, int w, int h) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(left, top, w, h);
    return widget;
}

// Palettes rather than style sheets: a style sheet costs a style of its own.
// Only the enabled colours: a disabled control keeps the style's.
void setColours(QWidget* w, const QColor& text, const QColor& base = QColor()) {
    QPalette palette = w->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Text, text);
        if (base.isValid())
            palette.setColor(group, QPalette::Base, base);
    }
    w->setPalette(palette);
}

QLabel* label(QWidget* parent, const char* name, int left, int top, const QString& text) {
    auto* l = place(new QLabel(text, parent), name, left, top);
    l->adjustSize();
    return l;
}

QComboBox* dropDown(QWidget* parent, const char* name, QRect r, const QStringList& items) {
    auto* box = place(new QComboBox(parent), name, r.x(), r.y(), r.width(), r.height());
    box->addItems(items);
    box->setCurrentIndex(-1);
    return box;
}

// The items of a list, from the printer layer's table.
template <std::size_t N> QStringList items(const std::array<std::string_view, N>& texts) {
    QStringList list;
    for (const std::string_view text : texts)
        list << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return list;
}

QCheckBox* flagBox(QWidget* parent, const char* name, int left, int top, const QString& meaning) {
    auto* box = place(new QCheckBox(parent), name, left, top, 17, 17);
    box->setChecked(true);
    box->setAccessibleName(meaning);
    return box;
}

// A queue ticket with notched sides and printed lines: the window's icon. The
// PNGs are rendered at build time from data/ticket.svg, the drawing the desktop
// menu entry shows too, and embedded, so start-up needs no SVG renderer.
QIcon ticketIcon() {
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    ShowError = [this](const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Impressora"), WithFullStop(text),
                        QMessageBox::Ok, this);
        box.exec();
    };
    buildControls();
    setTabOrder();
    ConnectEditorHandlers();
    ConnectOperationHandlers();
    ConnectSettingsHandlers();
    ConnectPortHandlers();
    Guard([this] { FormCreate(); });
}

// A command cut off by the program's end (a "Programar" between its steps)
// is kept as interrupted.
TForm1::~TForm1() {
    EndRecord(journal::Outcome::Interrupted);
}

void TForm1::buildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Impressora - QRV 1.1"));
    setWindowIcon(ticketIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(429, 363);
    setFont(dialogFont(11));
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    auto panel = [this](const char* name, QRect r) {
        auto* frame = place(new QFrame(this), name, r.x(), r.y(), r.width(), r.height());
        frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
        return frame;
    };
    Panel4 = panel("Panel4", {0, 0, 289, 193});
    Panel2 = panel("Panel2", {0, 196, 289, 112});
    Panel3 = panel("Panel3", {292, 0, 137, 308});

    // Line editor.
    QWidget* p = Panel4;
    Label1 = label(p, "Label1", 8, 8, QStringLiteral("Banda:"));
    ComboBox1 = dropDown(p, "ComboBox1", {8, 24, 81, 22},
                         {QStringLiteral("Banda 1"), QStringLiteral("Banda 2"),
                          QStringLiteral("Banda 3"), QStringLiteral("Banda 4")});
    Label6 = label(p, "Label6", 88, 8, QStringLiteral("Zerar Senha:"));
    ComboBox8 = dropDown(p, "ComboBox8", {88, 24, 89, 22}, items(printer::ResetItems));
    Label3 = label(p, "Label3", 176, 8, QStringLiteral("Recarregar Senha:"));
    ComboBox10 = dropDown(p, "ComboBox10", {178, 24, 89, 22}, items(printer::ReloadItems));
    const QStringList styles = items(printer::StyleItems);
    QLineEdit** edits[] = {&Edit1, &Edit2, &Edit3, &Edit4};
    QComboBox** styleBoxes[] = {&ComboBox2, &ComboBox3, &ComboBox4, &ComboBox7};
    QCheckBox** flags[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox6};
    const char* editNames[] = {"Edit1", "Edit2", "Edit3", "Edit4"};
    const char* styleNames[] = {"ComboBox2", "ComboBox3", "ComboBox4", "ComboBox7"};
    const char* flagNames[] = {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox6"};
    for (int i = 0; i < 4; ++i) {
        const int top = 48 + 24 * i;
        const QString n = QString::number(i + 1);
        QLineEdit* edit = place(new QLineEdit(p), editNames[i], 8, top, 169, 23);
        edit->setMaxLength(20);
        edit->setFont(fixedFont());
        edit->setToolTip(QStringLiteral("Duplo Click Apaga"));
        edit->setAccessibleName(QStringLiteral("Texto da linha ") + n);
        *edits[i] = edit;
        *styleBoxes[i] = dropDown(p, styleNames[i], {178, top, 89, 22}, styles);
        (*styleBoxes[i])->setAccessibleName(QStringLiteral("Estilo da linha ") + n);
        *flags[i] = flagBox(p, flagNames[i], 264, top, QStringLiteral("Imprimir linha ") + n);
    }
    auto counter = [p](const char* name, int top) {
        QLabel* l = label(p, name, 176, top, QStringLiteral("00"));
        l->setFont(fixedFont());
        setColours(l, Qt::blue);
        l->setMinimumWidth(24);
        l->adjustSize();
        return l;
    };
    Label15 = label(p, "Label15", 8, 144, QStringLiteral("Número Máximo de caracteres:"));
    Label16 = counter("Label16", 144);
    Label11 = label(p, "Label11", 8, 158, QStringLiteral("Número de caracteres digitados:"));
    Label12 = counter("Label12", 158);
    Label13 = label(p, "Label13", 8, 172, QStringLiteral("Posição do caracter na linha:"));
    Label14 = counter("Label14", 172);

    // Band numbers and printed extras.
    p = Panel2;
    Label19 = label(p, "Label19", 8, 12, QStringLiteral("Número de Bandas:"));
    Edit5 = place(new QLineEdit(p), "Edit5", 104, 12, 17, 23);
    Edit5->setReadOnly(true);
    Edit5->setFont(fixedFont());
    Edit5->setAccessibleName(QStringLiteral("Número de bandas"));
    Up1 = place(new TUpDown(p), "Up1", 121, 12, 15, 23);
    Up1->SetRange(1, 4);
    Up1->SetPosition(1);
    Up1->SetAssociate(Edit5);
    Up1->setAccessibleName(QStringLiteral("Número de bandas"));
    Label5 = label(p, "Label5", 8, 33, QStringLiteral("Inicio Banda:"));
    Label5->setFont(dialogFont(13));
    Label5->adjustSize();
    Label18 = label(p, "Label18", 152, 33, QStringLiteral("Final Banda:"));
    Label18->setFont(dialogFont(13));
    Label18->adjustSize();
    auto numEdit = [p](const char* name, int left, const QString& meaning) {
        auto* edit = place(new TVrNumEdit(p), name, left, 36, 41, 23);
        edit->SetMaxValue(999);
        edit->SetMinValue(1);
        edit->SetValue(1);
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->SetMaxLength(4);
        edit->setFont(fixedFont(11));
        setColours(edit, Qt::black, Qt::white);
        edit->setAccessibleName(meaning);
        return edit;
    };
    VrNumEdit1 = numEdit("VrNumEdit1", 104, QStringLiteral("Início da banda"));
    VrNumEdit2 = numEdit("VrNumEdit2", 232, QStringLiteral("Final da banda"));
    Label9 = label(p, "Label9", 8, 74, QStringLiteral("Data: 23/02/03  "));
    CheckBox5 = flagBox(p, "CheckBox5", 96, 72, QStringLiteral("Imprimir data"));
    Label20 = label(p, "Label20", 184, 74, QStringLiteral("Hora: 12:00:00"));
    CheckBox7 = flagBox(p, "CheckBox7", 262, 72, QStringLiteral("Imprimir hora"));
    Label7 = label(p, "Label7", 8, 90, QStringLiteral("Ticket sem rodapé."));
    Label7->setFont(dialogFont(11));
    Label7->setMinimumWidth(250);
    CheckBox4 = flagBox(p, "CheckBox4", 262, 88, QStringLiteral("Imprimir rodapé"));
    for (QLabel* l : {Label9, Label20})
        l->setMinimumWidth(76);

    // Printer and commands.
    p = Panel3;
    Label4 = label(p, "Label4", 8, 8, QStringLiteral("Impressora:"));
    ComboBox11 = dropDown(p, "ComboBox11", {8, 24, 89, 22}, items(printer::PrinterItems));
    Label17 = label(p, "Label17", 8, 48, QStringLiteral("Protocolo:"));
    ComboBox12 = dropDown(p, "ComboBox12", {8, 62, 89, 22}, items(printer::ProtocolItems));
    Label8 = label(p, "Label8", 8, 86, QStringLiteral("Porta serial:"));
    QStringList portNames;
    for (int n = 1; n <= ports::WindowPorts; ++n)
        portNames << QString::fromStdString(ports::WindowName(n));
    ComboBox5 = dropDown(p, "ComboBox5", {8, 100, 89, 22}, portNames);
    ComboBox5->setAccessibleName(QStringLiteral("Porta serial"));
    Led1 = place(new TVrLed(p), "Led1", 100, 102, 25, 17);
    Led1->SetLedType(TVrLedType::ltLargeRect);
    // Off is the panel colour, so an unlit lamp shows only its white frame.
    TVrPalette lamp{palette().color(QPalette::Button), QColor(255, 0, 0)};
    lamp.LowRole = QPalette::Button;
    Led1->SetPalette(lamp);
    Led1->setBackgroundRole(QPalette::Button);
    Led1->setAccessibleName(QStringLiteral("Porta serial aberta"));
    Panel1 = place(new QLabel(QStringLiteral("AGUARDE"), p), "Panel1", 16, 168, 105, 25);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFont(dialogFont(20));
    setColours(Panel1, Qt::blue);
    Panel1->hide();
    auto button = [p](const char* name, int left, int top, const QString& caption) {
        return place(new QPushButton(caption, p), name, left, top, 59, 22);
    };
    Button4 = button("Button4", 6, 203, QStringLiteral("Salvar"));
    Button7 = button("Button7", 70, 203, QStringLiteral("Abrir"));
    Button1 = button("Button1", 6, 227, QStringLiteral("Programar"));
    Button6 = button("Button6", 70, 227, QStringLiteral("Config"));
    Button5 = button("Button5", 6, 251, QStringLiteral("Relógio"));
    Button2 = button("Button2", 70, 251, QStringLiteral("Imprimir"));
    Button3 = button("Button3", 6, 275, QStringLiteral("Re Iniciar"));
    Button8 = button("Button8", 70, 275, QStringLiteral("Log"));

    // Activity log.
    Memo1 = place(new QPlainTextEdit(this), "Memo1", 0, 312, 433, 52);
    Memo1->setReadOnly(true);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setFont(fixedFont());
    setColours(Memo1, Qt::black, Qt::white);
    Memo1->setPlainText(QStringLiteral("> Escolha Banda para iniciar.\n\n"));

    // Everything but the band list, "Abrir" and the log starts disabled.
    for (QWidget* w : OperationControls())
        w->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{Edit5, VrNumEdit1, VrNumEdit2})
        w->setEnabled(false);
    ComboBox1->setEnabled(true);
    Button7->setEnabled(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(500);
}

namespace {
QFileDialog& fileDialog(QFileDialog*& dialog, QWidget* owner, const char* name) {
    if (!dialog) {
        dialog = new QFileDialog(owner);
        dialog->setObjectName(QLatin1String(name));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        // Qt starts where the last dialog ended, else in the current folder;
        // the platform may name a better one for the latter.
        const QString first = FirstDialogFolder();
        if (!first.isEmpty() && dialog->directory() == QDir::current())
            dialog->setDirectory(first);
    }
    return *dialog;
}
} // namespace

QFileDialog& TForm1::OpenDialog() {
    return fileDialog(Dialog1, this, "Dialog1");
}
QFileDialog& TForm1::SaveDialog() {
    return fileDialog(SaveDialog1, this, "SaveDialog1");
}

void TForm1::setTabOrder() {
    const QWidget* const order[] = {
        VrNumEdit1, VrNumEdit2, Edit5,      Up1,        CheckBox5, CheckBox7, CheckBox4,
        Button1,    Button2,    Button3,    Button4,    Button5,   Button6,   Button7,
        Button8,    ComboBox5,  ComboBox11, ComboBox12, ComboBox1, ComboBox8, ComboBox10,
        CheckBox1,  ComboBox2,  Edit1,      CheckBox2,  ComboBox3, Edit2,     CheckBox3,
        ComboBox4,  Edit3,      CheckBox6,  ComboBox7,  Edit4,     Memo1};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

void TForm1::FormCreate() {
    Model.SetPlaceholderTexts();
    Up1->SetPosition(4);
}

void TForm1::FormClose() {
    VaComm1.Close();
}

// A close while a device operation runs ("Programar" spans 3.75 s of
// events) would leave the printer half-programmed: the operation finishes
// first, with the busy panel up, and its unlock closes the window.
void TForm1::closeEvent(QCloseEvent* event) {
    if (OperationRunning) {
        CloseRequested = true;
        Panel1->show();
        event->ignore();
        return;
    }
    CloseRequested = false;
    Guard([this] { FormClose(); });
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    return EditorEventFilter(watched, event) || QWidget::eventFilter(watched, event);
}

void TForm1::ena() {
    for (QWidget* w : std::initializer_list<QWidget*>{
             Edit1,      Edit2,      Edit3,     Edit4,     ComboBox2,  ComboBox3,
             ComboBox4,  ComboBox5,  ComboBox7, ComboBox8, Up1,        ComboBox10,
             ComboBox11, ComboBox12, CheckBox1, CheckBox2, CheckBox3,  CheckBox4,
             CheckBox5,  CheckBox6,  CheckBox7, Button1,   Button2,    Button3,
             Button4,    Button5,    Button6,   Button8,   VrNumEdit1, VrNumEdit2})
        w->setEnabled(true);
}

void TForm1::Log(const QString& line) {
    Memo1->appendPlainText(line);
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

QStringList TForm1::LogLines() const {
    return Memo1->toPlainText().split(QLatin1Char('\n'));
}

std::vector<QWidget*> TForm1::OperationControls() const {
    return {Button1,    Button2,   Button3,   Button4,   Button5,    Button6,
            Button7,    Button8,   CheckBox1, CheckBox2, CheckBox3,  CheckBox6,
            CheckBox4,  CheckBox5, CheckBox7, ComboBox1, ComboBox2,  ComboBox3,
            ComboBox4,  ComboBox7, ComboBox5, ComboBox8, ComboBox10, ComboBox11,
            ComboBox12, Edit1,     Edit2,     Edit3,     Edit4,      Up1};
}

void TForm1::SetOperationControlsEnabled(bool enabled) {
    for (QWidget* w : OperationControls())
        w->setEnabled(enabled);
}

QLineEdit* TForm1::LineEdit(int line) const {
    return std::array{Edit1, Edit2, Edit3, Edit4}.at(line - 1);
}

QComboBox* TForm1::LineStyleBox(int line) const {
    return std::array{ComboBox2, ComboBox3, ComboBox4, ComboBox7}.at(line - 1);
}

QCheckBox* TForm1::LineFlagBox(int line) const {
    return std::array{CheckBox1, CheckBox2, CheckBox3, CheckBox6}.at(line - 1);
}

void TForm1::Guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Erro inesperado"));
    }
}

QString TForm1::WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

printer::PrinterConfiguration TForm1::ReadConfiguration() const {
    printer::PrinterConfiguration config{Model, {}};
    printer::PrinterOptions& o = config.Options;
    o.PrintDate = CheckBox5->isChecked();
    o.PrintTime = CheckBox7->isChecked();
    o.PrintFooter = CheckBox4->isChecked();
    o.ResetAt = printer::ResetPolicy(ComboBox8->currentIndex());
    o.ReloadAt = printer::ReloadPolicy(ComboBox10->currentIndex());
    o.Printer = printer::PrinterModel(ComboBox11->currentIndex());
    o.Protocol = printer::ProtocolFormat(ComboBox12->currentIndex());
    o.BandCount = static_cast<int16_t>(Up1->Position());
    return config;
}

void TForm1::ShowConfiguration(const printer::PrinterConfiguration& config) {
    Model.BandLineText = config.Model.BandLineText;
    Model.LineStyle = config.Model.LineStyle;
    Model.LineEnabled = config.Model.LineEnabled;
    Model.Ranges = config.Model.Ranges;
    const printer::PrinterOptions& o = config.Options;
    ComboBox8->setCurrentIndex(printer::Position(o.ResetAt));
    ComboBox10->setCurrentIndex(printer::Position(o.ReloadAt));
    ComboBox11->setCurrentIndex(printer::Position(o.Printer));
    ComboBox12->setCurrentIndex(printer::Position(o.Protocol));
    // In the order of their keys in a settings file, so the log reads as
    // the file is read.
    CheckBox4->setChecked(o.PrintFooter);
    CheckBox5->setChecked(o.PrintDate);
    CheckBox7->setChecked(o.PrintTime);
    Up1->SetPosition(o.BandCount);
}
