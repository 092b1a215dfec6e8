#include "protocol/Frame.h"
#include "protocol/Commands.h"

#include <QtTest>
#include <algorithm>
#include <limits>
#include <stdexcept>

Q_DECLARE_METATYPE(protocol::OptionConditions)
Q_DECLARE_METATYPE(protocol::ClockFields)

using namespace protocol;

namespace {

template <typename F> QByteArray toBytes(const F& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.bytes().data()),
                      static_cast<qsizetype>(frame.bytes().size()));
}

int byteSum(const QByteArray& bytes) {
    int sum = 0;
    for (char c : bytes)
        sum += static_cast<uint8_t>(c);
    return sum % 256;
}

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

// Windows-1252 bytes of "Atenção".
const std::string Atencao = "Aten\xE7\xE3o";

ConfigFrameId configId(int id) {
    return static_cast<ConfigFrameId>(id);
}

} // namespace

class FrameTest : public QObject {
    Q_OBJECT
private slots:
    void commandFramesAreExact_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("restart w")
            << toBytes(RestartFrame()) << hex("02 30 77 30 30 30 30 30 30 30 30 30 0D 9A");
        QTest::newRow("e2p e") << toBytes(E2pFrame())
                               << hex("02 30 65 30 30 30 30 30 30 30 30 30 0D AC");
        QTest::newRow("report f") << toBytes(ReportFrame())
                                  << hex("02 30 66 30 30 30 30 30 30 30 30 30 0D AB");
        QTest::newRow("print band 4")
            << toBytes(PrintBandFrame(4)) << hex("02 30 54 34 30 30 30 30 30 30 30 30 0D B9");
        QTest::newRow("clock 14:05:09 23/02/2003")
            << toBytes(ClockFrame(
                   {.Hours = 14, .Minutes = 5, .Seconds = 9, .Day = 23, .Month = 2, .Year = 2003}))
            << hex("02 30 52 09 05 0E 17 02 03 31 30 30 0D A6");
        QTest::newRow("line 1 style 3 full text")
            << toBytes(LineFrame(1, 3, "* BANDA 1 LINHA  1 *"))
            << hex("02 30 4C 01 03 2A 20 42 41 4E 44 41 20 31 20 4C 49 4E 48 41 20 20 31 20 2A 20 "
                   "0D 19");
        QTest::newRow("line 2 empty text")
            << toBytes(LineFrame(2, 0, ""))
            << hex("02 30 4C 02 00 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 "
                   "0D D3");
        QTest::newRow("config 17 all bands 1 to 999")
            << toBytes(ConfigFrame(ConfigFrameId::Bands1And2, 0x07, 4, {1, 999}, {1, 999}))
            << hex("02 30 4C 11 07 04 30 30 30 31 30 39 39 39 30 30 30 31 30 39 39 39 30 30 30 30 "
                   "0D 61");
        QTest::newRow("config 18 all bands 1 to 999")
            << toBytes(ConfigFrame(ConfigFrameId::Bands3And4, 0x07, 4, {1, 999}, {1, 999}))
            << hex("02 30 4C 12 07 04 30 30 30 31 30 39 39 39 30 30 30 31 30 39 39 39 30 30 30 30 "
                   "0D 60");
    }

    void commandFramesAreExact() {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
        QCOMPARE(byteSum(frame), 0);
    }

    // Each value in turn in every one of the four fields, so a field that
    // spills over shows in its neighbours.
    void decimalFieldsAreRightAlignedAndBounded_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("1") << 1 << QByteArray("0001");
        QTest::newRow("999") << 999 << QByteArray("0999");
        QTest::newRow("0") << 0 << QByteArray("0000");
        QTest::newRow("1500") << 1500 << QByteArray("1500");
        QTest::newRow("9999") << 9999 << QByteArray("9999");
        QTest::newRow("-5") << -5 << QByteArray("00-5");
        QTest::newRow("-999") << -999 << QByteArray("-999");
        QTest::newRow("12345 clamped") << 12345 << QByteArray("9999");
        QTest::newRow("-1000 clamped") << -1000 << QByteArray("-999");
        QTest::newRow("int max clamped") << std::numeric_limits<int>::max() << QByteArray("9999");
        QTest::newRow("int min clamped") << std::numeric_limits<int>::min() << QByteArray("-999");
    }

    void decimalFieldsAreRightAlignedAndBounded() {
        QFETCH(int, value);
        QFETCH(QByteArray, text);
        for (int field = 0; field < 4; ++field) {
            TicketRange ranges[2] = {{1, 2}, {3, 4}};
            int32_t& slot = field % 2 == 0 ? ranges[field / 2].Start : ranges[field / 2].End;
            slot = value;
            for (int id : {17, 18}) {
                const QByteArray f =
                    toBytes(ConfigFrame(configId(id), 0x55, 3, ranges[0], ranges[1]));
                QByteArray expected = hex("02 30 4C") + char(id) + hex("55 03") +
                                      "0001000200030004" + "0000" + hex("0D");
                expected.replace(6 + 4 * field, 4, text);
                expected += char(Checksum(
                    std::span(reinterpret_cast<const uint8_t*>(expected.constData()), 27)));
                QCOMPARE(f.toHex(' '), expected.toHex(' '));
                QCOMPARE(byteSum(f), 0);
            }
        }
    }

    void headerLineFrames_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("style");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("field"); // positions 5 to 25

        QTest::newRow("line 6 not printed keeps its text")
            << 6 << 0 << QByteArray("Caixa") << QByteArray("Caixa                ");
        QTest::newRow("25 characters cut to 20")
            << 9 << 1 << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXY")
            << QByteArray("ABCDEFGHIJKLMNOPQRST ");
        QTest::newRow("STX and CR inside the text stay bytes") << 3 << 3
                                                               << QByteArray("a\x02\x0D"
                                                                             "b")
                                                               << QByteArray("a\x02\x0D"
                                                                             "b                 ");
    }

    void headerLineFrames() {
        QFETCH(int, id);
        QFETCH(int, style);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, field);
        const QByteArray f = toBytes(
            LineFrame(static_cast<uint8_t>(id), static_cast<uint8_t>(style),
                      std::string_view(text.constData(), static_cast<std::size_t>(text.size()))));
        QCOMPARE(f.size(), 28);
        QCOMPARE(f.left(3), hex("02 30 4C"));
        QCOMPARE(static_cast<uint8_t>(f[3]), static_cast<uint8_t>(id));
        QCOMPARE(static_cast<uint8_t>(f[4]), static_cast<uint8_t>(style));
        QCOMPARE(f.mid(5, 21), field);
        QCOMPARE(static_cast<uint8_t>(f[26]), uint8_t{0x0D});
        QCOMPARE(byteSum(f), 0);
    }

    void atencaoGoesOutInCodePage850() {
        std::string text = Atencao;
        ConvertAccents(text);
        QCOMPARE(QByteArray::fromStdString(text), hex("41 74 65 6E 87 C6 6F"));
    }

    void accentTable_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        const struct {
            const char* name;
            int from, to;
        } rows[] = {
            {"a acute", 0xE1, 0xA0},           {"a grave", 0xE0, 0x85},
            {"a tilde", 0xE3, 0xC6},           {"a circumflex", 0xE2, 0x83},
            {"e acute", 0xE9, 0x82},           {"e circumflex", 0xEA, 0x88},
            {"i acute", 0xED, 0xA1},           {"o acute", 0xF3, 0xA2},
            {"o circumflex", 0xF4, 0x93},      {"o tilde", 0xF5, 0xE4},
            {"u acute", 0xFA, 0xA3},           {"c cedilla", 0xE7, 0x87},
            {"A acute", 0xC1, 0xB5},           {"A grave", 0xC0, 0xB7},
            {"A tilde", 0xC3, 0xC7},           {"A circumflex", 0xC2, 0xB6},
            {"E acute", 0xC9, 0x90},           {"E circumflex", 0xCA, 0xD2},
            {"I acute", 0xCD, 0xD6},           {"O acute", 0xD3, 0xE0},
            {"O circumflex", 0xD4, 0xE2},      {"O tilde", 0xD5, 0xE5},
            {"U acute", 0xDA, 0xE9},           {"C cedilla", 0xC7, 0x80},
            {"u grave", 0xF9, 0x97},           {"E grave", 0xC8, 0xD4},
            {"O grave", 0xD2, 0xE3},           {"U grave", 0xD9, 0xEB},
            {"masculine ordinal", 0xBA, 0xF8},
        };
        static_assert(std::size(rows) == AccentCount);
        for (const auto& row : rows)
            QTest::newRow(row.name) << row.from << row.to;
    }

    // Each character alone, and again between two characters outside the
    // table, converts exactly once: a result that is itself in AccentFrom
    // (0xE0, 0xE2, 0xE3, 0xC7, ...) must not be converted again.
    void accentTable() {
        QFETCH(int, from);
        QFETCH(int, to);
        const auto index = static_cast<std::size_t>(
            std::find(AccentFrom.begin(), AccentFrom.end(), from) - AccentFrom.begin());
        QVERIFY(index < AccentCount);
        QCOMPARE(int(AccentTo[index]), to);
        QCOMPARE(std::count(AccentFrom.begin(), AccentFrom.end(), from), 1);

        std::string alone(1, static_cast<char>(from));
        ConvertAccents(alone);
        QCOMPARE(alone, std::string(1, static_cast<char>(to)));

        std::string inside = std::string("x") + static_cast<char>(from) + "y";
        ConvertAccents(inside);
        QCOMPARE(inside, std::string("x") + static_cast<char>(to) + "y");
    }

    void charactersOutsideTheTableStay() {
        std::string all;
        for (int c = 0; c < 256; ++c)
            if (std::find(AccentFrom.begin(), AccentFrom.end(), c) == AccentFrom.end())
                all += static_cast<char>(c);
        QCOMPARE(all.size(), std::size_t{256 - AccentCount});
        const std::string before = all;
        ConvertAccents(all);
        QCOMPARE(all, before);

        std::string sample = "\xFC\xF2\xB0"; // u diaeresis, o grave lowercase, degree
        ConvertAccents(sample);
        QCOMPARE(sample, std::string("\xFC\xF2\xB0"));

        std::string empty;
        ConvertAccents(empty);
        QVERIFY(empty.empty());
    }

    void wholeTableConvertsInOnePass() {
        std::string text(AccentFrom.begin(), AccentFrom.end());
        ConvertAccents(text);
        QCOMPARE(text, std::string(AccentTo.begin(), AccentTo.end()));
    }

    void optionBits_data() {
        QTest::addColumn<OptionConditions>("conditions");
        QTest::addColumn<int>("bits");
        QTest::newRow("nothing") << OptionConditions{} << 0x00;
        QTest::newRow("date, time, footer") << OptionConditions{true, true, true} << 0x07;
        QTest::newRow("all seven")
            << OptionConditions{true, true, true, true, true, true, true} << 0x7F;
        QTest::newRow("date") << OptionConditions{.PrintDate = true} << 0x01;
        QTest::newRow("time") << OptionConditions{.PrintTime = true} << 0x02;
        QTest::newRow("footer") << OptionConditions{.PrintFooter = true} << 0x04;
        QTest::newRow("8 bytes") << OptionConditions{.OldProtocol = true} << 0x08;
        QTest::newRow("reset at 0:00") << OptionConditions{.ResetAtMidnight = true} << 0x10;
        QTest::newRow("reload at band end") << OptionConditions{.ReloadAtBandEnd = true} << 0x20;
        QTest::newRow("Mecaf") << OptionConditions{.PrinterMecaf = true} << 0x40;
    }

    void optionBits() {
        QFETCH(OptionConditions, conditions);
        QFETCH(int, bits);
        QCOMPARE(int(OptionBits(conditions)), bits);
    }

    void clockFields_data() {
        QTest::addColumn<ClockFields>("clock");
        QTest::addColumn<QByteArray>("fields"); // positions 3 to 11
        QTest::newRow("midnight 1 Jan 2000")
            << ClockFields{0, 0, 0, 1, 1, 2000} << hex("00 00 00 01 01 00 31 30 30");
        QTest::newRow("last second of 1999")
            << ClockFields{23, 59, 59, 31, 12, 1999} << hex("3B 3B 17 1F 0C 63 31 30 30");
        QTest::newRow("2102 gives year 2")
            << ClockFields{13, 2, 13, 13, 2, 2102} << hex("0D 02 0D 0D 02 02 31 30 30");
    }

    // Fields equal to CR or STX are still plain byte values.
    void clockFields() {
        QFETCH(ClockFields, clock);
        QFETCH(QByteArray, fields);
        const QByteArray f = toBytes(ClockFrame(clock));
        QCOMPARE(f.left(3), hex("02 30 52"));
        QCOMPARE(f.mid(3, 9).toHex(' '), fields.toHex(' '));
        QCOMPARE(static_cast<uint8_t>(f[12]), uint8_t{0x0D});
        QCOMPARE(byteSum(f), 0);
    }

    // Writers refuse the header, the CR and the checksum positions, and
    // refuse the frame unchanged.
    void writersStayInsideTheData() {
        ShortFrame s('x');
        const auto before = s.bytes();
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, s.PutByte(2, 1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, s.PutByte(12, 1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, s.PutByte(99, 1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, s.PutDigit(3, 10));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, s.PutDigit(3, -1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, s.PutDecimal(12, 1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, s.PutDecimal(5, 1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, s.PutDecimal(1, 1));
        QVERIFY(s.bytes() == before);
        s.PutByte(11, 0xFF);
        s.PutDecimal(11, 7);
        s.PutDecimal(6, -5);
        QCOMPARE(toBytes(s).mid(3, 9), QByteArray("00-500007"));

        LongFrame l(1, Space);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, l.PutByte(26, 1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, l.PutDecimal(26, 1));
        l.PutByte(25, 'z');
        l.PutDecimal(25, 42);
        QCOMPARE(toBytes(l).mid(22, 4), QByteArray("  42"));
    }

    // Every frame the builders can make, over the whole range of each input
    // field, sums to 0 and keeps its fixed bytes.
    void everyBuiltFrameSumsToZero() {
        int frames = 0;
        auto check = [&frames](const QByteArray& f, int size) {
            QCOMPARE(f.size(), size);
            QCOMPARE(f.left(2), hex("02 30"));
            QCOMPARE(static_cast<uint8_t>(f[size - 2]), uint8_t{0x0D});
            QCOMPARE(byteSum(f), 0);
            ++frames;
        };
        check(toBytes(E2pFrame()), 14);
        check(toBytes(RestartFrame()), 14);
        check(toBytes(ReportFrame()), 14);
        for (int band = 0; band <= 9; ++band)
            check(toBytes(PrintBandFrame(band)), 14);
        for (int v = 0; v < 256; ++v) {
            check(toBytes(
                      ClockFrame({v % 24, v % 60, (v * 7) % 60, v % 31 + 1, v % 12 + 1, 1900 + v})),
                  14);
            const std::string text(static_cast<std::size_t>(v % 23), static_cast<char>(v));
            check(toBytes(LineFrame(static_cast<uint8_t>(v), static_cast<uint8_t>(v % 4), text)),
                  28);
            for (int id : {17, 18})
                check(toBytes(ConfigFrame(configId(id), static_cast<uint8_t>(v),
                                          static_cast<uint8_t>(v % 4 + 1), {v * 40 - 1000, -v},
                                          {v * 37, v * v})),
                      28);
        }
        QCOMPARE(frames, 3 + 10 + 256 * 4);
    }
};

QTEST_APPLESS_MAIN(FrameTest)
#include "FrameTest.moc"
