// Qt's own texts in Brazilian Portuguese, from the real qtbase_pt_BR.qm:
// which folder it is taken from, and what the standard dialogs then read.
#include "app/QtTranslation.h"

#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>

namespace {

const QString QmName = QStringLiteral("qtbase_pt_BR.qm");

QString systemFolder() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

} // namespace

class QtTranslationTest : public QObject {
    Q_OBJECT

private slots:
    void foldersBesideTheProgramFirst();
    void standardDialogsRead_data();
    void standardDialogsRead();
};

void QtTranslationTest::foldersBesideTheProgramFirst() {
    QCOMPARE(
        QtTranslationFolders(),
        (QStringList{QCoreApplication::applicationDirPath() + "/translations", systemFolder()}));
}

void QtTranslationTest::standardDialogsRead_data() {
    // Folders, in order: "beside" holds a copy of the file, "empty" nothing,
    // "qt" is Qt's own folder.
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("loadedFrom"); // one of the folders, or empty
    QTest::addColumn<QStringList>("texts");  // Yes, No, the save dialog's title

    const QStringList portuguese{"&Sim", "&Não", "Salvar como"};
    QTest::newRow("beside the program, before Qt's folder")
        << QStringList{"beside", "qt"} << "beside" << portuguese;
    QTest::newRow("Qt's folder, when none is beside the program")
        << QStringList{"empty", "qt"} << "qt" << portuguese;
    QTest::newRow("nowhere: Qt's English texts")
        << QStringList{"empty"} << QString() << QStringList{"&Yes", "&No", "Save As"};
}

void QtTranslationTest::standardDialogsRead() {
    QFETCH(QStringList, folders);
    QFETCH(QString, loadedFrom);
    QFETCH(QStringList, texts);

    QTemporaryDir beside;
    QTemporaryDir empty;
    QVERIFY(QFile::copy(systemFolder() + "/" + QmName, beside.filePath(QmName)));
    const QHash<QString, QString> paths{
        {"beside", beside.path()}, {"empty", empty.path()}, {"qt", systemFolder()}};
    QStringList searched;
    for (const QString& f : folders)
        searched << paths.value(f);

    QTranslator translator;
    const QString loaded = InstallQtTranslation(translator, searched);
    QCOMPARE(loaded, loadedFrom.isEmpty() ? QString() : paths.value(loadedFrom) + "/" + QmName);

    QMessageBox box(QMessageBox::Question, "Impressora", "?", QMessageBox::Yes | QMessageBox::No);
    QFileDialog save;
    save.setOption(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    QCOMPARE((QStringList{box.button(QMessageBox::Yes)->text(), box.button(QMessageBox::No)->text(),
                          save.windowTitle()}),
             texts);
}

QTEST_MAIN(QtTranslationTest)
#include "QtTranslationTest.moc"
