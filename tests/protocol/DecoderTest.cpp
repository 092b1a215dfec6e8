#include "protocol/Decoder.h"
#include "protocol/FrameSplitter.h"

#include <QtTest>
#include <algorithm>
#include <limits>

using namespace protocol;

namespace {

// One call on the splitter at Ms.
enum Call { Feed, Idle, Flush };
struct Step {
    int Ms = 0;
    QByteArray Bytes;
    Call What = Feed;
};

} // namespace

Q_DECLARE_METATYPE(std::vector<Step>)

namespace {

template <typename F> QByteArray wire(const F& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.bytes().data()),
                      static_cast<qsizetype>(frame.bytes().size()));
}

std::span<const uint8_t> span(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
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

// A splitter item as "kind@ms hex[ text]": 'F' frame, 'G' garbage, 'I' incomplete.
QString item(char kind, const QByteArray& bytes, int ms, const char* text = "") {
    return QStringLiteral("%1@%2 %3 %4")
        .arg(QChar(kind), QString::number(ms), QString::fromLatin1(bytes.toHex(' ')),
             QString::fromUtf8(text));
}

QString item(const FrameSplitter::Item& i) {
    const char kinds[] = {'F', 'G', 'I'};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(i.Arrival - at(0));
    const QByteArray bytes(reinterpret_cast<const char*>(i.Bytes.data()),
                           qsizetype(i.Bytes.size()));
    return item(kinds[int(i.ItemKind)], bytes, int(ms.count()), i.Text.c_str());
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

        for (int s : {0, 2, 13, 59})
            for (int mi : {0, 13, 59})
                for (int h : {0, 2, 23})
                    for (int d : {1, 13, 31})
                        for (int mo : {1, 2, 12})
                            for (int y : {1999, 2000, 2003, 2102})
                                QVERIFY2(decodesTo(ClockFrame({h, mi, s, d, mo, y}),
                                                   ClockCommand{s, mi, h, d, mo, y % 100}),
                                         qPrintable(QString::asprintf("%d:%d:%d %d/%d/%d", h, mi, s,
                                                                      d, mo, y)));
    }

    void headerLinesRoundTrip() {
        const std::string texts[] = {"", "Caixa", "* BANDA 1 LINHA  1 *", "a\x02\x0D z"};
        for (int id = 1; id <= 16; ++id)
            for (int style = 0; style < 256; ++style) {
                const std::string& text = texts[style % 4];
                QVERIFY2(decodesTo(LineFrame(uint8_t(id), uint8_t(style), text),
                                   LineCommand{uint8_t(id), uint8_t(style), text}),
                         qPrintable(QString::asprintf("id %d style %d", id, style)));
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
        auto find = [](const auto& table, int c) {
            return std::find(table.begin(), table.end(), c);
        };
        int colliding = 0;
        for (int c = 0; c < 256; ++c) {
            const bool collides =
                find(AccentFrom, c) == AccentFrom.end() && find(AccentTo, c) != AccentTo.end();
            colliding += collides;
            const auto reading = collides ? AccentFrom[find(AccentTo, c) - AccentTo.begin()] : c;
            std::string sent = std::string("a") + char(c) + "z";
            ConvertAccents(sent);
            QVERIFY2(decodesTo(LineFrame(1, 3, sent),
                               LineCommand{1, 3, std::string("a") + char(reading) + "z"}),
                     qPrintable(QString::asprintf("character 0x%02X", c)));
        }
        // Among them "ä" (0xE4, the wire code of "õ") and "ø" (0xF8, that of "º").
        QVERIFY(decodesTo(LineFrame(1, 0, "\xE4\xF8"), LineCommand{1, 0, "\xF5\xBA"}));
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
                         qPrintable(QString::asprintf("option byte %d", bits)));
            }

        // Each value meets each of the four fields as the list turns.
        const int min = std::numeric_limits<int>::min(), max = std::numeric_limits<int>::max();
        const int v[] = {min, -1000, -999, -99, -9, -1, 0, 1, 9, 999, 1000, 9999, 10000, max};
        auto in = [&v](std::size_t i) { return v[i % std::size(v)]; };
        auto range = [&in](std::size_t i, bool clamp) {
            const auto c = [&](std::size_t k) {
                return clamp ? std::clamp(in(k), -999, 9999) : in(k);
            };
            return TicketRange{c(i), c(i + 1)};
        };
        const auto id = ConfigFrameId::Bands3And4;
        for (std::size_t i = 0; i < std::size(v); ++i)
            QVERIFY2(decodesTo(ConfigFrame(id, 0, 4, range(i, false), range(i + 2, false)),
                               ConfigCommand{id, {}, 4, range(i, true), range(i + 2, true)}),
                     qPrintable(QString::asprintf("%d first", in(i))));
    }

    void damagedFrames_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<DecodeErrorKind>("kind");
        QTest::addColumn<QString>("text");
        using K = DecodeErrorKind;
        const QByteArray w = wire(RestartFrame()), t = wire(PrintBandFrame(1));
        const QByteArray r = wire(ClockFrame({})), line = wire(LineFrame(5, 0, "Caixa"));
        const QByteArray cfg =
            wire(ConfigFrame(ConfigFrameId::Bands1And2, 7, 4, {1, 999}, {1, 999}));
        const struct {
            const char* name;
            QByteArray frame;
            K kind;
            const char* text;
        } rows[] = {
            {"empty", {}, K::TooShort, "Quadro curto (0 bytes, sem comando)"},
            {"restart cut to 13", w.left(13), K::TooShort, "Quadro curto (13 de 14 bytes)"},
            {"restart and one byte more", w + '0', K::TooLong, "Quadro longo (15 de 14 bytes)"},
            {"ETX for STX", with(w, 0, 3), K::MissingStx,
             "Quadro não começa com STX (recebido 0x03)"},
            {"1 at position 1", with(w, 1, '1'), K::MissingZero,
             "Posição 1 sem o \"0\" (recebido 0x31)"},
            {"letter Z", with(w, 2, 'Z'), K::UnknownCommand, "Comando desconhecido 0x5A (\"Z\")"},
            {"no CR in line", with(line, 26, ' '), K::MissingCr,
             "Falta o CR na posição 26 (recebido 0x20)"},
            {"checksum one less", cfg.left(27) + '\x60', K::WrongChecksum,
             "Soma de verificação errada (esperada 0x61, recebida 0x60)"},
            {"text byte changed, sum not", QByteArray(line).replace(5, 1, "c"), K::WrongChecksum,
             "Soma de verificação errada (esperada 0x6A, recebida 0x8A)"},
            {"T band A", with(t, 3, 'A'), K::BadDigit,
             "Banda do comando \"T\" não é um dígito (0x41)"},
            {"decimal 0-01", with(cfg, 7, '-'), K::BadDecimal,
             "Campo decimal inválido nas posições 6 a 9 (\"0-01\")"},
            {"decimal minus zero", with(with(with(cfg, 19, '0'), 20, '-'), 21, '0'), K::BadDecimal,
             "Campo decimal inválido nas posições 18 a 21 (\"00-0\")"},
            {"decimal 0 99", with(cfg, 11, ' '), K::BadDecimal,
             "Campo decimal inválido nas posições 10 a 13 (\"0 99\")"},
            {"decimal with STX", with(cfg, 16, 2), K::BadDecimal,
             "Campo decimal inválido nas posições 14 a 17 (\"00\\x021\")"},
            {"L id 0", with(line, 3, 0), K::UnknownLineId,
             "Identificador de \"L\" desconhecido (0)"},
            {"L id 19", with(cfg, 3, 19), K::UnknownLineId,
             "Identificador de \"L\" desconhecido (19)"},
            {"option bit 7", with(cfg, 4, char(0x87)), K::BadOptionByte,
             "Byte de opções com o bit 7 ligado (0x87)"},
            {"restart data not 0", with(w, 11, '1'), K::UnexpectedByte,
             "Byte inesperado na posição 11 (esperado 0x30, recebido 0x31)"},
            {"clock without its 1", with(r, 9, '0'), K::UnexpectedByte,
             "Byte inesperado na posição 9 (esperado 0x31, recebido 0x30)"},
            {"line position 25 not blank", with(line, 25, 'x'), K::UnexpectedByte,
             "Byte inesperado na posição 25 (esperado 0x20, recebido 0x78)"},
            {"config fill at 22", with(cfg, 22, '1'), K::UnexpectedByte,
             "Byte inesperado na posição 22 (esperado 0x30, recebido 0x31)"},
        };
        for (const auto& row : rows)
            QTest::newRow(row.name) << row.frame << row.kind << QString::fromUtf8(row.text);
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
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("deadline"); // ms after the steps, -1 for none
        const QByteArray w = wire(RestartFrame()), l = wire(LineFrame(1, 0, "Caixa"));
        const QByteArray clock = wire(ClockFrame({.Hours = 2, .Minutes = 13, .Seconds = 2}));

        QTest::newRow("garbage before STX")
            << std::vector<Step>{{0, "xy" + w}}
            << QStringList{item('G', "xy", 0, "Bytes fora de quadro (2, sem STX)"), item('F', w, 0)}
            << -1;
        QTest::newRow("frame over three feeds, silence from the last byte")
            << std::vector<Step>{{0, l.left(5)}, {90, l.mid(5, 10)}, {180, l.mid(15)}}
            << QStringList{item('F', l, 0)} << -1;
        QTest::newRow("truncated, then 100 ms silence")
            << std::vector<Step>{{0, l.left(9)}, {5, {}, Idle}, {99, {}, Idle}, {100, {}, Idle}}
            << QStringList{item('I', l.left(9), 0,
                                "Quadro incompleto (9 de 28 bytes) após 100 ms sem dados")}
            << -1;
        QTest::newRow("truncated, silence, then a frame without Idle")
            << std::vector<Step>{{0, QByteArray("\x02")}, {7, w.left(2)}, {107, w}}
            << QStringList{item('I', "\x02\x02\x30", 0,
                                "Quadro incompleto (3 de 14 bytes) após 100 ms sem dados"),
                           item('F', w, 107)}
            << -1;
        QTest::newRow("two frames in one feed")
            << std::vector<Step>{{3, w + clock}, {4, {}, Flush}}
            << QStringList{item('F', w, 3), item('F', clock, 3)} << -1;
        QTest::newRow("L, then a short one over two feeds")
            << std::vector<Step>{{0, l + w.left(4)}, {10, w.mid(4)}}
            << QStringList{item('F', l, 0), item('F', w, 0)} << -1;
        // Its last 6 bytes hold no STX: garbage, due 100 ms after the last came.
        QTest::newRow("L cut short swallows the next frame")
            << std::vector<Step>{{0, l.left(20) + w.left(10)}, {30, w.mid(10)}, {50, {}, Idle}}
            << QStringList{item('F', l.left(20) + w.left(8), 0)} << 130;
        // STX and CR among its data bytes (2:13:02) are data.
        QTest::newRow("clock frame with STX and CR inside")
            << std::vector<Step>{{0, clock}} << QStringList{item('F', clock, 0)} << -1;
        QTest::newRow("unknown letter is 14 bytes")
            << std::vector<Step>{{0, with(w, 2, 'Z') + w}}
            << QStringList{item('F', with(w, 2, 'Z'), 0), item('F', w, 0)} << -1;
        QTest::newRow("garbage in bounded pieces")
            << std::vector<Step>{{0, QByteArray(300, 'x')}, {100, {}, Idle}}
            << QStringList{item('G', QByteArray(256, 'x'), 0,
                                "Bytes fora de quadro (256, sem STX)"),
                           item('G', QByteArray(44, 'x'), 0, "Bytes fora de quadro (44, sem STX)")}
            << -1;
        QTest::newRow("flush at the end")
            << std::vector<Step>{{0, w.left(4)}, {1, {}, Flush}}
            << QStringList{item('I', w.left(4), 0,
                                "Quadro incompleto (4 de 14 bytes) no fim dos dados")}
            << -1;
    }

    void splitter() {
        QFETCH(std::vector<Step>, steps);
        QFETCH(QStringList, items);
        QFETCH(int, deadline);
        FrameSplitter splitter;
        QStringList out;
        for (const Step& step : steps)
            for (const auto& i : step.What == Flush  ? splitter.Flush()
                                 : step.What == Idle ? splitter.Idle(at(step.Ms))
                                                     : splitter.Feed(span(step.Bytes), at(step.Ms)))
                out << item(i);
        QCOMPARE(out, items);
        QCOMPARE(splitter.Deadline(), deadline < 0 ? std::nullopt : std::optional(at(deadline)));
    }
};

QTEST_GUILESS_MAIN(DecoderTest)
#include "DecoderTest.moc"
