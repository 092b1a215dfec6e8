#pragma once

#include <QString>
#include <QStringList>

class QTranslator;

// Qt's own Brazilian Portuguese texts (file dialogs, message-box buttons),
// so that they read in the language of the rest of the window. The
// program's own texts are Portuguese in the source and need no translation.

// Where qtbase_pt_BR.qm is looked for, first match wins: a "translations"
// folder beside the executable (where the Windows build ships it), then
// Qt's own translations folder (Debian's qt6-translations-l10n).
QStringList QtTranslationFolders();

// Loads qtbase_pt_BR.qm from the first of folders that has it into
// translator and installs it in the application. Returns the file loaded,
// or an empty string when no folder has it (Qt's English texts stay). Call
// on the main thread after the application object exists.
QString InstallQtTranslation(QTranslator& translator, const QStringList& folders);
