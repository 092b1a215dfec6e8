// The check that comes before a settings file is read, on real files in a
// temporary folder; large files are sparse, so they cost no disk.
#include "settings/FileCheck.h"

#include <QtTest>

class FileCheckTest : public QObject {
    Q_OBJECT

private slots:
    void refusesWhatCannotBeUsed_data();
    void refusesWhatCannotBeUsed();
};

void FileCheckTest::refusesWhatCannotBeUsed_data() {
    QTest::addColumn<QString>("kind"); // file, folder or none
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("name");   // relative to the temporary folder
    QTest::addColumn<QString>("reason"); // %1: the path asked for; empty: usable

    QTest::newRow("a real one") << "file" << qint64{1500} << "centro.snh" << QString();
    QTest::newRow("exactly 16 MiB") << "file" << qint64{16 << 20} << "limite.snh" << QString();
    QTest::newRow("one byte over 16 MiB")
        << "file" << qint64{(16 << 20) + 1} << "grande.snh"
        << "o arquivo \"%1\" tem 16777217 bytes, mais que os 16 MiB que um arquivo de "
           "configuração pode ter.";
    QTest::newRow("missing, a name without its accent")
        << "none" << qint64{0} << "agencia centro.snh"
        << "o arquivo \"%1\" não existe.";
    QTest::newRow("under a file, not a folder") << "file" << qint64{10} << "centro.snh/outro.snh"
                                                << "o arquivo \"%1\" não existe.";
    QTest::newRow("a folder") << "folder" << qint64{0} << "pasta.snh"
                              << "\"%1\" não é um arquivo comum.";
}

void FileCheckTest::refusesWhatCannotBeUsed() {
    QFETCH(QString, kind);
    QFETCH(qint64, size);
    QFETCH(QString, name);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // What is made is the first part of the name; the rest (if any) is
    // looked for beneath it.
    const QString made = dir.filePath(name.section('/', 0, 0));
    if (kind == "file") {
        QFile file(made);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(made));
    }
    const QString path = dir.filePath(name);

    const std::optional<std::string> got =
        SettingsFile::Unusable(QFile::encodeName(path).toStdString());
    if (reason.isEmpty())
        QVERIFY2(!got, got ? got->c_str() : "");
    else
        QCOMPARE(QString::fromStdString(got.value_or("(usable)")),
                 reason.arg(QDir::toNativeSeparators(path))); // backslashes on Windows
}

QTEST_GUILESS_MAIN(FileCheckTest)
#include "FileCheckTest.moc"
