// Band selection, the editor refresh and the handlers of the editor's fields.
#include "app/TForm1.h"

#include "model/Cp1252.h"
#include "widgets/TUpDown.h"
#include "widgets/TVrNumEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QValidator>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr int RefreshPeriodMs = 200;

// The printer cannot print a control character and a profile file cannot
// hold a line break; a character without a Windows-1252 byte would reach the
// printer as "?". So a header-line field drops both, whether typed, pasted or
// set from the model, and shows what is printed. No character outside the
// basic plane has a byte, so both halves of a surrogate pair go, and the
// field's length counts characters.
class PrintableCharacters : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override {
        QString kept;
        kept.reserve(input.size());
        int removedBeforeCaret = 0;
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (c.category() != QChar::Other_Control && cp1252::ByteOf(c.unicode()))
                kept.append(c);
            else if (i < pos)
                ++removedBeforeCaret;
        }
        input = kept;
        pos -= removedBeforeCaret;
        return Acceptable;
    }
};

QString toEditor(const std::string& bytes) {
    const std::u32string text = cp1252::Decode(bytes);
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toModel(const QString& text) {
    const QList<uint> ucs4 = text.toUcs4();
    return cp1252::Encode(std::u32string(ucs4.begin(), ucs4.end()));
}

// A field whose text is not a number (a lone "-", pasted letters) leaves the
// model's value as it was; the refresh goes on with its other steps.
void copyWholeNumber(const TVrNumEdit& field, int32_t& target) {
    double value = 0;
    try {
        value = field.GetValue();
    } catch (const EConvertError&) {
        return;
    }
    if (!std::isfinite(value))
        return;
    constexpr double low = std::numeric_limits<int32_t>::min();
    constexpr double high = std::numeric_limits<int32_t>::max();
    target = static_cast<int32_t>(std::clamp(std::trunc(value), low, high));
}

void logStyle(TForm1& form, int line, const QComboBox* box) {
    form.Log(QStringLiteral("> Estilo Linha %1:").arg(line));
    form.Log(QStringLiteral("  ") + box->currentText());
}

void logLineText(TForm1& form, int line) {
    form.Log(QStringLiteral("> Texto Linha %1:").arg(line));
    form.Log(QStringLiteral("  Duplo click limpa linha."));
}

void logLineFlag(TForm1& form, int line, const QCheckBox* box) {
    form.Log((box->isChecked() ? QStringLiteral("> Impressora imprime linha %1.")
                               : QStringLiteral("> Impressora não imprime linha %1."))
                 .arg(line));
    form.Log(QStringLiteral(" "));
}

// " ", the heading, then the detail line of the chosen position if it has one.
void logOption(TForm1& form, const QComboBox* box, const QString& heading,
               std::initializer_list<QString> details) {
    form.Log(QStringLiteral(" "));
    form.Log(heading);
    const int position = box->currentIndex();
    if (position >= 0 && position < static_cast<int>(details.size()))
        form.Log(details.begin()[position]);
}

const QString ResetAtMidnight = QStringLiteral("  Somente na  mudança do dia as 0:00hs.");

} // namespace

void TForm1::ConnectEditorHandlers() {
    connect(ComboBox1, &QComboBox::activated, this, guarded(&TForm1::ComboBox1Change));
    connect(Timer1, &QTimer::timeout, this, guarded(&TForm1::Timer1Timer));

    const std::pair<QComboBox*, void (TForm1::*)()> lists[] = {
        {ComboBox2, &TForm1::ComboBox2Click},   {ComboBox3, &TForm1::ComboBox3Click},
        {ComboBox4, &TForm1::ComboBox4Click},   {ComboBox7, &TForm1::ComboBox7Click},
        {ComboBox8, &TForm1::ComboBox8Click},   {ComboBox10, &TForm1::ComboBox10Click},
        {ComboBox11, &TForm1::ComboBox11Click}, {ComboBox12, &TForm1::ComboBox12Click}};
    for (const auto& [box, handler] : lists)
        connect(box, &QComboBox::activated, this, guarded(handler));

    // toggled fires on every real state change, the program's own included.
    const std::pair<QCheckBox*, void (TForm1::*)()> flags[] = {
        {CheckBox1, &TForm1::CheckBox1Click}, {CheckBox2, &TForm1::CheckBox2Click},
        {CheckBox3, &TForm1::CheckBox3Click}, {CheckBox4, &TForm1::CheckBox4Click},
        {CheckBox5, &TForm1::CheckBox5Click}, {CheckBox6, &TForm1::CheckBox6Click},
        {CheckBox7, &TForm1::CheckBox7Click}};
    for (const auto& [box, handler] : flags)
        connect(box, &QCheckBox::toggled, this, guarded(handler));

    connect(Up1, &TUpDown::Click, this, guarded(&TForm1::Up1Click));

    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) {
        edit->setValidator(new PrintableCharacters(edit));
        edit->installEventFilter(this);
    }
    VrNumEdit1->installEventFilter(this);
    VrNumEdit2->installEventFilter(this);
}

