#include "protocol/Decoder.h"
#include "protocol/FrameSplitter.h"

#include <QtTest>
#include <algorithm>
#include <limits>

using namespace protocol;
using Kind = FrameSplitter::Item::Kind;

namespace {

// One call on the splitter: bytes fed at Ms, or Idle at Ms when Idle is set.
struct Step {
    int Ms = 0;
    QByteArray Bytes;
    bool Idle = false;
};
// One item expected out of it; Text is compared when not empty.
struct Expected {
    Kind ItemKind = Kind::Frame;
    QByteArray Bytes;
    int Ms = 0;
    QString Text;
};

} // namespace

Q_DECLARE_METATYPE(std::vector<Step>)
Q_DECLARE_METATYPE(std::vector<Expected>)

namespace {

template <typename F> QByteArray wire(const F& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.bytes().data()),
                      static_cast<qsizetype>(frame.bytes().size()));
}

std::span<const uint8_t> span(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

template <typename F> bool decodesTo(const F& frame, const Command& expected) {
    const DecodeResult result = Decode(frame.bytes());
    const auto* command = std::get_if<Command>(&result);
    return command && *command == expected;
}

// The frame with byte pos set to value and its checksum made right again.
QByteArray with(QByteArray frame, qsizetype pos, char value) {
    frame[pos] = value;
    frame.back() = static_cast<char>(Checksum(span(frame).first(frame.size() - 1)));
    return frame;
}

FrameSplitter::TimePoint at(int ms) {
    return FrameSplitter::TimePoint{} + std::chrono::milliseconds(ms);
}

} // namespace

class DecoderTest : public QObject {
    Q_OBJECT
private slots:
    void shortCommandsRoundTrip() {
        QVERIFY(decodesTo(E2pFrame(), E2pCommand{}));
        QVERIFY(decodesTo(RestartFrame(), RestartCommand{}));
        QVERIFY(decodesTo(ReportFrame(), ReportCommand{}));
        for (int band = 0; band <= 9; ++band)
            QVERIFY(decodesTo(PrintBandFrame(band), PrintBandCommand{band}));
        QVERIFY(!decodesTo(PrintBandFrame(2), PrintBandCommand{3}));

        int frames = 0;
        for (int s : {0, 2, 13, 59})
            for (int mi : {0, 13, 59})
                for (int h : {0, 2, 23})
                    for (int d : {1, 13, 31})
                        for (int mo : {1, 2, 12})
                            for (int y : {1999, 2000, 2003, 2102}) {
                                const ClockFields in{h, mi, s, d, mo, y};
                                QVERIFY2(decodesTo(ClockFrame(in),
                                                   ClockCommand{s, mi, h, d, mo, y % 100}),
                                         qPrintable(QStringLiteral("%1:%2:%3 %4/%5/%6")
                                                        .arg(h)
                                                        .arg(mi)
                                                        .arg(s)
                                                        .arg(d)
                                                        .arg(mo)
                                                        .arg(y)));
                                ++frames;
                            }
        QCOMPARE(frames, 4 * 3 * 3 * 3 * 3 * 4);
    }

    void headerLinesRoundTrip() {
        const std::string texts[] = {"", "Caixa", "* BANDA 1 LINHA  1 *", "a\x02\x0D z"};
        for (int id = 1; id <= 16; ++id)
            for (int style = 0; style < 256; ++style) {
                const std::string& text = texts[static_cast<std::size_t>(style) % 4];
                QVERIFY2(decodesTo(LineFrame(uint8_t(id), uint8_t(style), text),
                                   LineCommand{uint8_t(id), uint8_t(style), text}),
                         qPrintable(QStringLiteral("id %1 style %2").arg(id).arg(style)));
            }

        std::string atencao = "Aten\xE7\xE3o";
        ConvertAccents(atencao);
        QVERIFY(decodesTo(LineFrame(5, 0, atencao), LineCommand{5, 0, "Aten\xE7\xE3o"}));
        QVERIFY(decodesTo(LineFrame(7, 1, "Caixa 3  "), LineCommand{7, 1, "Caixa 3"}));
        QVERIFY(decodesTo(LineFrame(8, 2, "ABCDEFGHIJKLMNOPQRSTUVWXY"),
                          LineCommand{8, 2, "ABCDEFGHIJKLMNOPQRST"}));
    }

