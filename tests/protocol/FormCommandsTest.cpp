#include "PtyPair.h"
#include "app/TForm1.h"
#include "widgets/TUpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QtTest>
#include <functional>
#include <map>

namespace {

using Operation = void (TForm1::*)();

const std::map<QString, Operation>& operationTable() {
    static const std::map<QString, Operation> ops{
        {"envia_e2p", &TForm1::envia_e2p},
        {"envia_linha", &TForm1::envia_linha},
        {"envia_status", &TForm1::envia_status},
        {"envia_statuss", &TForm1::envia_statuss},
        {"envia_relogio", &TForm1::envia_relogio},
        {"imprime_banda", &TForm1::imprime_banda},
        {"envia_inicializa", &TForm1::envia_inicializa},
        {"imprime_relatorio", &TForm1::imprime_relatorio},
    };
    return ops;
}

// A pseudo-terminal stands in for the printer: the window's port opens its
// slave side by path, and what the window writes is read at the master side.
class PortRecorder {
public:
    explicit PortRecorder(TForm1& window) : form(window) {
        if (!pty.IsOpen())
            qFatal("no pseudo-terminal");
        form.VaComm1.SetDeviceName(pty.SlavePath());
        form.VaComm1.Open();
    }
    ~PortRecorder() { form.VaComm1.Close(); }
    PortRecorder(const PortRecorder&) = delete;
    PortRecorder& operator=(const PortRecorder&) = delete;

    // The first count bytes that arrive, or fewer if a generous limit passes.
    QByteArray read(int count) { return pty.ReadMaster(count, 3000); }
    // Whatever arrives within a short wait.
    QByteArray drain() { return pty.DrainMaster(200); }

private:
    TForm1& form;
    PtyPair pty;
};

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

int byteSum(const QByteArray& bytes) {
    int sum = 0;
    for (char c : bytes)
        sum += static_cast<uint8_t>(c);
    return sum % 256;
}

// The window as the operator leaves it for the frame vectors: date, time and
// footer checked, every option list on its first item, four bands 1 to 999,
// the clock at 14:05:09 on 23/02/2003.
void prepare(TForm1& form) {
    for (QCheckBox* box : {form.CheckBox4, form.CheckBox5, form.CheckBox7})
        box->setChecked(true);
    for (QComboBox* box : {form.ComboBox8, form.ComboBox10, form.ComboBox11, form.ComboBox12})
        box->setCurrentIndex(0);
    form.Up1->SetPosition(4);
    form.Today = [] { return QDate(2003, 2, 23); };
    form.TimeOfDay = [] { return QTime(14, 5, 9); };
}

} // namespace

class FormCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void closedPortWritesNothing_data() {
        QTest::addColumn<QString>("operation");
        for (const auto& [name, op] : operationTable())
            QTest::newRow(name.toLatin1().constData()) << name;
    }

    // A closed port stops every operation before it builds anything: no byte
    // and no conversion of the line buffer.
    void closedPortWritesNothing() {
        QFETCH(QString, operation);
        TForm1 form;
        prepare(form);
        form.LineBuffer = "Aten\xE7\xE3o";
        PortRecorder port(form);
        form.PortOpen = false; // the device itself is open
        (form.*operationTable().at(operation))();
        QCOMPARE(port.drain().toHex(' '), QByteArray());
        QCOMPARE(form.LineBuffer, std::string("Aten\xE7\xE3o"));
    }

    void openPortReceivesTheFrame_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("e2p") << "envia_e2p" << hex("02 30 65 30 30 30 30 30 30 30 30 30 0D AC");
        QTest::newRow("print band 4")
            << "imprime_banda" << hex("02 30 54 34 30 30 30 30 30 30 30 30 0D B9");
        QTest::newRow("restart") << "envia_inicializa"
                                 << hex("02 30 77 30 30 30 30 30 30 30 30 30 0D 9A");
        QTest::newRow("report") << "imprime_relatorio"
                                << hex("02 30 66 30 30 30 30 30 30 30 30 30 0D AB");
        QTest::newRow("clock") << "envia_relogio"
                               << hex("02 30 52 09 05 0E 17 02 03 31 30 30 0D A6");
        QTest::newRow("config 17")
            << "envia_status"
            << hex("02 30 4C 11 07 04 30 30 30 31 30 39 39 39 30 30 30 31 30 39 39 39 30 30 30 30 "
                   "0D 61");
        QTest::newRow("config 18")
            << "envia_statuss"
            << hex("02 30 4C 12 07 04 30 30 30 31 30 39 39 39 30 30 30 31 30 39 39 39 30 30 30 30 "
                   "0D 60");
    }

    void openPortReceivesTheFrame() {
        QFETCH(QString, operation);
        QFETCH(QByteArray, expected);
        TForm1 form;
        prepare(form);
        form.Model.CurrentBand = 4;
        PortRecorder port(form);
        form.PortOpen = true;
        (form.*operationTable().at(operation))();
        QCOMPARE(port.read(int(expected.size())).toHex(' '), expected.toHex(' '));
        QCOMPARE(port.drain(), QByteArray());
    }

    // Header line 6 not printed: style 0, its text still sent, converted.
    // The buffer keeps the converted text; the model keeps its own.
    void lineFrameSendsTheConvertedBuffer() {
        TForm1 form;
        form.Model.BandLineText[5] = "Aten\xE7\xE3o";
        form.FrameLineId = 6;
        form.FrameLineStyle = 0;
        form.LineBuffer = form.Model.BandLineText[5];
        PortRecorder port(form);
        form.PortOpen = true;
        form.envia_linha();
        const QByteArray sent = port.read(28);
        QCOMPARE(sent.size(), 28);
        QCOMPARE(sent.left(5), hex("02 30 4C 06 00"));
        QCOMPARE(sent.mid(5, 21), QByteArray("Aten\x87\xC6o              "));
        QCOMPARE(byteSum(sent), 0);
        QCOMPARE(form.LineBuffer, std::string("Aten\x87\xC6o"));
        QCOMPARE(form.Model.BandLineText[5], std::string("Aten\xE7\xE3o"));
    }

    void optionControls_data() {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<int>("listIndex"); // protocol, reset and reload lists
        QTest::addColumn<int>("printerIndex");
        QTest::addColumn<int>("bits");
        QTest::newRow("nothing checked, no selection") << false << -1 << -1 << 0x00;
        QTest::newRow("checked, no selection") << true << -1 << -1 << 0x07;
        QTest::newRow("all second items") << true << 1 << 1 << 0x7F;
        QTest::newRow("second items, printer empty") << false << 1 << 2 << 0x38;
    }

    void optionControls() {
        QFETCH(bool, checked);
        QFETCH(int, listIndex);
        QFETCH(int, printerIndex);
        QFETCH(int, bits);
        TForm1 form;
        for (QCheckBox* box : {form.CheckBox4, form.CheckBox5, form.CheckBox7})
            box->setChecked(checked);
        for (QComboBox* box : {form.ComboBox8, form.ComboBox10, form.ComboBox12})
            box->setCurrentIndex(listIndex);
        form.ComboBox11->setCurrentIndex(printerIndex);
        PortRecorder port(form);
        form.PortOpen = true;
        form.envia_status();
        form.envia_statuss();
        const QByteArray sent = port.read(56);
        QCOMPARE(sent.size(), 56);
        QCOMPARE(int(uint8_t(sent[4])), bits);
        QCOMPARE(int(uint8_t(sent[28 + 4])), bits);
    }

    void singleConditionsSetTheirOwnBit() {
        TForm1 form;
        PortRecorder port(form);
        form.PortOpen = true;
        const struct {
            QCheckBox* box;
            int bit;
        } boxes[] = {{form.CheckBox5, 0x01}, {form.CheckBox7, 0x02}, {form.CheckBox4, 0x04}};
        const struct {
            QComboBox* box;
            int bit;
        } lists[] = {{form.ComboBox12, 0x08},
                     {form.ComboBox8, 0x10},
                     {form.ComboBox10, 0x20},
                     {form.ComboBox11, 0x40}};
        auto optionByte = [&form, &port] {
            form.envia_status();
            const QByteArray sent = port.read(28);
            return sent.size() == 28 ? int(uint8_t(sent[4])) : -1;
        };
        for (const auto& b : boxes)
            b.box->setChecked(false);
        QCOMPARE(optionByte(), 0);
        for (const auto& b : boxes) {
            b.box->setChecked(true);
            QCOMPARE(optionByte(), b.bit);
            b.box->setChecked(false);
        }
        for (const auto& l : lists) {
            l.box->setCurrentIndex(1);
            QCOMPARE(optionByte(), l.bit);
            l.box->setCurrentIndex(0);
        }
    }

    // Frame 17 carries bands 1 and 2, frame 18 bands 3 and 4, whatever band
    // the editor shows; Up1's position is the band count.
    void configFramesCarryTheirBands() {
        TForm1 form;
        prepare(form);
        form.Model.CurrentBand = 3;
        form.Up1->SetPosition(2);
        const int32_t values[4][2] = {{12, 345}, {6, 78}, {1500, -5}, {12345, -1000}};
        for (int band = 1; band <= 4; ++band) {
            form.Model.BandStart(band) = values[band - 1][0];
            form.Model.BandEnd(band) = values[band - 1][1];
        }
        PortRecorder port(form);
        form.PortOpen = true;
        form.envia_status();
        form.envia_statuss();
        const QByteArray sent = port.read(56);
        QCOMPARE(sent.size(), 56);
        const QByteArray f17 = sent.left(28);
        const QByteArray f18 = sent.mid(28);
        QCOMPARE(int(f17[5]), 2);
        QCOMPARE(int(f18[5]), 2);
        QCOMPARE(f17.mid(6, 20), QByteArray("00120345000600780000"));
        QCOMPARE(f18.mid(6, 20), QByteArray("150000-59999-9990000"));
        QCOMPARE(byteSum(f17), 0);
        QCOMPARE(byteSum(f18), 0);
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
        PortRecorder port(form);
        form.PortOpen = true;
        form.envia_relogio();
        QCOMPARE(reads, QStringList({"time", "date"}));
        const QByteArray sent = port.read(14);
        QCOMPARE(sent.size(), 14);
        QCOMPARE(sent.mid(2, 8).toHex(' '), QByteArray("52 3a 3b 17 1f 0c 0a 31"));
        QCOMPARE(byteSum(sent), 0);
    }

    void printFrameFollowsTheBandShown() {
        TForm1 form;
        PortRecorder port(form);
        form.PortOpen = true;
        for (int band = 1; band <= 4; ++band) {
            form.Model.CurrentBand = band;
            form.imprime_banda();
            const QByteArray sent = port.read(14);
            QCOMPARE(sent.size(), 14);
            QCOMPARE(sent[3], char('0' + band));
            QCOMPARE(byteSum(sent), 0);
        }
        QCOMPARE(port.drain(), QByteArray());
    }
};

QTEST_MAIN(FormCommandsTest)
#include "FormCommandsTest.moc"