bool TForm1::EditorEventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick)
        return false;
    if (static_cast<const QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;

    // A double click arrives as press, release, double click, release: the
    // press has already run the click handler, so the double click runs only
    // its own handler.
    struct Field {
        QWidget* widget;
        void (TForm1::*click)();
        void (TForm1::*doubleClick)();
    };
    const Field fields[] = {{Edit1, &TForm1::Edit1Click, &TForm1::Edit1Change},
                            {Edit2, &TForm1::Edit2Click, &TForm1::Edit2Change},
                            {Edit3, &TForm1::Edit3Click, &TForm1::Edit3Change},
                            {Edit4, &TForm1::Edit4Click, &TForm1::Edit4DblClick},
                            {VrNumEdit1, &TForm1::VrNumEdit1Click, nullptr},
                            {VrNumEdit2, &TForm1::VrNumEdit2Click, nullptr}};
    for (const Field& field : fields) {
        if (watched != field.widget)
            continue;
        if (!field.widget->isEnabled())
            break;
        if (type == QEvent::MouseButtonPress)
            guarded(field.click)();
        else if (field.doubleClick)
            guarded(field.doubleClick)();
        break;
    }
    return false; // the field still handles the event itself
}

// ---- Band selection and refresh ----------------------------------------------

void TForm1::ComboBox1Change() {
    SelectBand(true, true);
}

void TForm1::SelectBand(bool copyEditorFirst, bool presetOptionLists) {
    if (copyEditorFirst && Model.FirstBandSelected)
        CopyEditorToModel();

    if (!Model.FirstBandSelected) {
        if (presetOptionLists) {
            ComboBox10->setCurrentIndex(1); // "Final Banda"
            ComboBox8->setCurrentIndex(0);  // "Ligar"
            ComboBox11->setCurrentIndex(0); // "Bematech"
            ComboBox12->setCurrentIndex(0); // "Vinculo"
        }
        Model.FirstBandSelected = true;
        ena();
        Edit5->setEnabled(true);
        Log(QStringLiteral("> Abra porta Serial para enviar dados."));
        Log(QStringLiteral(" "));
    }

    Timer1->stop();
    Timer1->setInterval(RefreshPeriodMs);

    if (ComboBox1->currentIndex() < 0)
        ComboBox1->setCurrentIndex(0);
    const int band = ComboBox1->currentIndex() + 1;
    Model.CurrentBand = band;

    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
        LineEdit(line)->setText(toEditor(Model.BandLineText[Model.LineIndex(band, line)]));
    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
        LineStyleBox(line)->setCurrentIndex(Model.LineStyle[Model.LineIndex(band, line)]);
    VrNumEdit1->SetValue(Model.BandStart(band));
    VrNumEdit2->SetValue(Model.BandEnd(band));
    // Each box whose state changes logs its line through toggled.
    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
        LineFlagBox(line)->setChecked(Model.LineEnabled[Model.LineIndex(band, line)]);

    Timer1->start();
}

void TForm1::CopyEditorToModel() {
    const int band = Model.CurrentBand;
    if (band < 1 || band > ConfigurationModel::BandCount)
        return;
    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
        Model.LineEnabled[Model.LineIndex(band, line)] = LineFlagBox(line)->isChecked();
    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
        Model.LineStyle[Model.LineIndex(band, line)] = LineStyleBox(line)->currentIndex();
    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
        Model.BandLineText[Model.LineIndex(band, line)] = toModel(LineEdit(line)->text());
    copyWholeNumber(*VrNumEdit1, Model.BandStart(band));
    copyWholeNumber(*VrNumEdit2, Model.BandEnd(band));
}

