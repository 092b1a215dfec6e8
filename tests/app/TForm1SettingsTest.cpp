#include "app/TForm1.h"
#include "settings/SettingsFile.h"
#include "tests/support/FileOptions.h"
#include "widgets/TUpDown.h"
#include "widgets/TVrNumEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QOperatingSystemVersion>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

namespace {

// Stands in for the operator at the file dialogs and the error display.
struct Operator {
    explicit Operator(TForm1& form) {
        form.ExecDialog = [this](QFileDialog& dialog, QString& path) {
            dialogs << dialog.objectName();
            lastDialog = &dialog;
            if (!confirm)
                return false;
            path = chosenPath;
            return true;
        };
        form.ShowError = [this](const QString& text) { errors << text; };
    }
    QString chosenPath;
    bool confirm = true;
    QStringList dialogs;
    QFileDialog* lastDialog = nullptr;
    QStringList errors;
};

// Log lines added since a mark.
struct LogMark {
    explicit LogMark(const TForm1& f) : form(f), start(f.LogLines().size()) {}
    QStringList Added() const { return form.LogLines().mid(start); }
    const TForm1& form;
    qsizetype start;
};

void chooseBand(TForm1& form, int band) {
    form.ComboBox1->setCurrentIndex(band - 1);
    emit form.ComboBox1->activated(band - 1);
}

// The file of the first tests, different from everything the window shows
// at start and from the first selection's presets.
struct Scenario {
    ConfigurationModel model;
    printer::PrinterOptions options = FileOptions(1, 0, 1, 1, true, false, false, 2);

