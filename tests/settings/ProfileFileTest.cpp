#include "settings/ProfileFile.h"

#include <QtTest>
#include <sys/stat.h>

namespace {
std::string stringOf(const QByteArray& b) {
    return std::string(b.constData(), size_t(b.size()));
}
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
    }
    void lookup() {
        QFETCH(QByteArray, file);
        QFETCH(bool, found);
        QFETCH(QByteArray, value);
        const auto v = ProfileFile::Parse(stringOf(file)).Value("Programa", "K");
        QCOMPARE(v.has_value(), found);
        if (found)
            QCOMPARE(QByteArray::fromStdString(*v), value);
    }

    void loadReadsOnlyRegularFiles() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const std::string file = dir.filePath("a.snh").toStdString();
        QFile f(QString::fromStdString(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Programa]\r\nK=1\r\n");
        f.close();
        QCOMPARE(ProfileFile::Load(file).Value("programa", "k").value_or("missing"), "1");

        QVERIFY(!ProfileFile::Load(dir.path().toStdString()).Value("Programa", "K"));
        QVERIFY(!ProfileFile::Load(file + ".missing").Value("Programa", "K"));
        // A FIFO with no writer would block an ordinary open for good.
        const std::string fifo = dir.filePath("fifo.snh").toStdString();
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        QVERIFY(!ProfileFile::Load(fifo).Value("Programa", "K"));
    }
};

QTEST_APPLESS_MAIN(ProfileFileTest)
#include "ProfileFileTest.moc"
