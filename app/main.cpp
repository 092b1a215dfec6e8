#include "app/QtTranslation.h"
#include "app/TForm1.h"

#include <QApplication>
#include <QScreen>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTranslator qtTexts;
    InstallQtTranslation(qtTexts, QtTranslationFolders());
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.ImpressoraQrv"));
    TForm1 form;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    form.show();
    return app.exec();
}
