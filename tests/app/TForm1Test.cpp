#include "app/TForm1.h"
#include "widgets/TUpDown.h"
#include "widgets/TVrLed.h"
#include "widgets/TVrNumEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <set>
#include <stdexcept>

namespace {

QStringList items(const QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

// Controls on the window's panels (and the log) that are enabled right now,
// sorted by name.
QStringList enabledControls(const TForm1& form) {
    QStringList names;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        const QWidget* parent = w->parentWidget();
        const bool onWindow = parent == &form || parent == form.Panel2 || parent == form.Panel3 ||
                              parent == form.Panel4;
        if (!onWindow || w->objectName().startsWith("Panel") ||
            w->objectName().startsWith("Label") || w->objectName().contains("Dialog") ||
            w == form.Led1)
            continue;
        if (w->isEnabled())
            names << w->objectName();
    }
    names.sort();
    return names;
}

QStringList names(std::initializer_list<const char*> list) {
    QStringList sorted;
    for (const char* n : list)
        sorted << QLatin1String(n);
    sorted.sort();
    return sorted;
}

} // namespace

class TForm1Test : public QObject {
    Q_OBJECT
private slots:
    void freshStartShowsTheOperatorsStartScreen() {
        TForm1 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Impressora - QRV 1.1"));
        QCOMPARE(form.size(), QSize(429, 363));
        QCOMPARE(form.LogLines(),
                 QStringList({QStringLiteral("> Escolha Banda para iniciar."), "", ""}));
        QCOMPARE(form.Label9->text(), QStringLiteral("Data: 23/02/03  "));
        QCOMPARE(form.Label20->text(), QStringLiteral("Hora: 12:00:00"));
        QCOMPARE(form.Label7->text(), QStringLiteral("Ticket sem rodapé."));
        for (QLabel* counter : {form.Label12, form.Label14, form.Label16})
            QCOMPARE(counter->text(), QStringLiteral("00"));
        QCOMPARE(form.Up1->Position(), 4);
        QCOMPARE(form.Edit5->text(), QStringLiteral("4"));
        QVERIFY(form.Edit5->isReadOnly());
        QCOMPARE(enabledControls(form), names({"ComboBox1", "Button7", "Memo1"}));
        QVERIFY(form.Panel1->isHidden());
        QCOMPARE(form.Panel1->text(), QStringLiteral("AGUARDE"));
        QVERIFY(!form.Timer1->isActive());
        QVERIFY(!form.Timer2->isActive());
        QCOMPARE(form.Timer2->interval(), 500);
        QVERIFY(!form.Led1->Active());
        QVERIFY(!form.PortOpen);
        QVERIFY(!form.windowIcon().isNull());
        // The PNGs embedded from the build: a missing one still leaves a non-null icon.
        QCOMPARE(form.windowIcon().availableSizes(),
                 QList<QSize>({{32, 32}, {48, 48}, {128, 128}, {256, 256}}));
    }

    void listsHoldTheirItemsWithNothingChosen() {
        TForm1 form;
        const QStringList styles{"Enfatizado", "Normal", "Expandido", "Dupla Altura"};
        QStringList ports;
        for (int n = 1; n <= 10; ++n)
            ports << QStringLiteral("Com%1").arg(n);
        const std::pair<QComboBox*, QStringList> expected[] = {
            {form.ComboBox1, {"Banda 1", "Banda 2", "Banda 3", "Banda 4"}},
            {form.ComboBox8, {"Ligar", "0:00 Hs"}},
            {form.ComboBox10, {"      0:00 Hs", "Final Banda"}},
            {form.ComboBox11, {"Bematech", "Mecaf", ""}},
            {form.ComboBox12, {"Vinculo", "8 bytes"}},
            {form.ComboBox5, ports},
            {form.ComboBox2, styles},
            {form.ComboBox3, styles},
            {form.ComboBox4, styles},
            {form.ComboBox7, styles},
        };
        for (const auto& [box, list] : expected) {
            QCOMPARE(items(box), list);
            QCOMPARE(box->currentIndex(), -1);
            QVERIFY(!box->isEditable());
        }
    }

