#include "model/Cp1252.h"

#include <QtTest>

class Cp1252Test : public QObject {
    Q_OBJECT
private slots:
    void everyByteSurvivesARoundTrip() {
        std::string all;
        for (int b = 0; b < 256; ++b)
            all.push_back(static_cast<char>(b));
        const std::u32string text = cp1252::Decode(all);
        QCOMPARE(text.size(), all.size());
        QCOMPARE(cp1252::Encode(text), all);
    }

    void codePoints_data() {
        QTest::addColumn<int>("byte");
        QTest::addColumn<uint>("codePoint");
        QTest::newRow("ascii") << 0x41 << 0x41u;
        QTest::newRow("euro") << 0x80 << 0x20ACu;
        QTest::newRow("left double quote") << 0x93 << 0x201Cu;
        QTest::newRow("capital y diaeresis") << 0x9F << 0x178u;
        QTest::newRow("unassigned 0x81") << 0x81 << 0x81u;
        QTest::newRow("unassigned 0x9D") << 0x9D << 0x9Du;
        QTest::newRow("no-break space") << 0xA0 << 0xA0u;
        QTest::newRow("c cedilla") << 0xE7 << 0xE7u;
        QTest::newRow("y diaeresis") << 0xFF << 0xFFu;
    }
    void codePoints() {
        QFETCH(int, byte);
        QFETCH(uint, codePoint);
        QCOMPARE(static_cast<uint>(cp1252::CodePoint(static_cast<uint8_t>(byte))), codePoint);
        QCOMPARE(cp1252::ByteOf(codePoint), std::optional<uint8_t>(static_cast<uint8_t>(byte)));
    }

    void characterWithoutAByteBecomesQuestionMark_data() {
        QTest::addColumn<uint>("codePoint");
        QTest::newRow("C1 control whose byte is the euro") << 0x80u;
        QTest::newRow("l with stroke") << 0x142u;
        QTest::newRow("cjk") << 0x4E2Du;
        QTest::newRow("outside the basic plane") << 0x1F600u;
    }
    void characterWithoutAByteBecomesQuestionMark() {
        QFETCH(uint, codePoint);
        QVERIFY(!cp1252::ByteOf(codePoint).has_value());
        const std::u32string text{U'a', static_cast<char32_t>(codePoint), U'b'};
        QCOMPARE(cp1252::Encode(text), std::string("a?b"));
    }
};

QTEST_APPLESS_MAIN(Cp1252Test)
#include "Cp1252Test.moc"
