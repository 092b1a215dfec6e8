// The save and open commands of the settings file "*.snh".
#include "app/TForm1.h"
#include "settings/AtomicFile.h"
#include "settings/FileCheck.h"
#include "settings/SettingsFile.h"
#include "widgets/TUpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <stdexcept>

namespace {

// The Qt-free side takes paths as UTF-8 (the wide API on Windows) and names
// them in its messages as given: in the system's own form.
std::string localPath(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

// Both dialogs: the filters shown by name only, as the operator knows them,
// the first one chosen; "snh" added to a name typed without extension; any
// name may be typed (open refuses one that is not there); resizable.
void prepareDialog(QFileDialog& dialog, QFileDialog::AcceptMode mode, const QStringList& filters) {
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.constFirst());
    dialog.setDefaultSuffix(QStringLiteral("snh"));
    dialog.setSizeGripEnabled(true);
}

} // namespace

void TForm1::ConnectSettingsHandlers() {
    connect(Button4, &QPushButton::clicked, this, guarded(&TForm1::Button4Click));
    connect(Button7, &QPushButton::clicked, this, guarded(&TForm1::Button7Click));
    if (!ExecDialog) {
        ExecDialog = [](QFileDialog& dialog, QString& path) {
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                return false;
            path = dialog.selectedFiles().constFirst();
            return true;
        };
    }
}

void TForm1::Button4Click() {
    Log(QStringLiteral("> Salvar arquivo de configuração."));
    Log(QStringLiteral("  "));

    QFileDialog& dialog = SaveDialog();
    prepareDialog(
        dialog, QFileDialog::AcceptSave,
        {QStringLiteral("Arquivo senhas (*.snh)"), QStringLiteral("Todos os arquivos (*)")});
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    QString path;
    if (!ExecDialog(dialog, path))
        return;

    SettingsFileName = path;
    SaveRequested = true;
    const auto clear = qScopeGuard([this] { SaveRequested = false; });
    fsave();
}

void TForm1::fsave() {
    if (!SaveRequested)
        return;
    Timer1->stop();
    // The refresh runs again also when the file could not be written.
    const auto restart = qScopeGuard([this] { Timer1->start(); });

    WriteFileAtomically(localPath(SettingsFileName), SettingsFile::Format(ReadConfiguration()));
    JournalFile = SettingsFileName;
}

void TForm1::Button7Click() {
    Log(QStringLiteral("> Abrir arquivo configuração."));
    Log(QStringLiteral("  "));

    QFileDialog& dialog = OpenDialog();
    prepareDialog(dialog, QFileDialog::AcceptOpen, {QStringLiteral("Arquivo senha (*.snh)")});
    QString path;
    if (!ExecDialog(dialog, path))
        return;
    // A name typed wrong would otherwise open as every default, and the next
    // "Programar" would send those. The error box, not the log: the operator
    // must see it before the next command.
    if (const auto reason = SettingsFile::Unusable(localPath(path))) {
        QString text = QString::fromStdString(*reason);
        text[0] = text[0].toUpper();
        throw std::runtime_error(text.toStdString());
    }

    SettingsFileName = path;
    load();
    JournalFile = path;
    SaveRequested = false;
    ena();
}

void TForm1::load() {
    Timer1->stop();
    // Should reading fail part-way (memory), a refresh that ran goes on.
    auto resume = qScopeGuard([this] {
        if (Model.FirstBandSelected)
            Timer1->start();
    });
    ShowConfiguration(SettingsFile::Read(SettingsFile::Load(localPath(SettingsFileName))));

    // What was just read must not be overwritten by the editor, and a first
    // selection keeps the option lists read from the file. The selection
    // starts the refresh itself.
    resume.dismiss();
    ComboBox1->setCurrentIndex(0);
    SelectBand(false, false);
}
