// Where the window's controls and the data meet: ReadConfiguration and
// ShowConfiguration, and the clock reading of "Relógio".
#include "app/TForm1.h"
#include "widgets/TUpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QtTest>

namespace {

// The option controls of the window by name.
void setControl(TForm1& form, const QString& name, int value) {
    if (auto* box = form.findChild<QCheckBox*>(name))
        box->setChecked(value != 0);
    else if (auto* list = form.findChild<QComboBox*>(name))
        list->setCurrentIndex(value);
    else if (name == QLatin1String("Up1"))
        form.Up1->SetPosition(value);
    else
        QFAIL(qPrintable("no control " + name));
}

} // namespace

class TForm1ConfigurationTest : public QObject {
    Q_OBJECT
private slots:
    // From a window with every box unchecked and every list on its first
    // item, one control at a time: the option it stands for and the bit it
    // sets in the configuration frames.
    void readConfigurationFollowsTheControls_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("bandCount");
        QTest::newRow("none") << "CheckBox5" << 0 << 0x00 << 4;
        QTest::newRow("date") << "CheckBox5" << 1 << 0x01 << 4;
        QTest::newRow("time") << "CheckBox7" << 1 << 0x02 << 4;
        QTest::newRow("footer") << "CheckBox4" << 1 << 0x04 << 4;
        QTest::newRow("8 bytes") << "ComboBox12" << 1 << 0x08 << 4;
        QTest::newRow("0:00 Hs resets") << "ComboBox8" << 1 << 0x10 << 4;
        QTest::newRow("Final Banda reloads") << "ComboBox10" << 1 << 0x20 << 4;
        QTest::newRow("Mecaf") << "ComboBox11" << 1 << 0x40 << 4;
        QTest::newRow("empty printer item") << "ComboBox11" << 2 << 0x00 << 4;
        QTest::newRow("no protocol chosen") << "ComboBox12" << -1 << 0x00 << 4;
        QTest::newRow("two bands") << "Up1" << 2 << 0x00 << 2;
    }
    void readConfigurationFollowsTheControls() {
        QFETCH(QString, control);
        QFETCH(int, value);
        QFETCH(int, bits);
        QFETCH(int, bandCount);
        TForm1 form;
        for (QCheckBox* box : {form.CheckBox4, form.CheckBox5, form.CheckBox7})
            box->setChecked(false);
        for (QComboBox* list : {form.ComboBox8, form.ComboBox10, form.ComboBox11, form.ComboBox12})
            list->setCurrentIndex(0);
        setControl(form, control, value);
        const printer::PrinterConfiguration config = form.ReadConfiguration();
        QCOMPARE(int(config.Options.OptionBits()), bits);
        QCOMPARE(int(config.Options.BandCount), bandCount);
        if (control.startsWith("ComboBox"))
            QCOMPARE(form.findChild<QComboBox*>(control)->currentIndex(), value);
    }

    // What is shown is what is read back, and the editor state stays.
    void showThenReadGivesTheSameConfiguration() {
        TForm1 form;
        form.Model.CurrentBand = 3;
        printer::PrinterConfiguration shown;
        shown.Model.SetPlaceholderTexts();
        shown.Model.BandLineText[5] = "Aten\xE7\xE3o";
        shown.Model.LineStyle[7] = 1;
        shown.Model.LineEnabled[9] = false;
        shown.Model.Ranges[2] = {10, 1500};
        shown.Options.PrintDate = false;
        shown.Options.ResetAt = printer::ResetPolicy::Midnight;
        shown.Options.ReloadAt = printer::ReloadPolicy::BandEnd;
        shown.Options.Printer = printer::PrinterModel::Empty;
        shown.Options.Protocol = printer::ProtocolFormat::EightBytes;
        shown.Options.BandCount = 2;
        form.ShowConfiguration(shown);
        const printer::PrinterConfiguration read = form.ReadConfiguration();
        QVERIFY(read.Options == shown.Options);
        QCOMPARE(read.Model.BandLineText, shown.Model.BandLineText);
        QCOMPARE(read.Model.LineStyle, shown.Model.LineStyle);
        QCOMPARE(read.Model.LineEnabled, shown.Model.LineEnabled);
        QVERIFY(read.Model.Ranges == shown.Model.Ranges);
        QCOMPARE(form.Model.CurrentBand, 3);
        // Only the date box changed state, so only its line was logged.
        QCOMPARE(form.LogLines().mid(3),
                 QStringList({"> Impressora não imprime dia, mes e ano.", " "}));
    }

    void clockReadsTimeBeforeDate() {
        TForm1 form;
        QStringList reads;
        form.TimeOfDay = [&reads] {
            reads << "time";
            return QTime(23, 59, 58);
        };
        form.Today = [&reads] {
            reads << "date";
            return QDate(2010, 12, 31);
        };
        const protocol::ClockFields clock = form.ClockReading();
        QCOMPARE(reads, QStringList({"time", "date"}));
        QCOMPARE(QList<int>({clock.Hours, clock.Minutes, clock.Seconds, clock.Day, clock.Month,
                             clock.Year}),
                 QList<int>({23, 59, 58, 31, 12, 2010}));
    }
};

QTEST_MAIN(TForm1ConfigurationTest)
#include "TForm1ConfigurationTest.moc"
