#include "app/TForm1.h"
#include "widgets/TUpDown.h"
#include "widgets/TVrNumEdit.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <limits>
#include <memory>

namespace {

constexpr int idx(int band, int line) {
    return ConfigurationModel::LineIndex(band, line);
}

const QString OpenPortFirst = QStringLiteral("> Abra porta Serial para enviar dados.");

enum Action { Choose, Click, DoubleClick, CheckTo, PressUp, PressDown };

} // namespace

class TForm1EditorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    QStringList errors;
    qsizetype logMark = 0;

    void markLog() { logMark = form->LogLines().size(); }
    QStringList newLines() const { return form->LogLines().mid(logMark); }

    // An operator's choice: one key press that lands on the item, so the list
    // emits activated exactly once, as a choice with the mouse does.
    static void choose(QComboBox* box, int index) {
        const bool down = index > 0;
        box->setCurrentIndex(down ? index - 1 : index + 1);
        QTest::keyClick(box, down ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(box->currentIndex(), index);
    }
    void selectBand(int band) { choose(form->ComboBox1, band - 1); }
    // One refresh; the timer is left stopped so that no tick of its own
    // interferes with the next steps.
    void tick() {
        form->Timer1Timer();
        QVERIFY(form->Timer1->isActive());
        form->Timer1->stop();
    }
    QPoint centre(const QWidget* w) const { return w->mapTo(form.get(), w->rect().center()); }
    // Through the window, as the platform delivers them: a double click comes
    // as press, release, double click, release.
    void click(QWidget* w) {
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, centre(w));
    }
    void doubleClick(QWidget* w) {
        QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, centre(w));
    }
    void activate() {
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

private slots:
    void init() {
        errors.clear();
        form = std::make_unique<TForm1>();
        form->ShowError = [this](const QString& text) { errors << text; };
        form->Today = [] { return QDate(2009, 2, 3); };
        form->TimeOfDay = [] { return QTime(21, 5, 9); };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        markLog();
    }

    void cleanup() {
        QCOMPARE(errors, QStringList());
        form.reset();
    }

    void firstSelectionSwitchesTheEditorOn() {
        QVERIFY(!form->Edit1->isEnabled());
        selectBand(2);
        QCOMPARE(newLines(), QStringList({OpenPortFirst, " "}));
        QCOMPARE(form->ComboBox8->currentText(), QString("Ligar"));
        QCOMPARE(form->ComboBox10->currentText(), QString("Final Banda"));
        QCOMPARE(form->ComboBox11->currentText(), QString("Bematech"));
        QCOMPARE(form->ComboBox12->currentText(), QString("Vinculo"));
        QVERIFY(form->Model.FirstBandSelected);
        QCOMPARE(form->Model.CurrentBand, 2);
        auto controls = form->OperationControls();
        controls.insert(controls.end(), {form->Edit5, form->VrNumEdit1, form->VrNumEdit2});
        for (const QWidget* w : controls)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(form->Edit3->text(), QString("* BANDA 2 LINHA  3 *"));
        QCOMPARE(form->ComboBox7->currentText(), QString("Dupla Altura"));
        QCOMPARE(form->VrNumEdit1->text(), QString("1"));
        QCOMPARE(form->VrNumEdit2->text(), QString("999"));
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->Timer1->interval(), 200);
    }

    void laterSelectionsWriteNothingAndKeepTheLists() {
        selectBand(1);
        choose(form->ComboBox8, 1);
        form->ComboBox11->setCurrentIndex(2);
        markLog();
        selectBand(3);
        selectBand(1);
        QCOMPARE(newLines(), QStringList());
        QCOMPARE(form->ComboBox8->currentIndex(), 1);
        QCOMPARE(form->ComboBox10->currentIndex(), 1);
        QCOMPARE(form->ComboBox11->currentIndex(), 2);
        QCOMPARE(form->Edit1->text(), QString("* BANDA 1 LINHA  1 *"));
    }

    // The open command sets the lists and the model from the file, chooses
    // "Banda 1" and runs SelectBand(false, false).
    void openCommandSelectionKeepsTheFileLists() {
        form->ComboBox8->setCurrentIndex(1);
        form->ComboBox10->setCurrentIndex(0);
        form->ComboBox11->setCurrentIndex(1);
        form->ComboBox12->setCurrentIndex(1);
        form->Model.BandLineText[idx(1, 1)] = "DO ARQUIVO";
        form->Model.BandStart(1) = 42;
        form->Model.BandEnd(1) = 12345; // longer than the operator may type
        form->ComboBox1->setCurrentIndex(0);
        form->SelectBand(false, false);
        QCOMPARE(newLines(), QStringList({OpenPortFirst, " "}));
        QCOMPARE(form->ComboBox8->currentIndex(), 1);
        QCOMPARE(form->ComboBox10->currentIndex(), 0);
        QCOMPARE(form->ComboBox11->currentIndex(), 1);
        QCOMPARE(form->ComboBox12->currentIndex(), 1);
        QCOMPARE(form->Edit1->text(), QString("DO ARQUIVO"));
        QCOMPARE(form->VrNumEdit1->text(), QString("42"));
        QCOMPARE(form->VrNumEdit2->text(), QString("12345"));
        QVERIFY(form->Edit1->isEnabled());
        QVERIFY(form->Timer1->isActive());
        tick();
        QCOMPARE(form->Model.BandEnd(1), 12345);
    }

    void openCommandSelectionDoesNotCopyTheEditor() {
        selectBand(2);
        form->Timer1->stop();
        form->Edit1->setText("EDITADO");
        form->VrNumEdit1->setText("77");
        form->Model.BandLineText[idx(2, 1)] = "DO ARQUIVO";
        form->Model.BandStart(2) = 42;
        form->ComboBox1->setCurrentIndex(1);
        form->SelectBand(false, false);
        QCOMPARE(form->Model.BandLineText[idx(2, 1)], std::string("DO ARQUIVO"));
        QCOMPARE(form->Model.BandStart(2), 42);
        QCOMPARE(form->Edit1->text(), QString("DO ARQUIVO"));
        QCOMPARE(form->VrNumEdit1->text(), QString("42"));
    }

    void flagLinesOnASwitch_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QList<int>>("unprinted");
        QTest::addColumn<QStringList>("expected");
        const QList<int> band2Line2{idx(2, 2)};
        QTest::newRow("line 2 printed, then not")
            << 1 << 2 << band2Line2 << QStringList{"> Impressora não imprime linha 2.", " "};
        QTest::newRow("line 2 not printed, then printed")
            << 2 << 1 << band2Line2 << QStringList{"> Impressora imprime linha 2.", " "};
        QTest::newRow("equal flags") << 1 << 3 << band2Line2 << QStringList{};
        QTest::newRow("lines 1 and 4 differ")
            << 3 << 4 << QList<int>{idx(4, 1), idx(4, 4)}
            << QStringList{"> Impressora não imprime linha 1.", " ",
                           "> Impressora não imprime linha 4.", " "};
    }
    void flagLinesOnASwitch() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QList<int>, unprinted);
        QFETCH(QStringList, expected);
        for (int i : unprinted)
            form->Model.LineEnabled[i] = false;
        selectBand(from);
        markLog();
        selectBand(to);
        QCOMPARE(newLines(), expected);
        for (int line = 1; line <= 4; ++line)
            QCOMPARE(form->LineFlagBox(line)->isChecked(), form->Model.LineEnabled[idx(to, line)]);
    }

    void countersFollowTheFocusedField() {
        activate();
        selectBand(1);
        form->Timer1->stop();
        const auto counters = [this] {
            return QStringList{form->Label12->text(), form->Label14->text(), form->Label16->text()};
        };
        form->Edit2->clear();
        click(form->Edit2);
        QVERIFY(form->Edit2->hasFocus());
        QTest::keyClicks(form->Edit2, "abc");
        tick();
        QCOMPARE(counters(), QStringList({"3", "3", "20"}));
        QTest::keyClick(form->Edit2, Qt::Key_Home);
        tick();
        QCOMPARE(counters(), QStringList({"3", "0", "20"}));
        form->Edit2->setSelection(1, 2);
        tick();
        QCOMPARE(counters(), QStringList({"3", "1", "20"}));
        form->Edit2->clear();
        tick();
        QCOMPARE(counters(), QStringList({"0", "0", "20"}));
        form->Button1->setFocus();
        tick();
        QCOMPARE(counters(), QStringList({"00", "00", "00"}));
    }

    void lineFieldsFollowTheirFlagsAtTheNextTick() {
        selectBand(1);
        form->Timer1->stop();
        click(form->CheckBox3);
        QVERIFY(!form->CheckBox3->isChecked());
        QVERIFY(form->Edit3->isEnabled());
        tick();
        QVERIFY(!form->Edit3->isEnabled());
        QVERIFY(!form->ComboBox4->isEnabled());
        QVERIFY(form->Edit2->isEnabled() && form->ComboBox3->isEnabled());
        form->Edit3->setText("AINDA COPIADA");
        tick();
        QCOMPARE(form->Model.BandLineText[idx(1, 3)], std::string("AINDA COPIADA"));
        QVERIFY(!form->Model.LineEnabled[idx(1, 3)]);
        click(form->CheckBox3);
        tick();
        QVERIFY(form->Edit3->isEnabled() && form->ComboBox4->isEnabled());
        QVERIFY(form->Model.LineEnabled[idx(1, 3)]);
        QCOMPARE(form->Edit3->text(), QString("AINDA COPIADA"));
    }

    void labelsFollowTheirCheckBoxes_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("expected");
        QTest::newRow("footer on") << "CheckBox4" << true << "Label7"
                                   << "Aguarde sua chamada pelo painel eletrônico.";
        QTest::newRow("footer off") << "CheckBox4" << false << "Label7"
                                    << "Ticket sem rodapé.";
        QTest::newRow("date on") << "CheckBox5" << true << "Label9"
                                 << "Data: 03/02/09";
        QTest::newRow("date off") << "CheckBox5" << false << "Label9"
                                  << "Sem Data";
        QTest::newRow("time on, 24 hours") << "CheckBox7" << true << "Label20"
                                           << "Hora: 21:05:09";
        QTest::newRow("time off") << "CheckBox7" << false << "Label20"
                                  << "Sem Hora";
    }
    void labelsFollowTheirCheckBoxes() {
        QFETCH(QString, box);
        QFETCH(bool, checked);
        QFETCH(QString, label);
        QFETCH(QString, expected);
        selectBand(1);
        auto* flag = form->findChild<QCheckBox*>(box);
        flag->setChecked(!checked);
        tick();
        flag->setChecked(checked);
        tick();
        QCOMPARE(form->findChild<QLabel*>(label)->text(), expected);
    }

    void typedTextSurvivesASwitchAndBack() {
        selectBand(1);
        click(form->Edit1);
        QTest::keyClick(form->Edit1, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(form->Edit1, "Fila 1");
        QCOMPARE(form->Edit1->text(), QString("Fila 1"));
        tick();
        selectBand(2);
        QCOMPARE(form->Edit1->text(), QString("* BANDA 2 LINHA  1 *"));
        selectBand(1);
        QCOMPARE(form->Edit1->text(), QString("Fila 1"));
    }

    void lastEditBeforeASwitchReachesItsBand() {
        selectBand(1);
        form->Timer1->stop();
        form->Edit2->setText("ULTIMA");
        choose(form->ComboBox3, 1);
        form->VrNumEdit2->setText("321");
        click(form->CheckBox6);
        selectBand(3);
        QCOMPARE(form->Model.BandLineText[idx(1, 2)], std::string("ULTIMA"));
        QCOMPARE(form->Model.LineStyle[idx(1, 2)], 1);
        QCOMPARE(form->Model.BandEnd(1), 321);
        QVERIFY(!form->Model.LineEnabled[idx(1, 4)]);
        QCOMPARE(form->Model.BandLineText[idx(3, 2)], std::string("* BANDA 3 LINHA  2 *"));
        QCOMPARE(form->Model.BandEnd(3), 999);
        QCOMPARE(form->Edit2->text(), QString("* BANDA 3 LINHA  2 *"));
    }

    void numericFieldReachesTheModel_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("number") << "12" << 12;
        QTest::newRow("above the field's limit") << "1500" << 1500;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("empty gives the minimum") << "" << 1;
        QTest::newRow("lone minus keeps the value") << "-" << 7;
        QTest::newRow("letters keep the value") << "ab" << 7;
        QTest::newRow("lone separator keeps the value") << "." << 7;
        QTest::newRow("infinity keeps the value") << "inf" << 7;
        QTest::newRow("beyond 32 bits") << "9e99" << std::numeric_limits<int32_t>::max();
        QTest::newRow("beyond 32 bits, negative") << "-9e9" << std::numeric_limits<int32_t>::min();
    }
    void numericFieldReachesTheModel() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        selectBand(1);
        form->Timer1->stop();
        form->Model.BandStart(1) = 7;
        form->VrNumEdit1->setText(text);
        form->VrNumEdit2->setText("500");
        form->Edit1->setText("X");
        form->CheckBox5->setChecked(false);
        tick(); // fails unless the tick restarted Timer1
        QCOMPARE(form->Model.BandStart(1), expected);
        QCOMPARE(form->Model.BandEnd(1), 500);
        QCOMPARE(form->Model.BandLineText[idx(1, 1)], std::string("X"));
        QCOMPARE(form->Label9->text(), QString("Sem Data"));
    }

    void refreshKeepsTickingWithALoneMinus() {
        selectBand(1);
        form->VrNumEdit1->setText("-");
        for (int round = 0; round < 2; ++round) {
            form->Label9->setText("xx");
            QTRY_COMPARE_WITH_TIMEOUT(form->Label9->text(), QString("Data: 03/02/09"), 5000);
        }
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->Model.BandStart(1), 1);
    }

    void handlerLogLines_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("arg"); // item, new state, Up1's start or the band
        QTest::addColumn<QStringList>("expected");
        const QString midnight = "  Somente na  mudança do dia as 0:00hs.";
        const QString reset = "> Valor da Senha será retornada ao valor inicial:";
        const QString reload = "> Recarrega valor inicial da Senha:";
        const QString address = "> Endereço da impressora:";
        const QString protocol = "> Protocolo de comunicação:";
        const QString clears = "  Duplo click limpa linha.";
        auto row = [](const QByteArray& name, const char* control, Action action, int arg,
                      const QStringList& lines) {
            QTest::newRow(name.constData()) << QString(control) << int(action) << arg << lines;
        };
        row("reset at power on", "ComboBox8", Choose, 0,
            {" ", reset, "  Ao ligar alimentação impressora."});
        row("reset at midnight", "ComboBox8", Choose, 1, {" ", reset, midnight});
        row("reload at midnight", "ComboBox10", Choose, 0, {" ", reload, midnight});
        row("reload at band end", "ComboBox10", Choose, 1,
            {" ", reload, "  Com impressão valor final da Banda."});
        row("printer 1", "ComboBox11", Choose, 0, {" ", address, "  Número 1."});
        row("printer 2", "ComboBox11", Choose, 1, {" ", address, "  Número 2."});
        row("printer empty item", "ComboBox11", Choose, 2, {" ", address});
        row("protocol 1.4", "ComboBox12", Choose, 0,
            {" ", protocol, "  Formato 1.4, utilizado com vinculo ao painel."});
        row("protocol 8 bytes", "ComboBox12", Choose, 1,
            {" ", protocol, "  Formato antigo, 8 bytes."});
        row("style line 1", "ComboBox2", Choose, 0, {"> Estilo Linha 1:", "  Enfatizado"});
        row("style line 2", "ComboBox3", Choose, 1, {"> Estilo Linha 2:", "  Normal"});
        row("style line 3", "ComboBox4", Choose, 2, {"> Estilo Linha 3:", "  Expandido"});
        row("style line 4", "ComboBox7", Choose, 3, {"> Estilo Linha 4:", "  Dupla Altura"});
        for (int line = 1; line <= 4; ++line) {
            static const char* const boxes[] = {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox6"};
            const QByteArray on = "line " + QByteArray::number(line) + " printed";
            const QByteArray off = "line " + QByteArray::number(line) + " not printed";
            row(on, boxes[line - 1], CheckTo, 1,
                {QString("> Impressora imprime linha %1.").arg(line), " "});
            row(off, boxes[line - 1], CheckTo, 0,
                {QString("> Impressora não imprime linha %1.").arg(line), " "});
        }
        row("footer on", "CheckBox4", CheckTo, 1,
            {"> Impressora imprime:", "  Aguarde se chamado pelo painel eletrônico."});
        row("footer off", "CheckBox4", CheckTo, 0, {"> Impressora imprime:", "  "});
        row("date on", "CheckBox5", CheckTo, 1, {"> Impressora imprime dia, mes e ano.", " "});
        row("date off", "CheckBox5", CheckTo, 0, {"> Impressora não imprime dia, mes e ano.", " "});
        row("time on", "CheckBox7", CheckTo, 1,
            {"> Impressora imprime hora, minuto e segundo.", " "});
        row("time off", "CheckBox7", CheckTo, 0,
            {"> Impressora não imprime hora, minuto e segundo.", " "});
        for (int line = 1; line <= 4; ++line) {
            static const char* const edits[] = {"Edit1", "Edit2", "Edit3", "Edit4"};
            const QString heading = QString("> Texto Linha %1:").arg(line);
            row(QByteArray("click line ") + QByteArray::number(line), edits[line - 1], Click, 0,
                {heading, clears});
            row(QByteArray("double click line ") + QByteArray::number(line), edits[line - 1],
                DoubleClick, 0, {heading, clears});
        }
        row("bands up from 2", "Up1", PressUp, 2, {"> Número de bandas (botões): 3", " "});
        row("bands up at 4", "Up1", PressUp, 4, {"> Número de bandas (botões): 4", " "});
        row("bands down from 4", "Up1", PressDown, 4, {"> Número de bandas (botões): 3", " "});
        row("bands down at 1", "Up1", PressDown, 1, {"> Número de bandas (botões): 1", " "});
        row("start of band 1", "VrNumEdit1", Click, 1, {"> Inicio Banda 1"});
        row("start of band 4", "VrNumEdit1", Click, 4, {"> Inicio Banda 4"});
        row("end of band 3", "VrNumEdit2", Click, 3, {"> Final Banda 3"});
    }
    void handlerLogLines() {
        QFETCH(QString, control);
        QFETCH(int, action);
        QFETCH(int, arg);
        QFETCH(QStringList, expected);
        selectBand(control.startsWith("VrNumEdit") ? arg : 1);
        form->Timer1->stop();
        auto* w = form->findChild<QWidget*>(control);
        QVERIFY(w);
        if (action == CheckTo)
            static_cast<QCheckBox*>(w)->setChecked(arg == 0);
        if (action == PressUp || action == PressDown)
            form->Up1->SetPosition(arg);
        markLog();
        switch (action) {
        case Choose:
            choose(static_cast<QComboBox*>(w), arg);
            break;
        case Click:
            click(w);
            QVERIFY(!w->property("text").toString().isEmpty());
            break;
        case DoubleClick:
            doubleClick(w);
            QCOMPARE(static_cast<QLineEdit*>(w)->text(), QString());
            break;
        case CheckTo:
            click(w);
            QCOMPARE(static_cast<QCheckBox*>(w)->isChecked(), arg == 1);
            break;
        case PressUp:
            QTest::mouseClick(form->Up1->UpButton(), Qt::LeftButton);
            break;
        case PressDown:
            QTest::mouseClick(form->Up1->DownButton(), Qt::LeftButton);
            break;
        }
        QCOMPARE(newLines(), expected);
    }

    // Typed or pasted, the field keeps only what the printer prints as shown.
    void headerFieldDropsWhatThePrinterCannotPrint_data() {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QByteArray>("fromFile");
        QTest::addColumn<QString>("kept");
        QTest::newRow("tab") << "A\tB" << QByteArray("A\tB") << "AB";
        QTest::newRow("line break") << "A\r\nB" << QByteArray("A\r\nB") << "AB";
        QTest::newRow("delete") << "A\x7f" << QByteArray("A\x7f") << "A";
        QTest::newRow("C1 control") << QString("A") + QChar(0x81) + "B"
                                    << QByteArray("A\x81"
                                                  "B")
                                    << "AB";
        QTest::newRow("accents stay") << "Atenção" << QByteArray("Aten\xE7\xE3o") << "Atenção";
        QTest::newRow("euro and dagger stay") << "€ †" << QByteArray("\x80 \x86") << "€ †";
        QTest::newRow("greek omega") << "AΩB" << QByteArray("AB") << "AB";
        QTest::newRow("o with double acute") << "Erdős" << QByteArray("Erds") << "Erds";
        QTest::newRow("emoji, a surrogate pair")
            << QString::fromUcs4(U"a\U0001F600b") << QByteArray("ab") << "ab";
        QTest::newRow("lone surrogate")
            << QString("a") + QChar(0xD800) + "b" << QByteArray("ab") << "ab";
    }
    void headerFieldDropsWhatThePrinterCannotPrint() {
        QFETCH(QString, pasted);
        QFETCH(QByteArray, fromFile);
        QFETCH(QString, kept);
        selectBand(1);
        form->Timer1->stop();
        form->Edit1->clear();
        QGuiApplication::clipboard()->setText(pasted);
        form->Edit1->paste();
        QCOMPARE(form->Edit1->text(), kept);
        QCOMPARE(form->Edit1->cursorPosition(), kept.size());
        form->Edit1->clear();
        QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, pasted);
        QCoreApplication::sendEvent(form->Edit1, &typed);
        QCOMPARE(form->Edit1->text(), kept);
        form->Model.BandLineText[idx(2, 1)] = fromFile.toStdString();
        selectBand(2);
        QCOMPARE(form->Edit1->text(), kept);
    }

    void editorConvertsWindows1252_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("reloaded");
        QTest::newRow("accents") << "Atenção" << QByteArray("Aten\xE7\xE3o") << "Atenção";
        QTest::newRow("euro and quotes") << "€ “x”" << QByteArray("\x80 \x93x\x94") << "€ “x”";
        // What the printer cannot print is dropped as the field takes it.
        QTest::newRow("no byte for it") << "Łódź"
                                        << QByteArray("\xF3"
                                                      "d")
                                        << "ód";
        QTest::newRow("outside the basic plane")
            << QString::fromUcs4(U"a\U0001F600b") << QByteArray("ab") << "ab";
    }
    void editorConvertsWindows1252() {
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        QFETCH(QString, reloaded);
        selectBand(1);
        form->Timer1->stop();
        form->Edit1->setText(typed);
        tick();
        QCOMPARE(QByteArray::fromStdString(form->Model.BandLineText[idx(1, 1)]), stored);
        selectBand(2);
        selectBand(1);
        QCOMPARE(form->Edit1->text(), reloaded);
    }
};

QTEST_MAIN(TForm1EditorTest)
#include "TForm1EditorTest.moc"
