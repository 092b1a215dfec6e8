#include "app/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QStringList QtTranslationFolders() {
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
}

QString InstallQtTranslation(QTranslator& translator, const QStringList& folders) {
    for (const QString& folder : folders) {
        if (translator.load(QStringLiteral("qtbase_pt_BR"), folder)) {
            QCoreApplication::installTranslator(&translator);
            return translator.filePath();
        }
    }
    return {};
}