void TForm1::Timer1Timer() {
    Timer1->stop();
    Timer1->setInterval(RefreshPeriodMs);

    Label7->setText(CheckBox4->isChecked()
                        ? QStringLiteral("Aguarde sua chamada pelo painel eletrônico.")
                        : QStringLiteral("Ticket sem rodapé."));
    Label9->setText(CheckBox5->isChecked()
                        ? QStringLiteral("Data: ") + Today().toString(QStringLiteral("dd/MM/yy"))
                        : QStringLiteral("Sem Data"));
    Label20->setText(CheckBox7->isChecked() ? QStringLiteral("Hora: ") +
                                                  TimeOfDay().toString(QStringLiteral("HH:mm:ss"))
                                            : QStringLiteral("Sem Hora"));

    CopyEditorToModel();

    const QLineEdit* focused = nullptr;
    for (int line = 1; line <= ConfigurationModel::LinesPerBand && !focused; ++line)
        if (LineEdit(line)->hasFocus())
            focused = LineEdit(line);
    if (focused) {
        const int caret =
            focused->hasSelectedText() ? focused->selectionStart() : focused->cursorPosition();
        Label12->setText(QString::number(focused->text().size()));
        Label14->setText(QString::number(caret));
        Label16->setText(QStringLiteral("20"));
    } else {
        for (QLabel* counter : {Label12, Label14, Label16})
            counter->setText(QStringLiteral("00"));
    }

    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line) {
        const bool printed = LineFlagBox(line)->isChecked();
        LineEdit(line)->setEnabled(printed);
        LineStyleBox(line)->setEnabled(printed);
    }

    Timer1->start();
}

// ---- Field editors -------------------------------------------------------------

void TForm1::ComboBox2Click() {
    logStyle(*this, 1, ComboBox2);
}
void TForm1::ComboBox3Click() {
    logStyle(*this, 2, ComboBox3);
}
void TForm1::ComboBox4Click() {
    logStyle(*this, 3, ComboBox4);
}
void TForm1::ComboBox7Click() {
    logStyle(*this, 4, ComboBox7);
}

void TForm1::ComboBox8Click() {
    logOption(*this, ComboBox8, QStringLiteral("> Valor da Senha será retornada ao valor inicial:"),
              {QStringLiteral("  Ao ligar alimentação impressora."), ResetAtMidnight});
}

void TForm1::ComboBox10Click() {
    logOption(*this, ComboBox10, QStringLiteral("> Recarrega valor inicial da Senha:"),
              {ResetAtMidnight, QStringLiteral("  Com impressão valor final da Banda.")});
}

void TForm1::ComboBox11Click() {
    // The empty third item has no detail line.
    logOption(*this, ComboBox11, QStringLiteral("> Endereço da impressora:"),
              {QStringLiteral("  Número 1."), QStringLiteral("  Número 2.")});
}

void TForm1::ComboBox12Click() {
    logOption(*this, ComboBox12, QStringLiteral("> Protocolo de comunicação:"),
              {QStringLiteral("  Formato 1.4, utilizado com vinculo ao painel."),
               QStringLiteral("  Formato antigo, 8 bytes.")});
}

void TForm1::CheckBox1Click() {
    logLineFlag(*this, 1, CheckBox1);
}
void TForm1::CheckBox2Click() {
    logLineFlag(*this, 2, CheckBox2);
}
void TForm1::CheckBox3Click() {
    logLineFlag(*this, 3, CheckBox3);
}
void TForm1::CheckBox6Click() {
    logLineFlag(*this, 4, CheckBox6);
}

void TForm1::CheckBox4Click() {
    Log(QStringLiteral("> Impressora imprime:"));
    Log(CheckBox4->isChecked() ? QStringLiteral("  Aguarde se chamado pelo painel eletrônico.")
                               : QStringLiteral("  "));
}

void TForm1::CheckBox5Click() {
    Log(CheckBox5->isChecked() ? QStringLiteral("> Impressora imprime dia, mes e ano.")
                               : QStringLiteral("> Impressora não imprime dia, mes e ano."));
    Log(QStringLiteral(" "));
}

void TForm1::CheckBox7Click() {
    Log(CheckBox7->isChecked()
            ? QStringLiteral("> Impressora imprime hora, minuto e segundo.")
            : QStringLiteral("> Impressora não imprime hora, minuto e segundo."));
    Log(QStringLiteral(" "));
}

void TForm1::Edit1Click() {
    logLineText(*this, 1);
}
void TForm1::Edit2Click() {
    logLineText(*this, 2);
}
void TForm1::Edit3Click() {
    logLineText(*this, 3);
}
void TForm1::Edit4Click() {
    logLineText(*this, 4);
}

// The emptied text reaches the model at the next refresh.
void TForm1::Edit1Change() {
    Edit1->clear();
}
void TForm1::Edit2Change() {
    Edit2->clear();
}
void TForm1::Edit3Change() {
    Edit3->clear();
}
void TForm1::Edit4DblClick() {
    Edit4->clear();
}

void TForm1::Up1Click() {
    Log(QStringLiteral("> Número de bandas (botões): ") + QString::number(Up1->Position()));
    Log(QStringLiteral(" "));
}

void TForm1::VrNumEdit1Click() {
    Log(QStringLiteral("> Inicio ") + ComboBox1->currentText());
}
void TForm1::VrNumEdit2Click() {
    Log(QStringLiteral("> Final ") + ComboBox1->currentText());
}