    // Every Windows-1252 byte, typed between two letters, reads back as typed
    // unless it is outside the table and its code is some character's wire code.
    void everyCharacterRoundTrips() {
        auto inTable = [](const auto& table, int c) {
            return std::find(table.begin(), table.end(), c) != table.end();
        };
        int colliding = 0;
        for (int c = 0; c < 256; ++c) {
            const bool collides = !inTable(AccentFrom, c) && inTable(AccentTo, c);
            const auto reading =
                collides ? AccentFrom[std::size_t(std::find(AccentTo.begin(), AccentTo.end(), c) -
                                                  AccentTo.begin())]
                         : uint8_t(c);
            colliding += collides;
            std::string typed = std::string("a") + char(c) + "z";
            std::string sent = typed;
            ConvertAccents(sent);
            QVERIFY2(decodesTo(LineFrame(1, 3, sent),
                               LineCommand{1, 3, std::string("a") + char(reading) + "z"}),
                     qPrintable(QStringLiteral("character 0x%1").arg(c, 2, 16)));
        }
        // "ä" (0xE4, the wire code of "õ") and "ø" (0xF8, that of "º") are among them.
        QVERIFY(!inTable(AccentFrom, 0xE4) && inTable(AccentTo, 0xE4));
        QVERIFY(!inTable(AccentFrom, 0xF8) && inTable(AccentTo, 0xF8));
        QVERIFY(colliding > 2);
    }

    // All 128 option bytes, each with its own number of bands, in both frames;
    // then every range value in each of the four fields, clamped as built.
    void configFramesRoundTrip() {
        for (int bits = 0; bits < 128; ++bits)
            for (auto id : {ConfigFrameId::Bands1And2, ConfigFrameId::Bands3And4}) {
                auto bit = [bits](int n) { return (bits >> n & 1) != 0; };
                const OptionConditions c{bit(0), bit(1), bit(2), bit(3), bit(4), bit(5), bit(6)};
                const auto bands = uint8_t(bits * 2 + (id == ConfigFrameId::Bands3And4));
                const TicketRange first{bits, 9999 - bits}, second{-bits, 999};
                QCOMPARE(int(OptionBits(c)), bits);
                QVERIFY2(decodesTo(ConfigFrame(id, OptionBits(c), bands, first, second),
                                   ConfigCommand{id, c, bands, first, second}),
                         qPrintable(QStringLiteral("option byte %1").arg(bits)));
            }

        const int min = std::numeric_limits<int32_t>::min(), max = std::numeric_limits<int>::max();
        for (int value :
             {min, -1000, -999, -100, -99, -10, -9, -1, 0, 1, 9, 10, 999, 1000, 9999, 10000, max})
            for (int field = 0; field < 4; ++field) {
                TicketRange r[2] = {{1, 2}, {3, 4}};
                (field % 2 ? r[field / 2].End : r[field / 2].Start) = value;
                TicketRange e[2] = {r[0], r[1]};
                (field % 2 ? e[field / 2].End : e[field / 2].Start) = std::clamp(value, -999, 9999);
                QVERIFY2(decodesTo(ConfigFrame(ConfigFrameId::Bands1And2, 0, 4, r[0], r[1]),
                                   ConfigCommand{ConfigFrameId::Bands1And2, {}, 4, e[0], e[1]}),
                         qPrintable(QStringLiteral("%1 in field %2").arg(value).arg(field)));
            }
    }

    void damagedFrames_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<DecodeErrorKind>("kind");
        QTest::addColumn<QString>("text");
        using K = DecodeErrorKind;
        const QByteArray w = wire(RestartFrame());
        const QByteArray t = wire(PrintBandFrame(1));
        const QByteArray r = wire(ClockFrame({}));
        const QByteArray line = wire(LineFrame(5, 0, "Caixa"));
        const QByteArray cfg =
            wire(ConfigFrame(ConfigFrameId::Bands1And2, 7, 4, {1, 999}, {1, 999}));

