#include "app/DialogFolder.h"

#include <QDir>
#include <QStandardPaths>

// The user's Documents: the Start menu starts the window in the program's
// folder, where a standard user cannot write and whose files the uninstaller
// would leave behind.
QString FirstDialogFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}
