#include "settings/SettingsFile.h"
#include "tests/support/FileOptions.h"

#include <QtTest>
#include <vector>

using namespace SettingsFile;

namespace {

QByteArray bytesOf(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}
std::string stringOf(const QByteArray& b) {
    return std::string(b.constData(), size_t(b.size()));
}

QByteArray golden(const char* name) {
    QFile file(QStringLiteral(QRV_SETTINGS_DATA "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", name);
    return file.readAll();
}

// The model as the window holds it after start-up.
ConfigurationModel startModel() {
    ConfigurationModel m;
    m.SetPlaceholderTexts();
    return m;
}

// What every key gives when nothing is read: note the style 0, not the
// model's start value 3.
ConfigurationModel defaultsModel() {
    ConfigurationModel m = startModel();
    m.LineStyle.fill(0);
    return m;
}

void compareTables(const ConfigurationModel& actual, const ConfigurationModel& expected) {
    QCOMPARE(actual.BandLineText, expected.BandLineText);
    QCOMPARE(actual.LineStyle, expected.LineStyle);
    QCOMPARE(actual.LineEnabled, expected.LineEnabled);
    for (int b = 1; b <= 4; ++b) {
        QCOMPARE(actual.BandStart(b), expected.BandStart(b));
        QCOMPARE(actual.BandEnd(b), expected.BandEnd(b));
    }
}

// The line a save writes for key, after reading body under "[Programa]".
QByteArray writtenLineAfterReading(const QByteArray& body, const QByteArray& key) {
    const QByteArray written = bytesOf(Format(Read(Parse(stringOf("[Programa]\r\n" + body)))));
    const qsizetype at = written.indexOf("\r\n" + key + "=");
    return at < 0 ? QByteArray() : written.mid(at + 2, written.indexOf("\r\n", at + 2) - at - 2);
}

} // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT
private slots:
    void parseInteger_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("42") << 42;
        QTest::newRow("leading zeros") << QByteArray("007") << 7;
        QTest::newRow("plus") << QByteArray("+5") << 5;
        QTest::newRow("minus") << QByteArray("-1") << -1;
        QTest::newRow("leading blanks") << QByteArray("  12") << 12;
        QTest::newRow("hex 0x") << QByteArray("0x10") << 16;
        QTest::newRow("hex 0X") << QByteArray("0X1f") << 31;
        QTest::newRow("hex $") << QByteArray("$10") << 16;
        QTest::newRow("hex x") << QByteArray("x10") << 16;
        QTest::newRow("hex X") << QByteArray("XfF") << 255;
        QTest::newRow("negative hex") << QByteArray("-$10") << -16;
        QTest::newRow("hex all ones") << QByteArray("$FFFFFFFF") << -1;
        QTest::newRow("int max") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("int min") << QByteArray("-2147483648") << int(-2147483647 - 1);
        QTest::newRow("trailing letters") << QByteArray("12abc") << 99;
        QTest::newRow("empty") << QByteArray("") << 99;
        QTest::newRow("sign alone") << QByteArray("-") << 99;
        QTest::newRow("hex prefix alone") << QByteArray("0x") << 99;
        QTest::newRow("trailing blank") << QByteArray("12 ") << 99;
        QTest::newRow("blank after sign") << QByteArray("- 1") << 99;
        QTest::newRow("two signs") << QByteArray("+-1") << 99;
        QTest::newRow("fraction") << QByteArray("1.5") << 99;
        QTest::newRow("bad hex digit") << QByteArray("$1G") << 99;
        QTest::newRow("decimal overflow") << QByteArray("2147483648") << 99;
        QTest::newRow("negative overflow") << QByteArray("-2147483649") << 99;
        QTest::newRow("hex overflow") << QByteArray("$100000000") << 99;
    }
    void parseInteger() {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        QCOMPARE(ParseInteger(stringOf(value), 99), expected);
    }

    void encodeLineText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
        QTest::newRow("letters digits blank") << QByteArray("A 1") << QByteArray("a@Q");
        QTest::newRow("C cedilla") << QByteArray("\xC7") << QByteArray("\xE7");
        QTest::newRow("up to NUL") << QByteArray("AB\0C", 4) << QByteArray("ab");
        QTest::newRow("a grave alone") << QByteArray("\xE0") << QByteArray("\" \"");
        QTest::newRow("e circumflex") << QByteArray("\xEA") << QByteArray("*");
        QTest::newRow("i acute") << QByteArray("\xED") << QByteArray("-");
        QTest::newRow("e acute at end") << QByteArray("a\xE9") << QByteArray("\"\x81\t\"");
        QTest::newRow("e acute at start") << QByteArray("\xE9"
                                                        "a")
                                          << QByteArray("\"\t\x81\"");
        QTest::newRow("e acute inside") << QByteArray("a\xE9"
                                                      "a")
                                        << QByteArray("\x81\t\x81");
        QTest::newRow("u acute") << QByteArray("\xFA") << QByteArray("\"\x1A\"");
        QTest::newRow("y diaeresis") << QByteArray("\xFF") << QByteArray("\x1F");
        QTest::newRow("double quotes at both ends") << QByteArray("\x02"
                                                                  "A\x02")
                                                    << QByteArray("\"\"a\"\"");
        QTest::newRow("single quotes at both ends")
            << QByteArray("\x07\x07") << QByteArray("\"''\"");
        QTest::newRow("quote at one end") << QByteArray("\x02"
                                                        "A")
                                          << QByteArray("\"a");
        QTest::newRow("unlike quotes") << QByteArray("\x02\x07") << QByteArray("\"'");
        QTest::newRow("a quote alone") << QByteArray("\x07") << QByteArray("'");
    }
    void encodeLineText() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, stored);
        QCOMPARE(bytesOf(EncodeLineText(stringOf(text))), stored);

        // The reader hands back what was stored, less the writer's quotes.
        const bool quoted = stored.size() >= 2 && stored.startsWith('"') && stored.endsWith('"');
        const auto read =
            Parse(stringOf("[Programa]\r\nLINHA11=" + stored + "\r\n")).Value("LINHA11");
        QVERIFY(read);
        QCOMPARE(bytesOf(*read), quoted ? stored.mid(1, stored.size() - 2) : stored);
    }

    void decodeLineText_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("letters") << QByteArray("a@Q") << QByteArray("A 1");
        QTest::newRow("old control codes") << QByteArray("\x01\x1F") << QByteArray("\xE1\xFF");
        QTest::newRow("mended codes") << QByteArray(" *-?") << QByteArray("\xE0\xEA\xED\xFF");
        QTest::newRow("lowest and highest") << QByteArray("\x40\xFF") << QByteArray(" \xDF");
    }
    void decodeLineText() {
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, text);
        QCOMPARE(bytesOf(DecodeLineText(stringOf(stored))), text);
    }

    void writesTheGoldenFile() {
        ConfigurationModel m = startModel();
        auto text = [&m](int band, int line) -> std::string& {
            return m.BandLineText[ConfigurationModel::LineIndex(band, line)];
        };
        text(1, 1) = "Senha: 123";
        text(1, 2) = "";
        text(1, 3) = "A\xC7\xC3O N\xBA 1";
        text(1, 4) = "12345678901234567890";
        text(2, 1) = " FIM ";
        text(2, 2) = "a@b~";
        m.LineStyle = {0, 1, 2, 3, 3, 3, 3, 3, 3, 3, 1, 3, 3, 3, 3, 3};
        m.LineEnabled[ConfigurationModel::LineIndex(1, 2)] = false;
        m.LineEnabled[ConfigurationModel::LineIndex(4, 4)] = false;
        m.Ranges = {{{1, 999}, {1000, 1999}, {-5, 0}, {2147483647, -2147483647 - 1}}};
        const printer::PrinterOptions options = FileOptions(1, -1, 2, 0, false, true, false, 3);
        QCOMPARE(bytesOf(Format({m, options})), golden("programa.snh"));

        // And it reads back to the same values.
        const printer::PrinterConfiguration back = Read(Parse(stringOf(golden("programa.snh"))));
        QCOMPARE(back.Options, options);
        compareTables(back.Model, m);
    }

    void writesAccentedLettersReadably() {
        ConfigurationModel m = startModel();
        const std::vector<std::string> texts = {"Voc\xEA",      "Cl\xEDnica", "\xE0 vista",
                                                "Caf\xE9",      "\xFA",       "\xE3\xF5\xE7",
                                                "\xE0\xEA\xED", "\xEC\xEB"};
        for (std::size_t i = 0; i < texts.size(); ++i)
            m.BandLineText[i] = texts[i];
        QCOMPARE(bytesOf(Format({m, {}})), golden("acentos.snh"));

        compareTables(Read(Parse(stringOf(golden("acentos.snh")))).Model, m);
    }

    // Every character an operator can type, alone, at the start, in the
    // middle and at the end of a line, and filling all 20 places.
    void roundTripOfEveryTypeableCharacter() {
        std::vector<std::string> texts;
        for (int code = 0x20; code <= 0xFF; ++code) {
            const std::string c(1, char(code));
            texts.push_back(c);
            texts.push_back(c + "xy");
            texts.push_back("x" + c + "y");
            texts.push_back("xy" + c);
            texts.push_back(std::string(20, char(code)));
        }
        texts.push_back("\xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF\xF0\xF1"
                        "\xF2\xF3");
        texts.push_back("\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF \xE0\xEA\xED\xE9\xFA");
        texts.push_back("");

        for (std::size_t first = 0; first < texts.size(); first += ConfigurationModel::LineCount) {
            ConfigurationModel m = startModel();
            for (std::size_t i = 0; i < ConfigurationModel::LineCount && first + i < texts.size();
                 ++i)
                m.BandLineText[i] = texts[first + i];
            const printer::PrinterOptions options = FileOptions(1, 1, 2, 1, false, false, true, 1);
            const printer::PrinterConfiguration back = Read(Parse(Format({m, options})));
            QCOMPARE(back.Options, options);
            compareTables(back.Model, m);
        }
    }

    void readsOneKey_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("hex 0x") << QByteArray("SENHA1I=0x10") << QByteArray("SENHA1I=16");
        QTest::newRow("hex $") << QByteArray("SENHA2F=$10") << QByteArray("SENHA2F=16");
        QTest::newRow("12abc gives default")
            << QByteArray("SENHA1F=12abc") << QByteArray("SENHA1F=999");
        QTest::newRow("empty integer gives default") << QByteArray("UP1=") << QByteArray("UP1=4");
        QTest::newRow("boolean 2 is true") << QByteArray("FONT23=2") << QByteArray("FONT23=1");
        QTest::newRow("boolean 0") << QByteArray("CHECK5=0") << QByteArray("CHECK5=0");
        QTest::newRow("boolean garbage gives true")
            << QByteArray("CHECK4=no") << QByteArray("CHECK4=1");
        QTest::newRow("no selection") << QByteArray("COMBO8=-1") << QByteArray("COMBO8=-1");
        QTest::newRow("style out of range kept")
            << QByteArray("FONTE44=7") << QByteArray("FONTE44=7");
        QTest::newRow("band count low 16 bits") << QByteArray("UP1=65537") << QByteArray("UP1=1");
        QTest::newRow("quotes and blanks removed")
            << QByteArray("COMBO12 =  \" 1\"  ") << QByteArray("COMBO12=1");
        QTest::newRow("key name case") << QByteArray("senha3i=5") << QByteArray("SENHA3I=5");
        QTest::newRow("missing style is 0") << QByteArray("") << QByteArray("FONTE11=0");
        QTest::newRow("empty line text") << QByteArray("LINHA12=") << QByteArray("LINHA12=");
        QTest::newRow("missing line text is its placeholder")
            << QByteArray("") << QByteArray("LINHA23=J@banda@R@linha@@S@J");
        QTest::newRow("line without = is missing")
            << QByteArray("LINHA23") << QByteArray("LINHA23=J@banda@R@linha@@S@J");
        QTest::newRow("long line cut to 20") << QByteArray("LINHA12=" + QByteArray(25, 'a'))
                                             << QByteArray("LINHA12=" + QByteArray(20, 'a'));
        QTest::newRow("quoted line keeps blanks at its ends")
            << QByteArray("LINHA31=\" a \"") << QByteArray("LINHA31=\" a \"");
    }
    void readsOneKey() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, written);
        QCOMPARE(writtenLineAfterReading(body, written.left(written.indexOf('='))), written);
    }

    void missingFileOrSectionGivesEveryDefault_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("missing file") << QByteArray("/nonexistent/folder/x.snh");
        QTest::newRow("a folder") << QByteArray(QRV_SETTINGS_DATA);
        QTest::newRow("other section only") << QByteArray(QRV_SETTINGS_DATA "/outro.snh");
    }
    void missingFileOrSectionGivesEveryDefault() {
        QFETCH(QByteArray, path);
        const printer::PrinterConfiguration read = Read(Load(stringOf(path)));
        QCOMPARE(read.Options, printer::PrinterOptions{});
        compareTables(read.Model, defaultsModel());
    }

    void readsAFileEditedByHand() {
        const printer::PrinterConfiguration read = Read(Load(QRV_SETTINGS_DATA "/desordem.snh"));
        QCOMPARE(read.Options, FileOptions(0, 0, 1, 0, true, false, true, 2));
        const ConfigurationModel& m = read.Model;
        ConfigurationModel expected = defaultsModel();
        expected.BandLineText[0] = "ABC";
        expected.LineStyle[0] = 2;
        expected.BandEnd(4) = 16;
        compareTables(m, expected);
    }
};

QTEST_APPLESS_MAIN(SettingsFileTest)
#include "SettingsFileTest.moc"