        QTest::newRow("empty") << QByteArray() << K::ShortFrame
                               << "Quadro curto (0 bytes, sem comando)";
        QTest::newRow("restart cut to 13")
            << w.left(13) << K::ShortFrame << "Quadro curto (13 de 14 bytes)";
        QTest::newRow("line cut to 14")
            << line.left(14) << K::ShortFrame << "Quadro curto (14 de 28 bytes)";
        QTest::newRow("restart and one more byte")
            << w + '0' << K::LongFrame << "Quadro longo (15 de 14 bytes)";
        QTest::newRow("ETX for STX")
            << with(w, 0, 0x03) << K::MissingStx << "Quadro não começa com STX (recebido 0x03)";
        QTest::newRow("1 at position 1")
            << with(w, 1, '1') << K::MissingZero << "Posição 1 sem o \"0\" (recebido 0x31)";
        QTest::newRow("letter Z") << with(w, 2, 'Z') << K::UnknownCommand
                                  << "Comando desconhecido 0x5A (\"Z\")";
        QTest::newRow("letter 0x01")
            << with(w, 2, 0x01) << K::UnknownCommand << "Comando desconhecido 0x01 (\"\\x01\")";
        QTest::newRow("no CR in restart")
            << with(w, 12, 0x0A) << K::MissingCr << "Falta o CR na posição 12 (recebido 0x0A)";
        QTest::newRow("no CR in line")
            << with(line, 26, ' ') << K::MissingCr << "Falta o CR na posição 26 (recebido 0x20)";
        QTest::newRow("checksum one less")
            << cfg.left(27) + '\x60' << K::WrongChecksum
            << "Soma de verificação errada (esperada 0x61, recebida 0x60)";
        QTest::newRow("text byte changed, sum not")
            << QByteArray(line).replace(5, 1, "c") << K::WrongChecksum
            << "Soma de verificação errada (esperada 0x6A, recebida 0x8A)";
        QTest::newRow("T band A") << with(t, 3, 'A') << K::BadDigit
                                  << "Banda do comando \"T\" não é um dígito (0x41)";
        QTest::newRow("T band space")
            << with(t, 3, ' ') << K::BadDigit << "Banda do comando \"T\" não é um dígito (0x20)";
        QTest::newRow("decimal 0-01") << with(cfg, 7, '-') << K::BadDecimal
                                      << "Campo decimal inválido nas posições 6 a 9 (\"0-01\")";
        QTest::newRow("decimal minus zero")
            << with(with(with(cfg, 19, '0'), 20, '-'), 21, '0') << K::BadDecimal
            << "Campo decimal inválido nas posições 18 a 21 (\"00-0\")";
        QTest::newRow("decimal 0999 as 0 99") << with(cfg, 11, ' ') << K::BadDecimal
                                              << "Campo decimal inválido nas posições 10 a 13 "
                                                 "(\"0 99\")";
        QTest::newRow("decimal -001") << with(cfg, 14, '-') << K::BadDecimal
                                      << "Campo decimal inválido nas posições 14 a 17 (\"-001\")";
        QTest::newRow("decimal minus alone") << with(cfg, 9, '-') << K::BadDecimal
                                             << "Campo decimal inválido nas posições 6 a 9 "
                                                "(\"000-\")";
        QTest::newRow("decimal with a control byte")
            << with(cfg, 16, 0x02) << K::BadDecimal
            << "Campo decimal inválido nas posições 14 a 17 (\"00\\x021\")";
        QTest::newRow("L id 0") << with(line, 3, 0) << K::UnknownLineId
                                << "Identificador de \"L\" desconhecido (0)";
        QTest::newRow("L id 19") << with(cfg, 3, 19) << K::UnknownLineId
                                 << "Identificador de \"L\" desconhecido (19)";
        QTest::newRow("option bit 7") << with(cfg, 4, char(0x87)) << K::BadOptionByte
                                      << "Byte de opções com o bit 7 ligado (0x87)";
        QTest::newRow("restart data not 0")
            << with(w, 11, '1') << K::UnexpectedByte
            << "Byte inesperado na posição 11 (esperado 0x30, recebido 0x31)";
        QTest::newRow("clock without its 1")
            << with(r, 9, '0') << K::UnexpectedByte
            << "Byte inesperado na posição 9 (esperado 0x31, recebido 0x30)";
        QTest::newRow("line position 25 not blank")
            << with(line, 25, 'x') << K::UnexpectedByte
            << "Byte inesperado na posição 25 (esperado 0x20, recebido 0x78)";
        QTest::newRow("config fill at 22")
            << with(cfg, 22, '1') << K::UnexpectedByte
            << "Byte inesperado na posição 22 (esperado 0x30, recebido 0x31)";
    }

    void damagedFrames() {
        QFETCH(QByteArray, frame);
        QFETCH(DecodeErrorKind, kind);
        QFETCH(QString, text);
        const DecodeResult result = Decode(span(frame));
        const auto* error = std::get_if<DecodeError>(&result);
        QVERIFY(error);
        QCOMPARE(QString::fromStdString(error->Text), text);
        QCOMPARE(error->Kind, kind);
    }

    void splitter_data() {
        QTest::addColumn<std::vector<Step>>("steps");
        QTest::addColumn<std::vector<Expected>>("items");
        QTest::addColumn<int>("deadline"); // ms after the steps, -1 for none
        const QByteArray w = wire(RestartFrame());
        const QByteArray l = wire(LineFrame(1, 0, "Caixa"));
        const QByteArray clock = wire(ClockFrame({.Hours = 2, .Minutes = 13, .Seconds = 2}));

        QTest::newRow("garbage before STX")
            << std::vector<Step>{{0, "xy" + w}}
            << std::vector<Expected>{{Kind::Garbage, "xy", 0, "Bytes fora de quadro (2, sem STX)"},
                                     {Kind::Frame, w, 0, {}}}
            << -1;
        QTest::newRow("frame over two feeds, silence from the last byte")
            << std::vector<Step>{{0, l.left(5)}, {90, l.mid(5, 10)}, {180, l.mid(15)}}
            << std::vector<Expected>{{Kind::Frame, l, 0, {}}} << -1;
        QTest::newRow("truncated, then 100 ms silence")
            << std::vector<Step>{{0, l.left(9)}, {5, {}, true}, {99, {}, true}, {100, {}, true}}
            << std::vector<Expected>{{Kind::Incomplete, l.left(9), 0,
                                      "Quadro incompleto (9 de 28 bytes) após 100 ms sem dados"}}
            << -1;
        QTest::newRow("truncated, silence, then a frame without Idle")
            << std::vector<Step>{{0, QByteArray("\x02")}, {7, w.left(2)}, {107, w}}
            << std::vector<Expected>{{Kind::Incomplete, "\x02\x02\x30", 0,
                                      "Quadro incompleto (3 de 14 bytes) após 100 ms sem dados"},
                                     {Kind::Frame, w, 107, {}}}
            << -1;
        QTest::newRow("two frames in one feed")
            << std::vector<Step>{{3, w + clock}}
            << std::vector<Expected>{{Kind::Frame, w, 3, {}}, {Kind::Frame, clock, 3, {}}} << -1;
        QTest::newRow("L, then a short one over two feeds")
            << std::vector<Step>{{0, l + w.left(4)}, {10, w.mid(4)}}
            << std::vector<Expected>{{Kind::Frame, l, 0, {}}, {Kind::Frame, w, 0, {}}} << -1;
        // Its last 6 bytes hold no STX: garbage, due 100 ms after the last came.
        QTest::newRow("L cut short swallows the next frame")
            << std::vector<Step>{{0, l.left(20) + w.left(10)}, {30, w.mid(10)}, {50, {}, true}}
            << std::vector<Expected>{{Kind::Frame, l.left(20) + w.left(8), 0, {}}} << 130;
        // STX and CR among its data bytes (2:13:02) are data.
        QTest::newRow("clock frame with STX and CR inside")
            << std::vector<Step>{{0, clock}} << std::vector<Expected>{{Kind::Frame, clock, 0, {}}}
            << -1;
        QTest::newRow("unknown letter is 14 bytes")
            << std::vector<Step>{{0, with(w, 2, 'Z') + w}}
            << std::vector<Expected>{{Kind::Frame, with(w, 2, 'Z'), 0, {}}, {Kind::Frame, w, 0, {}}}
            << -1;
        QTest::newRow("garbage in bounded pieces")
            << std::vector<Step>{{0, QByteArray(300, 'x')}, {100, {}, true}}
            << std::vector<Expected>{{Kind::Garbage, QByteArray(256, 'x'), 0, {}},
                                     {Kind::Garbage, QByteArray(44, 'x'), 0, {}}}
            << -1;
    }

    void splitter() {
        QFETCH(std::vector<Step>, steps);
        QFETCH(std::vector<Expected>, items);
        QFETCH(int, deadline);
        FrameSplitter splitter;
        std::vector<FrameSplitter::Item> out;
        for (const Step& step : steps) {
            auto got = step.Idle ? splitter.Idle(at(step.Ms))
                                 : splitter.Feed(span(step.Bytes), at(step.Ms));
            out.insert(out.end(), got.begin(), got.end());
        }
        QCOMPARE(out.size(), items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            QCOMPARE(out[i].ItemKind, items[i].ItemKind);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(out[i].Bytes.data()),
                                qsizetype(out[i].Bytes.size()))
                         .toHex(' '),
                     items[i].Bytes.toHex(' '));
            QCOMPARE(out[i].Arrival, at(items[i].Ms));
            if (!items[i].Text.isEmpty())
                QCOMPARE(QString::fromStdString(out[i].Text), items[i].Text);
        }
        QCOMPARE(splitter.Deadline(), deadline < 0 ? std::nullopt : std::optional(at(deadline)));
    }

    void flushGivesOutWhatIsHeld() {
        FrameSplitter splitter;
        QVERIFY(splitter.Flush().empty());
        QVERIFY(splitter.Feed(span(wire(RestartFrame()).left(4)), at(0)).empty());
        const auto items = splitter.Flush();
        QCOMPARE(items.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(items[0].Text),
                 "Quadro incompleto (4 de 14 bytes) no fim dos dados");
        QVERIFY(!splitter.Deadline());
    }
};

QTEST_GUILESS_MAIN(DecoderTest)
#include "DecoderTest.moc"