    void fieldsAndFlagsStartAsTheLayoutSays() {
        TForm1 form;
        for (int line = 1; line <= 4; ++line) {
            QLineEdit* edit = form.LineEdit(line);
            QCOMPARE(edit->maxLength(), 20);
            QVERIFY(edit->text().isEmpty());
            QCOMPARE(edit->toolTip(), QStringLiteral("Duplo Click Apaga"));
            QVERIFY(form.LineFlagBox(line)->isChecked());
            QCOMPARE(form.LineFlagBox(line)->accessibleName(),
                     QStringLiteral("Imprimir linha %1").arg(line));
        }
        for (QCheckBox* box : {form.CheckBox4, form.CheckBox5, form.CheckBox7}) {
            QVERIFY(box->isChecked());
            QVERIFY(box->text().isEmpty());
            QVERIFY(!box->accessibleName().isEmpty());
        }
        for (TVrNumEdit* edit : {form.VrNumEdit1, form.VrNumEdit2}) {
            QCOMPARE(edit->text(), QStringLiteral("1"));
            QCOMPARE(edit->MinValue(), 1.0);
            QCOMPARE(edit->MaxValue(), 999.0);
            QCOMPARE(edit->MaxLength(), 4);
            QVERIFY(edit->alignment() & Qt::AlignRight);
            QCOMPARE(edit->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::black));
            QCOMPARE(edit->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));
            // Disabled at start, it looks like the other disabled fields.
            QVERIFY(!edit->isEnabled() && !form.Edit1->isEnabled());
            for (const QPalette::ColorRole role : {QPalette::Text, QPalette::Base})
                QCOMPARE(edit->palette().color(role), form.Edit1->palette().color(role));
        }
        QCOMPARE(form.VrNumEdit1->accessibleName(), QStringLiteral("Início da banda"));
        QCOMPARE(form.Up1->Min(), 1);
        QCOMPARE(form.Up1->Max(), 4);
        QCOMPARE(form.Memo1->geometry(), QRect(0, 312, 433, 52));
        QCOMPARE(form.Led1->geometry(), QRect(100, 102, 25, 17));
        QCOMPARE(form.Led1->LedType(), TVrLedType::ltLargeRect);
        QCOMPARE(form.Button1->text(), QStringLiteral("Programar"));
        QCOMPARE(form.Button5->text(), QStringLiteral("Relógio"));
        QCOMPARE(form.Button3->text(), QStringLiteral("Re Iniciar"));
    }

    void modelGetsThePlaceholderTexts() {
        TForm1 form;
        QCOMPARE(form.Model.BandLineText[0], std::string("* BANDA 1 LINHA  1 *"));
        QCOMPARE(form.Model.BandLineText[15], std::string("* BANDA 4 LINHA  4 *"));
        QCOMPARE(form.Model.CurrentBand, 1);
        QVERIFY(!form.Model.FirstBandSelected);
    }

    void focusMovesThroughThePanelsInOrder() {
        TForm1 form;
        QStringList chain;
        QWidget* w = form.VrNumEdit1;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && form.isAncestorOf(w))
                chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w != form.VrNumEdit1);
        const QStringList expected{
            "VrNumEdit1", "VrNumEdit2", "Edit5",      "Up1",       "CheckBox5",  "CheckBox7",
            "CheckBox4",  "Button1",    "Button2",    "Button3",   "Button4",    "Button5",
            "Button6",    "Button7",    "Button8",    "ComboBox5", "ComboBox11", "ComboBox12",
            "ComboBox1",  "ComboBox8",  "ComboBox10", "CheckBox1", "ComboBox2",  "Edit1",
            "CheckBox2",  "ComboBox3",  "Edit2",      "CheckBox3", "ComboBox4",  "Edit3",
            "CheckBox6",  "ComboBox7",  "Edit4",      "Memo1"};
        QCOMPARE(chain, expected);
    }

    void enaSwitchesOnExactlyTheEditorAndTheCommands() {
        TForm1 form;
        form.ena();
        auto expected = names(
            {"Edit1",      "Edit2",      "Edit3",     "Edit4",     "ComboBox2",  "ComboBox3",
             "ComboBox4",  "ComboBox5",  "ComboBox7", "ComboBox8", "Up1",        "ComboBox10",
             "ComboBox11", "ComboBox12", "CheckBox1", "CheckBox2", "CheckBox3",  "CheckBox4",
             "CheckBox5",  "CheckBox6",  "CheckBox7", "Button1",   "Button2",    "Button3",
             "Button4",    "Button5",    "Button6",   "Button8",   "VrNumEdit1", "VrNumEdit2"});
        QCOMPARE(expected.size(), 30);
        expected << "ComboBox1"
                 << "Button7"
                 << "Memo1";
        expected.sort();
        QCOMPARE(enabledControls(form), expected);
        QVERIFY(!form.Edit5->isEnabled());
    }

    void operationControlsAreThirtyDistinctControls() {
        TForm1 form;
        const auto controls = form.OperationControls();
        std::set<QString> unique;
        for (QWidget* w : controls)
            unique.insert(w->objectName());
        QCOMPARE(controls.size(), std::size_t(30));
        QCOMPARE(unique.size(), std::size_t(30));
        QVERIFY(!unique.count("VrNumEdit1") && !unique.count("Memo1") && !unique.count("Edit5"));
        form.SetOperationControlsEnabled(true);
        for (QWidget* w : controls)
            QVERIFY(w->isEnabled());
        form.SetOperationControlsEnabled(false);
        for (QWidget* w : controls)
            QVERIFY(!w->isEnabled());
    }

    void logAppendsLinesAtTheEnd() {
        TForm1 form;
        form.Log(QStringLiteral("> Linha"));
        form.Log(QStringLiteral(" "));
        const QStringList lines = form.LogLines();
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.mid(3), QStringList({"> Linha", " "}));
    }

    void errorsThatEscapeAHandlerReachTheErrorDisplay() {
        TForm1 form;
        QStringList shown;
        form.ShowError = [&](const QString& text) { shown << text; };
        bool after = false;
        form.Guard([] { throw std::runtime_error("Write error (5), Input/output error"); });
        form.Guard([&] { after = true; });
        QCOMPARE(shown, QStringList{"Write error (5), Input/output error"});
        QVERIFY(after);
    }

    void fullStopRule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Unable to write to /x/a.snh"
                                << "Unable to write to /x/a.snh.";
        QTest::newRow("digit") << "Error 5"
                               << "Error 5.";
        QTest::newRow("full stop") << "Specified device not found (COM7)."
                                   << "Specified device not found (COM7).";
        QTest::newRow("parenthesis") << "device (x)"
                                     << "device (x)";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fullStopRule() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(TForm1::WithFullStop(text), shown);
    }

    void closingWithNoPortOpenedEndsCleanly() {
        TForm1 form;
        QStringList shown;
        form.ShowError = [&](const QString& text) { shown << text; };
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.close());
        QVERIFY(shown.isEmpty());
        QVERIFY(!form.VaComm1.Active());
    }
};

QTEST_MAIN(TForm1Test)
#include "TForm1Test.moc"
