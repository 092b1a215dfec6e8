#include "settings/ProfileFile.h"

#include <QtTest>
#include <sys/stat.h>

namespace {
std::string stringOf(const QByteArray& b) {
    return std::string(b.constData(), size_t(b.size()));
}

// Text as UTF-16 with its byte-order mark, in either byte order.
QByteArray utf16(const QString& text, bool littleEndian) {
    QByteArray out = littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (const QChar c : text) {
        const auto unit = c.unicode();
        const char low = char(unit & 0xFF);
        const char high = char(unit >> 8);
        out += littleEndian ? low : high;
        out += littleEndian ? high : low;
    }
    return out;
}

const QString accented = QStringLiteral("[Programa]\r\nK=A\u00E7\u00E3o \u20AC\u0151\U0001F600!");
const QByteArray accentedRead = "A\xE7\xE3o \x80?"
                                "?!";
} // namespace

class ProfileFileTest : public QObject {
    Q_OBJECT
private slots:
    // Each row looks up key K in section "Programa".
    void lookup_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QByteArray>("value");
        const QByteArray none;
        QTest::newRow("CR LF") << QByteArray("[Programa]\r\nK=1\r\n") << true << QByteArray("1");
        QTest::newRow("LF") << QByteArray("[Programa]\nK=1\n") << true << QByteArray("1");
        QTest::newRow("CR alone") << QByteArray("[Programa]\rA=0\rK=1") << true << QByteArray("1");
        QTest::newRow("blank lines")
            << QByteArray("\r\n\r\n[Programa]\n\n\r\rK=1") << true << QByteArray("1");
        QTest::newRow("byte-order mark")
            << QByteArray("\xEF\xBB\xBF[Programa]\r\nK=1") << true << QByteArray("1");
        QTest::newRow("mark not at the start")
            << QByteArray("\n\xEF\xBB\xBF[Programa]\nK=1") << false << none;
        QTest::newRow("blank bytes trimmed")
            << QByteArray("\t\x0B\x0C\x1A [Programa]\x1A\n \tK\x0B \t=\x1A\t v a l \t\x1A\n")
            << true << QByteArray("v a l");
        QTest::newRow("0xA0 is no blank")
            << QByteArray("[Programa]\nK=\xA0x\xA0") << true << QByteArray("\xA0x\xA0");
        QTest::newRow("text after the last bracket")
            << QByteArray("[ Programa ] ; x\nK=1") << true << QByteArray("1");
        QTest::newRow("name up to the last bracket")
            << QByteArray("[Programa] x]\nK=1") << false << none;
        QTest::newRow("header without bracket is a key")
            << QByteArray("[Programa]\nK=1\n[Outro\nK=2") << true << QByteArray("1");
        QTest::newRow("first = splits")
            << QByteArray("[Programa]\nK=a=b") << true << QByteArray("a=b");
        QTest::newRow("no = reads as missing") << QByteArray("[Programa]\nK\nK=1") << false << none;
        QTest::newRow("empty value") << QByteArray("[Programa]\nK=") << true << QByteArray("");
        QTest::newRow("names ignore case")
            << QByteArray("[pROGRAMA]\nk=1") << true << QByteArray("1");
        QTest::newRow("first key wins")
            << QByteArray("[Programa]\nK=1\nk=2") << true << QByteArray("1");
        QTest::newRow("only the first section of a name")
            << QByteArray("[Programa]\nA=1\n[PROGRAMA]\nK=2") << false << none;
        QTest::newRow("other sections skipped")
            << QByteArray("[Outro]\nK=9\n[Programa]\nK=1") << true << QByteArray("1");
        QTest::newRow("keys before any section")
            << QByteArray("K=1\n[Programa]\n") << false << none;
        QTest::newRow("no section") << QByteArray("K=1") << false << none;
        QTest::newRow("; and # not special")
            << QByteArray("[Programa]\n;K=0\n#K=0\nK=1 ;c") << true << QByteArray("1 ;c");
        QTest::newRow("double quotes keep inner blanks")
            << QByteArray("[Programa]\nK= \" a \" ") << true << QByteArray(" a ");
        QTest::newRow("single quotes")
            << QByteArray("[Programa]\nK='x'") << true << QByteArray("x");
        QTest::newRow("two quotes") << QByteArray("[Programa]\nK=\"\"") << true << QByteArray("");
        QTest::newRow("lone quote kept")
            << QByteArray("[Programa]\nK=\"") << true << QByteArray("\"");
        QTest::newRow("unlike quotes kept")
            << QByteArray("[Programa]\nK=\"x'") << true << QByteArray("\"x'");
        QTest::newRow("inner quote kept")
            << QByteArray("[Programa]\nK=a\"b") << true << QByteArray("a\"b");
        QTest::newRow("value ends at NUL")
            << QByteArray("[Programa]\nK=\"ab\0c\"", 19) << true << QByteArray("\"ab");
        QTest::newRow("cut to 2047") << QByteArray("[Programa]\nK=" + QByteArray(3000, 'v')) << true
                                     << QByteArray(2047, 'v');
        QTest::newRow("quotes removed before the cut")
            << QByteArray("[Programa]\nK=\"" + QByteArray(2047, 'v') + "\"") << true
            << QByteArray(2047, 'v');
        QTest::newRow("long quoted value ending in blanks")
            << QByteArray("[Programa]\nK=\"" + QByteArray(3000, 'v') + "\" \t ") << true
            << QByteArray(2047, 'v');
        QTest::newRow("blanks before a NUL kept")
            << QByteArray("[Programa]\nK= ab \t\0 c", 21) << true << QByteArray("ab \t");
        QTest::newRow("name padded with blanks")
            << QByteArray("[Programa]\nK" + QByteArray(5000, ' ') + "=1") << true
            << QByteArray("1");
        QTest::newRow("long name")
            << QByteArray("[Programa]\nKK" + QByteArray(5000, 'K') + "=1") << false << none;
        QTest::newRow("name ends at NUL")
            << QByteArray("[Programa]\nK\0 x=1", 17) << true << QByteArray("1");
        QTest::newRow("header padded with blanks")
            << QByteArray("[ Programa" + QByteArray(5000, ' ') + "]\nK=1") << true
            << QByteArray("1");
        QTest::newRow("header name ends at NUL")
            << QByteArray("[Programa\0x]\nK=1", 16) << true << QByteArray("1");
        QTest::newRow("bracket line with = is a header")
            << QByteArray("[Programa]\n[K]=5\nK=1") << false << none;
        QTest::newRow("bracket line without ] is a key")
            << QByteArray("[Programa]\n[K=5\nK=1") << true << QByteArray("1");
        QTest::newRow("next section ends the search")
            << QByteArray("[Programa]\nA=1\n[Outro]\nK=2") << false << none;
        QTest::newRow("UTF-16 little-endian") << utf16(accented, true) << true << accentedRead;
        QTest::newRow("UTF-16 big-endian") << utf16(accented, false) << true << accentedRead;
        QTest::newRow("UTF-8 with mark")
            << "\xEF\xBB\xBF" + accented.toUtf8() << true << accentedRead;
        QTest::newRow("UTF-8 invalid sequences")
            << QByteArray("\xEF\xBB\xBF[Programa]\nK=\xE7"
                          "a\xC3(\xED\xA0\x80\xF0\x9F\x98z\xC0\xAF\xE2\x82")
            << true << QByteArray("?a?(????z???");
        QTest::newRow("UTF-16 lone surrogates and odd byte")
            << utf16(QStringLiteral("[Programa]\nK=") + QChar(0xD83D) + "x" + QChar(0xDE00) + "y",
                     true) +
                   "z"
            << true << QByteArray("?x?y?");
        QTest::newRow("UTF-16 high surrogate at the end")
            << utf16(QStringLiteral("[Programa]\nK=x") + QChar(0xD83D), false) << true
            << QByteArray("x?");
        QTest::newRow("without a mark bytes as they are")
            << QByteArray("[Programa]\nK=A\xC3\xA7\xFF\xFE") << true
            << QByteArray("A\xC3\xA7\xFF\xFE");
        QTest::newRow("mark alone") << QByteArray("\xFF\xFE") << false << none;
    }
    void lookup() {
        QFETCH(QByteArray, file);
        QFETCH(bool, found);
        QFETCH(QByteArray, value);
        const std::vector<std::string> keys = {"K", "A"};
        const auto v = ProfileFile::Parse(stringOf(file), "Programa", keys).Value("K");
        QCOMPARE(v.has_value(), found);
        if (found)
            QCOMPARE(QByteArray::fromStdString(*v), value);

        // A file is read in pieces that may cut a line or a character anywhere.
        ProfileReader reader("Programa", keys);
        for (const char c : file)
            reader.Feed(std::string_view(&c, 1));
        QCOMPARE(reader.Finish().Value("K"), v);
    }

    void loadReadsOnlyRegularFiles() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const std::string file = dir.filePath("a.snh").toStdString();
        QFile f(QString::fromStdString(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Programa]\r\nK=1\r\n");
        f.close();
        const std::vector<std::string> keys = {"k"};
        QCOMPARE(ProfileFile::Load(file, "programa", keys).Value("K").value_or("missing"), "1");

        QVERIFY(!ProfileFile::Load(dir.path().toStdString(), "Programa", keys).Value("K"));
        QVERIFY(!ProfileFile::Load(file + ".missing", "Programa", keys).Value("K"));
#ifdef Q_OS_UNIX // FIFOs are POSIX's
        // A FIFO with no writer would block an ordinary open for good.
        const std::string fifo = dir.filePath("fifo.snh").toStdString();
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        QVERIFY(!ProfileFile::Load(fifo, "Programa", keys).Value("K"));
#endif
    }
};

QTEST_APPLESS_MAIN(ProfileFileTest)
#include "ProfileFileTest.moc"
