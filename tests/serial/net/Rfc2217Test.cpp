// The Telnet com port session fed with server byte sequences (whole and
// split across reads), and the bytes it sends.
#include "serial/net/Rfc2217.h"

#include <QtTest>

using serial::net::rfc2217::Session;

Q_DECLARE_METATYPE(Session::ComPort)
Q_DECLARE_METATYPE(Session::Replies)

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

std::string bytes(const QByteArray& b) {
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QByteArray bytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// What ser2net 4.3 sends when a client opens with WILL/DO BINARY, WILL/DO
// SGA and WILL COM-PORT-OPTION.
const char* const kSer2NetGreeting =
    "fffb03fffd03fffb01fffe01fffd00fffb00fffd2cfffa2c6b00fff0fffd03";

QList<QByteArray> splitEvery(const QByteArray& all, int size) {
    QList<QByteArray> parts;
    for (qsizetype i = 0; i < all.size(); i += size)
        parts << all.mid(i, size);
    return parts;
}

QList<QByteArray> splitAt(const QByteArray& all, std::initializer_list<int> cuts) {
    QList<QByteArray> parts;
    int from = 0;
    for (const int cut : cuts) {
        parts << all.mid(from, cut - from);
        from = cut;
    }
    parts << all.mid(from);
    return parts;
}

serial::device::LineSettings windowLine() {
    serial::device::LineSettings s;
    s.baudrate = 9600;
    s.databits = 8;
    s.parity = 0;
    s.stopbits = 2;
    s.flags = VaDcb::Binary; // DTR and RTS off, no flow control
    return s;
}

} // namespace

class Rfc2217Test : public QObject {
    Q_OBJECT

private slots:
    void startOffersTheOptions() {
        Session session;
        QCOMPARE(bytes(session.Start()), hex("fffb00fffd00fffb03fffd03fffb2c"));
        QCOMPARE(session.ComPortState(), Session::ComPort::Pending);
    }

    void serverBytes_data() {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<Session::ComPort>("comPort");
        QTest::addColumn<bool>("suspended");
        using C = Session::ComPort;
        const QByteArray greeting = hex(kSer2NetGreeting);
        // ECHO is refused once; everything asked for is taken without an
        // answer; the modem state notification is ignored.
        QTest::newRow("ser2net greeting")
            << QList{greeting} << QByteArray() << hex("fffe01") << C::Accepted << false;
        QTest::newRow("greeting one byte a read")
            << splitEvery(greeting, 1) << QByteArray() << hex("fffe01") << C::Accepted << false;
        QTest::newRow("greeting cut inside the sub-negotiation")
            << splitAt(greeting, {23, 25, 26}) << QByteArray() << hex("fffe01") << C::Accepted
            << false;
        QTest::newRow("DO com port")
            << QList{hex("fffd2c")} << QByteArray() << QByteArray() << C::Accepted << false;
        QTest::newRow("DONT com port")
            << QList{hex("fffe2c")} << QByteArray() << QByteArray() << C::Refused << false;
        QTest::newRow("WONT com port")
            << QList{hex("fffc2c")} << QByteArray() << QByteArray() << C::Refused << false;
        QTest::newRow("server's WILL com port refused")
            << QList{hex("fffb2c")} << QByteArray() << hex("fffe2c") << C::Pending << false;
        QTest::newRow("repeated DO answered never")
            << QList{hex("fffd00fffd00"), hex("fffd00")} << QByteArray() << QByteArray()
            << C::Pending << false;
        QTest::newRow("WONT then WILL binary answered once")
            << QList{hex("fffc00fffb00fffb00")} << QByteArray() << hex("fffd00") << C::Pending
            << false;
        QTest::newRow("DONT then DO binary answered once")
            << QList{hex("fffe00fffd00fffd00")} << QByteArray() << hex("fffb00") << C::Pending
            << false;
        QTest::newRow("unknown options refused") << QList{hex("fffd18fffb1f")} << QByteArray()
                                                 << hex("fffc18fffe1f") << C::Pending << false;
        QTest::newRow("unknown options asked again answered once")
            << QList{hex("fffd18fffd18fffe18fffd18fffb1f"), hex("fffb1ffffd18")} << QByteArray()
            << hex("fffc18fffe1f") << C::Pending << false;
        QTest::newRow("binary flipped answered once")
            << QList{hex("fffd00fffe00fffd00fffe00")} << QByteArray() << hex("fffc00") << C::Pending
            << false;
        QTest::newRow("doubled FF is one data byte")
            << QList{hex("41ffff42")} << hex("41ff42") << QByteArray() << C::Pending << false;
        QTest::newRow("doubled FF split across reads")
            << QList{hex("41ff"), hex("ff42")} << hex("41ff42") << QByteArray() << C::Pending
            << false;
        QTest::newRow("NOP and GA are not data")
            << QList{hex("fff141fff9")} << hex("41") << QByteArray() << C::Pending << false;
        QTest::newRow("flow suspended")
            << QList{hex("fffa2c6cfff0")} << QByteArray() << QByteArray() << C::Pending << true;
        QTest::newRow("flow suspended then resumed")
            << QList{hex("fffa2c6c"), hex("fff041fffa2c6dfff0")} << hex("41") << QByteArray()
            << C::Pending << false;
        QTest::newRow("line and modem notifications ignored")
            << QList{hex("fffa2c6a60fff0fffa2c6bb0fff0")} << QByteArray() << QByteArray()
            << C::Pending << false;
        QTest::newRow("oversized sub-negotiation dropped, data after it kept")
            << QList{hex("fffa2c6c") + QByteArray(200, 'x') + hex("fff042")} << hex("42")
            << QByteArray() << C::Pending << false;
        QTest::newRow("command inside a sub-negotiation ends it")
            << QList{hex("fffa2c6cfffd2c43")} << hex("43") << QByteArray() << C::Accepted << false;
        QTest::newRow("CR NUL before binary is CR")
            << QList{hex("0d000d41")} << hex("0d0d41") << QByteArray() << C::Pending << false;
        QTest::newRow("CR NUL in binary is kept")
            << QList{hex("fffb00"), hex("0d00")} << hex("0d00") << QByteArray() << C::Pending
            << false;
    }