    Scenario() {
        model.SetPlaceholderTexts();
        auto at = [](int band, int line) { return ConfigurationModel::LineIndex(band, line); };
        model.BandLineText[at(1, 1)] = "Voc\xEA";
        model.BandLineText[at(1, 2)] = "Cl\xEDnica";
        model.BandLineText[at(1, 3)] = "\xE0 vista";
        model.BandLineText[at(1, 4)] = "";
        model.BandLineText[at(3, 1)] = "Banda tr\xEAs";
        model.LineStyle = {1, 2, 0, 3, 0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1};
        model.LineEnabled[at(1, 2)] = false;
        model.Ranges[0] = {10, 20};
        model.Ranges[2] = {300, 399};
    }
    void WriteTo(const QString& path) const {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const std::string bytes = SettingsFile::Format({model, options});
        f.write(bytes.data(), qsizetype(bytes.size()));
    }
};

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TForm1SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void openAsTheFirstAction() {
        QTemporaryDir dir;
        const Scenario file;
        file.WriteTo(dir.filePath("a.snh"));
        TForm1 form;
        Operator op(form);
        op.chosenPath = dir.filePath("a.snh");
        QVERIFY(form.CheckBox4->isChecked() && form.CheckBox5->isChecked() &&
                form.CheckBox7->isChecked() && form.CheckBox2->isChecked());
        const LogMark log(form);

        form.Button7->click();

        QCOMPARE(op.dialogs, QStringList{"Dialog1"});
        QCOMPARE(op.lastDialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(op.lastDialog->fileMode(), QFileDialog::AnyFile);
        QCOMPARE(op.lastDialog->nameFilters(), QStringList{"Arquivo senha (*.snh)"});
        QCOMPARE(op.lastDialog->defaultSuffix(), QStringLiteral("snh"));
        QVERIFY(op.lastDialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(log.Added(), QStringList({"> Abrir arquivo configuração.", "  ",
                                           "> Impressora não imprime dia, mes e ano.", " ",
                                           "> Impressora não imprime hora, minuto e segundo.", " ",
                                           "> Abra porta Serial para enviar dados.", " ",
                                           "> Impressora não imprime linha 2.", " "}));
        // The file's option values, not the first selection's presets.
        QCOMPARE(form.ComboBox8->currentIndex(), 1);
        QCOMPARE(form.ComboBox10->currentIndex(), 0);
        QCOMPARE(form.ComboBox11->currentIndex(), 1);
        QCOMPARE(form.ComboBox12->currentIndex(), 1);
        QCOMPARE(form.Up1->Position(), 2);
        QCOMPARE(form.Edit5->text(), QStringLiteral("2"));
        QCOMPARE(form.ComboBox1->currentIndex(), 0);
        QCOMPARE(form.Model.CurrentBand, 1);
        QCOMPARE(form.Model.BandLineText, file.model.BandLineText);
        QCOMPARE(form.Model.LineStyle, file.model.LineStyle);
        QCOMPARE(form.Model.BandEnd(3), 399);
        QCOMPARE(form.Edit1->text(), QStringLiteral("Você"));
        QCOMPARE(form.Edit3->text(), QStringLiteral("à vista"));
        QCOMPARE(form.ComboBox3->currentIndex(), 2);
        QVERIFY(!form.CheckBox2->isChecked());
        QCOMPARE(form.VrNumEdit1->GetValue(), 10.0);
        QVERIFY(form.Button4->isEnabled());
        QVERIFY(form.Timer1->isActive());
        QCOMPARE(form.Timer1->interval(), 200);
        QCOMPARE(form.SettingsFileName, dir.filePath("a.snh"));
        QVERIFY(!form.SaveRequested);
        QVERIFY(op.errors.isEmpty());
    }

    void openAfterABandWasChosen() {
        QTemporaryDir dir;
        const Scenario file;
        file.WriteTo(dir.filePath("a.snh"));
        TForm1 form;
        Operator op(form);
        op.chosenPath = dir.filePath("a.snh");
        chooseBand(form, 3);
        // An edit that no refresh has copied yet must not land on the file's
        // band 3.
        form.Timer1->stop();
        form.Edit1->setText(QStringLiteral("pendente"));
        form.ComboBox10->setCurrentIndex(1);
        const LogMark log(form);

        form.Button7->click();

        QCOMPARE(log.Added(), QStringList({"> Abrir arquivo configuração.", "  ",
                                           "> Impressora não imprime dia, mes e ano.", " ",
                                           "> Impressora não imprime hora, minuto e segundo.", " ",
                                           "> Impressora não imprime linha 2.", " "}));
        QCOMPARE(form.Model.BandLineText[ConfigurationModel::LineIndex(3, 1)],
                 std::string("Banda tr\xEAs"));
        QCOMPARE(form.ComboBox1->currentIndex(), 0);
        QCOMPARE(form.Model.CurrentBand, 1);
        QCOMPARE(form.Edit1->text(), QStringLiteral("Você"));
        QCOMPARE(form.ComboBox10->currentIndex(), 0);
        QCOMPARE(form.ComboBox8->currentIndex(), 1);
        QVERIFY(form.Timer1->isActive());
    }

    void saveThenOpenGivesTheSameValues() {
        QTemporaryDir dir;
        const Scenario file;
        file.WriteTo(dir.filePath("a.snh"));
        TForm1 form;
        Operator op(form);
        op.chosenPath = dir.filePath("a.snh");
        form.Button7->click();
        const ConfigurationModel saved = form.Model;

        op.chosenPath = dir.filePath("b.snh");
        const LogMark log(form);
        form.Button4->click();

        QCOMPARE(log.Added(), QStringList({"> Salvar arquivo de configuração.", "  "}));
        QCOMPARE(op.lastDialog->objectName(), QStringLiteral("SaveDialog1"));
        QCOMPARE(op.lastDialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(op.lastDialog->nameFilters(),
                 QStringList({"Arquivo senhas (*.snh)", "Todos os arquivos (*)"}));
        // Qt 6.4 names the selected filter without its pattern when details are hidden.
        QVERIFY(op.lastDialog->selectedNameFilter().startsWith("Arquivo senhas"));
        QCOMPARE(op.lastDialog->defaultSuffix(), QStringLiteral("snh"));
        QVERIFY(!op.lastDialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(contents(dir.filePath("b.snh")), contents(dir.filePath("a.snh")));
        QVERIFY(form.Timer1->isActive());
        QVERIFY(!form.SaveRequested);
        QCOMPARE(form.SettingsFileName, dir.filePath("b.snh"));

        // Change everything the file holds, then open it again.
        form.Timer1->stop();
        form.Model.BandLineText.fill("x");
        form.Model.LineStyle.fill(3);
        form.Model.LineEnabled.fill(true);
        form.Model.Ranges.fill({5, 6});
        for (QComboBox* box : {form.ComboBox8, form.ComboBox10, form.ComboBox11, form.ComboBox12})
            box->setCurrentIndex(-1);
        form.CheckBox5->setChecked(true);
        form.Up1->SetPosition(4);
        form.Button7->click();

        QCOMPARE(form.Model.BandLineText, saved.BandLineText);
        QCOMPARE(form.Model.LineStyle, saved.LineStyle);
        QCOMPARE(form.Model.LineEnabled, saved.LineEnabled);
        for (int band = 1; band <= 4; ++band)
            QCOMPARE(form.Model.BandEnd(band), saved.BandEnd(band));
        QCOMPARE(form.ComboBox8->currentIndex(), 1);
        QCOMPARE(form.ComboBox10->currentIndex(), 0);
        QVERIFY(!form.CheckBox5->isChecked());
        QCOMPARE(form.Up1->Position(), 2);
    }

    void failedSave_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");        // the system's words: POSIX errno
        QTest::addColumn<QString>("windowsReason"); // or Windows' GetLastError
        QTest::newRow("folder missing") << "missing/b.snh"
                                        << " (Error 2, No such file or directory)"
                                        << " (Error 3, Path not found)";
        QTest::newRow("folder is a file") << "a.snh/b.snh"
                                          << " (Error 20, Not a directory)"
                                          << " (Error 3, Path not found)";
    }
    void failedSave() {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QFETCH(QString, windowsReason);
        if (QSysInfo::productType() == QLatin1String("windows"))
            reason = windowsReason;
        QTemporaryDir dir;
        Scenario().WriteTo(dir.filePath("a.snh"));
        const QByteArray earlier = contents(dir.filePath("a.snh"));
        TForm1 form;
        Operator op(form);
        chooseBand(form, 1);
        op.chosenPath = dir.filePath(target);
        const LogMark log(form);

        form.Button4->click();

        QCOMPARE(op.errors, QStringList{"Unable to write to " +
                                        QDir::toNativeSeparators(dir.filePath(target)) + reason});
        QCOMPARE(log.Added(), QStringList({"> Salvar arquivo de configuração.", "  "}));
        QVERIFY(form.Timer1->isActive());
        QVERIFY(!form.SaveRequested);
        QCOMPARE(contents(dir.filePath("a.snh")), earlier);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"a.snh"});
    }

    void refusedFileChangesNothing_data() {
        QTest::addColumn<QString>("chosen"); // "big" is made here, sparse
        QTest::addColumn<QString>("error");  // %1: the chosen path
        QTest::newRow("missing, typed without its accent") << "agencia centro.snh"
                                                           << "O arquivo \"%1\" não existe.";
        QTest::newRow("over 16 MiB")
            << "big"
            << "O arquivo \"%1\" tem 16777217 bytes, mais que os 16 MiB que um arquivo "
               "de configuração pode ter.";
    }
    void refusedFileChangesNothing() {
        QFETCH(QString, chosen);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString opened = dir.filePath("agência centro.snh");
        Scenario().WriteTo(opened);
        if (chosen == "big") {
            QFile big(dir.filePath(chosen));
            QVERIFY(big.open(QIODevice::WriteOnly) && big.resize((16 << 20) + 1));
        }
        TForm1 form;
        Operator op(form);
        op.chosenPath = opened;
        form.Button7->click();
        QCOMPARE(op.errors, QStringList{});
        const ConfigurationModel before = form.Model;
        const printer::PrinterOptions options = form.ReadConfiguration().Options;
        const LogMark log(form);

        op.chosenPath = dir.filePath(chosen);
        form.Button7->click();

        QCOMPARE(op.errors, QStringList{error.arg(QDir::toNativeSeparators(dir.filePath(chosen)))});
        QCOMPARE(log.Added(), QStringList({"> Abrir arquivo configuração.", "  "}));
        QCOMPARE(form.SettingsFileName, opened);
        QCOMPARE(form.Model.BandLineText, before.BandLineText);
        QCOMPARE(form.Model.LineStyle, before.LineStyle);
        QVERIFY(form.Model.Ranges == before.Ranges);
        QVERIFY(form.ReadConfiguration().Options == options);
        QVERIFY(form.Timer1->isActive());
    }

    // An accented name is saved, opened and saved over like any other: the
    // file holds what a save under a plain name holds.
    void accentedNames_data() {
        QTest::addColumn<bool>("exists"); // the accented file is there first
        QTest::addColumn<bool>("open");   // and "Abrir" opens it before the save
        QTest::newRow("save under a new name") << false << false;
        QTest::newRow("save over an accented file") << true << false;
        QTest::newRow("open, then save over it") << true << true;
    }
    void accentedNames() {
        QFETCH(bool, exists);
        QFETCH(bool, open);
        QTemporaryDir dir;
        const QString accented = dir.filePath(QStringLiteral("agência centro.snh"));
        Scenario().WriteTo(dir.filePath("plain.snh"));
        if (exists)
            Scenario().WriteTo(accented);
        TForm1 form;
        Operator op(form);
        op.chosenPath = dir.filePath("plain.snh");
        form.Button7->click();
        if (open) {
            op.chosenPath = accented;
            form.Button7->click();
        }
        form.Up1->SetPosition(3); // differs from what the files hold

        op.chosenPath = accented;
        form.Button4->click();
        op.chosenPath = dir.filePath("plain.snh");
        form.Button4->click();

        QCOMPARE(op.errors, QStringList{});
        QCOMPARE(form.SettingsFileName, dir.filePath("plain.snh"));
        QCOMPARE(contents(accented), contents(dir.filePath("plain.snh")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // The first dialog opens in a folder the user may write to: on Windows
    // the current one is the program's, under Program Files.
    void firstDialogFolder() {
        TForm1 form;
        Operator op(form);
        op.confirm = false;
        form.Button7->click();
        const bool windows =
            QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows;
        const QString expected =
            windows ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                    : QDir::currentPath();
        QCOMPARE(op.lastDialog->directory().absolutePath(), QDir(expected).absolutePath());
    }

    void cancelledDialogChangesNothing_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("save") << true << QStringList({"> Salvar arquivo de configuração.", "  "});
        QTest::newRow("open") << false << QStringList({"> Abrir arquivo configuração.", "  "});
    }
    void cancelledDialogChangesNothing() {
        QFETCH(bool, save);
        QFETCH(QStringList, lines);
        TForm1 form;
        Operator op(form);
        op.confirm = false;
        form.SettingsFileName = QStringLiteral("/earlier.snh");
        if (save)
            form.ena();
        const ConfigurationModel before = form.Model;
        const LogMark log(form);

        (save ? form.Button4 : form.Button7)->click();

        QCOMPARE(op.dialogs.size(), 1);
        QCOMPARE(log.Added(), lines);
        QCOMPARE(form.SettingsFileName, QStringLiteral("/earlier.snh"));
        QCOMPARE(form.Model.BandLineText, before.BandLineText);
        QVERIFY(!form.Model.FirstBandSelected);
        QCOMPARE(form.Button4->isEnabled(), save);
        QCOMPARE(form.ComboBox8->currentIndex(), -1);
        QVERIFY(!form.Timer1->isActive());
    }
};

QTEST_MAIN(TForm1SettingsTest)
#include "TForm1SettingsTest.moc"