    void serverBytes() {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, replies);
        QFETCH(Session::ComPort, comPort);
        QFETCH(bool, suspended);
        Session session;
        session.Start();
        std::string gotData;
        std::string gotReplies;
        for (const QByteArray& read : reads) {
            session.Feed(bytes(read), gotData);
            gotReplies += session.TakeReplies();
        }
        QCOMPARE(bytes(gotData), data);
        QCOMPARE(bytes(gotReplies), replies);
        QCOMPARE(session.ComPortState(), comPort);
        QCOMPARE(session.Suspended(), suspended);
    }

    void lineRequest_data() {
        QTest::addColumn<serial::device::LineSettings>("line");
        QTest::addColumn<QByteArray>("wire");
        serial::device::LineSettings window = windowLine();
        QTest::newRow("the printer's line")
            << window
            << hex("fffa2c0100002580fff0fffa2c0208fff0fffa2c0301fff0fffa2c0402fff0"
                   "fffa2c0501fff0fffa2c050efff0fffa2c0509fff0fffa2c050cfff0");
        serial::device::LineSettings odd = window;
        odd.baudrate = 0xFF00;
        odd.databits = 7;
        odd.parity = 2;
        odd.stopbits = 0;
        odd.flags = VaDcb::Binary | VaDcb::OutxCtsFlow | VaDcb::RtsHandshake | VaDcb::DtrEnable;
        QTest::newRow("speed with an FF byte, even parity, hardware flow")
            << odd
            << hex("fffa2c010000ffff00fff0fffa2c0207fff0fffa2c0303fff0fffa2c0401fff0"
                   "fffa2c0503fff0fffa2c0510fff0fffa2c0508fff0");
    }

    void lineRequest() {
        QFETCH(serial::device::LineSettings, line);
        QFETCH(QByteArray, wire);
        Session session;
        QCOMPARE(bytes(session.SetLine(line)), wire);
    }

    void lineReplies_data() {
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<Session::Replies>("outcome");
        QTest::addColumn<int>("refused"); // the command code of the refused setting
        using R = Session::Replies;
        using serial::net::rfc2217::kSetBaudrate, serial::net::rfc2217::kSetDatasize,
            serial::net::rfc2217::kSetParity, serial::net::rfc2217::kSetStopsize;
        const QByteArray restMatching = hex("fffa2c6608fff0fffa2c6701fff0fffa2c6802fff0");
        QTest::newRow("ser2net's replies")
            << hex("fffa2c6500002580fff0fffa2c6608fff0fffa2c6701fff0fffa2c6802fff0"
                   "fffa2c6901fff0fffa2c690efff0")
            << R::Matched << 0;
        QTest::newRow("controls never answered") << hex("fffa2c6500002580fff0fffa2c6608fff0"
                                                        "fffa2c6701fff0fffa2c6802fff0")
                                                 << R::Matched << 0;
        QTest::newRow("stop bits not answered")
            << hex("fffa2c6500002580fff0fffa2c6608fff0fffa2c6701fff0") << R::Pending << 0;
        QTest::newRow("another speed")
            << hex("fffa2c650001c200fff0fffa2c6608fff0fffa2c6701fff0fffa2c6802fff0")
            << R::Mismatched << int{kSetBaudrate};
        QTest::newRow("one stop bit") << hex("fffa2c6500002580fff0fffa2c6608fff0fffa2c6701fff0"
                                             "fffa2c6801fff0")
                                      << R::Mismatched << int{kSetStopsize};
        QTest::newRow("client codes are not replies")
            << hex("fffa2c0100002580fff0fffa2c0208fff0fffa2c0301fff0fffa2c0402fff0") << R::Pending
            << 0;
        // sredird 2.2: the speed asked for and four zero bytes; every
        // SET-CONTROL (flow, inbound flow, DTR, RTS) answered with flow none.
        QTest::newRow("sredird's replies")
            << hex("fffa2c650000258000000000fff0") + restMatching +
                   hex("fffa2c6901fff0fffa2c6901fff0fffa2c6901fff0fffa2c6901fff0")
            << R::Matched << 0;
        QTest::newRow("eight-byte speed, first four another")
            << hex("fffa2c650001c20000002580fff0") + restMatching << R::Mismatched
            << int{kSetBaudrate};
        QTest::newRow("three-byte speed")
            << hex("fffa2c65002580fff0") + restMatching << R::Mismatched << int{kSetBaudrate};
        QTest::newRow("control answers that contradict every request")
            << hex("fffa2c6500002580fff0") + restMatching +
                   hex("fffa2c6903fff0fffa2c6910fff0fffa2c6908fff0fffa2c690bfff0")
            << R::Matched << 0;
        QTest::newRow("seven data bits")
            << hex("fffa2c6500002580fff0fffa2c6607fff0fffa2c6701fff0fffa2c6802fff0")
            << R::Mismatched << int{kSetDatasize};
        QTest::newRow("even parity, then one stop bit: the first is named")
            << hex("fffa2c6500002580fff0fffa2c6608fff0fffa2c6703fff0fffa2c6801fff0")
            << R::Mismatched << int{kSetParity};
    }

    void lineReplies() {
        QFETCH(QByteArray, replies);
        QFETCH(Session::Replies, outcome);
        QFETCH(int, refused);
        Session session;
        session.Start();
        session.SetLine(windowLine());
        std::string data;
        session.Feed(bytes(replies), data);
        QCOMPARE(session.LineReplies(), outcome);
        QCOMPARE(int{session.RefusedSetting()}, refused);
        QVERIFY(data.empty());
    }

    void escaping_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("FF doubled") << hex("02ff0dff") << true << hex("02ffff0dffff");
        QTest::newRow("CR as it is in binary") << hex("0d0a0d") << true << hex("0d0a0d");
        QTest::newRow("CR NUL without binary") << hex("300dbb") << false << hex("300d00bb");
        QTest::newRow("FF doubled without binary") << hex("ff") << false << hex("ffff");
    }

    void escaping() {
        QFETCH(QByteArray, data);
        QFETCH(bool, binary);
        QFETCH(QByteArray, wire);
        std::string out;
        Session::AppendEscaped(out, bytes(data), binary);
        QCOMPARE(bytes(out), wire);
        size_t size = 0;
        for (const char c : data)
            size += Session::WireSize(static_cast<uint8_t>(c), binary);
        QCOMPARE(size, out.size());
    }
};

QTEST_APPLESS_MAIN(Rfc2217Test)
#include "Rfc2217Test.moc"
