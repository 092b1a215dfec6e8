// The window built for Windows, under wine on an X server of its own (the
// test runs under xvfb-run), clicked as an operator clicks it: band 1, "Com3",
// "Config", with wine's COM3 on a pseudo-terminal. What reaches the line must
// be what the Linux window sends for the same clicks. First from the build
// folder, then installed by its installer into a fresh wine prefix and
// started from there alone; last the uninstaller, which must leave nothing.
// The port map folder is there throughout.

#include "ProgramRun.h"
#include "PtyPair.h"
#include "app/TForm1.h"
#include "journal/Journal.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const QString Caption = QStringLiteral("Impressora - QRV 1.1");
const QString AppFolder = QStringLiteral("Program Files/Impressora - QRV");
const QString StartMenuEntry =
    QStringLiteral("ProgramData/Microsoft/Windows/Start Menu/Programs/Impressora - QRV.lnk");
const QString UninstallKey =
    QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\impressora-qrv");

// Every file under `folder`, relative to it, sorted.
QStringList FilesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

ProgramRun Xdotool(const QStringList& arguments) {
    return RunProgram(QStringLiteral("xdotool"), arguments);
}

// The pages pages-probe.exe walked through, each the list of its texts.
QList<QStringList> Pages(const QByteArray& walk) {
    QList<QStringList> pages;
    for (const QString& line : QString::fromUtf8(walk).split('\n', Qt::SkipEmptyParts)) {
        if (line == QStringLiteral("--- page"))
            pages.append(QStringList());
        else if (!pages.isEmpty())
            pages.last().append(line);
    }
    return pages;
}

// The first text of the pages that speaks of the program as masculine ("do
// Impressora", "o Impressora foi instalado"), or nothing.
QString MasculineText(const QList<QStringList>& pages) {
    static const QRegularExpression before(QStringLiteral("(\\S+)\\s+Impressora - QRV"));
    static const QRegularExpression agreement(
        QStringLiteral("Impressora - QRV[^.]*\\b(des)?instalado\\b"));
    static const QStringList feminine = {"a", "A", "da", "na", "à", "pela"};
    for (const QStringList& page : pages)
        for (const QString& text : page) {
            for (const QRegularExpressionMatch& m : before.globalMatch(text))
                if (!feminine.contains(m.captured(1)))
                    return text;
            if (agreement.match(text).hasMatch())
                return text;
        }
    return {};
}

} // namespace

class WindowWineTest : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;
    QProcessEnvironment wineEnv = QProcessEnvironment::systemEnvironment();
    QByteArray linuxConfig; // what the Linux window sends for the clicks
    // Centres of the controls, in the window's coordinates: the layout is
    // the same code on both systems.
    QPoint bandBox, portBox, configButton;
    QString userFolder; // the prefix's C:\\users\\<name>

    QString driveC(const QString& path = {}) const {
        return prefix.path() + QStringLiteral("/drive_c/") + path;
    }

    ProgramRun wine(const QStringList& arguments) {
        return RunProgram(QStringLiteral("wine"), arguments, wineEnv, 180000);
    }

    // The X window with the caption, once the program has shown it.
    QString waitForWindow(QProcess& program) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 90000 && program.state() != QProcess::NotRunning) {
            const ProgramRun found = Xdotool({"search", "--name", "^" + Caption + "$"});
            if (found.Status == 0 && !found.Out.trimmed().isEmpty())
                return QString::fromLatin1(found.Out.trimmed().split('\n').last());
            QTest::qWait(250);
        }
        return {};
    }

    QSize windowSize(const QString& id) {
        const ProgramRun geometry = Xdotool({"getwindowgeometry", "--shell", id});
        QSize size;
        for (const QByteArray& line : geometry.Out.split('\n')) {
            if (line.startsWith("WIDTH="))
                size.setWidth(line.mid(6).toInt());
            if (line.startsWith("HEIGHT="))
                size.setHeight(line.mid(7).toInt());
        }
        return size;
    }

    void click(const QString& id, QPoint at) {
        QCOMPARE(Xdotool({"mousemove", "--sync", "--window", id, QString::number(at.x()),
                          QString::number(at.y()), "click", "1"})
                     .Status,
                 0);
        QTest::qWait(300);
    }
    void keys(const QString& id, const QStringList& names) {
        QCOMPARE(Xdotool(QStringList{"key", "--window", id, "--delay", "150"} + names).Status, 0);
        QTest::qWait(300);
    }

    // Starts `exe` under wine in `folder`, checks its window, clicks band 1,
    // "Com3" and "Config" and closes it with Alt+F4; returns what reached
    // the line.
    QByteArray operate(const QString& exe, const QString& folder, QProcessEnvironment env) {
        PtyPair printer;
        const fs::path com3 = fs::path(prefix.path().toStdString()) / "dosdevices" / "com3";
        fs::remove(com3);
        fs::create_symlink(printer.SlavePath(), com3);

        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(folder);
        program.start(QStringLiteral("wine"), {exe});
        const QString id = waitForWindow(program);
        if (id.isEmpty()) {
            program.kill();
            program.waitForFinished();
            qWarning("%s", program.readAllStandardError().constData());
            return "no window";
        }
        const QSize size = windowSize(id);
        if (size != QSize(429, 363)) {
            program.kill();
            program.waitForFinished();
            return "window of " + QByteArray::number(size.width()) + "x" +
                   QByteArray::number(size.height());
        }
        // A closed drop-down list opens on a click; the keys pick in it.
        click(id, bandBox);
        keys(id, {"Down", "Return"});
        click(id, portBox);
        keys(id, {"Home", "Down", "Down", "Return"});
        click(id, configButton);
        const QByteArray sent = printer.ReadMaster(int(linuxConfig.size()), 20000);

        keys(id, {"alt+F4"});
        if (!program.waitForFinished(30000)) {
            program.kill();
            program.waitForFinished();
            return "the window did not close";
        }
        if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
            return "exit " + QByteArray::number(program.exitCode());
        return sent;
    }

private slots:
    void initTestCase() {
        // The Linux window, offscreen, for the reference bytes and the layout.
        {
            PortMapFolder map;
            PtyPair printer;
            map.Map("COM3", QString::fromStdString(printer.SlavePath()));
            TForm1 form;
            form.ena();
            form.ComboBox1->setCurrentIndex(0);
            emit form.ComboBox1->activated(0);
            form.ComboBox5->setCurrentIndex(2);
            emit form.ComboBox5->activated(2);
            form.Button6->click();
            linuxConfig = printer.DrainMaster(1000);
            auto centre = [&form](QWidget* w) { return w->mapTo(&form, w->rect().center()); };
            bandBox = centre(form.ComboBox1);
            portBox = centre(form.ComboBox5);
            configButton = centre(form.Button6);
        }
        QCOMPARE(linuxConfig.size(), 56); // frames L 17 and L 18, 28 bytes each

        QVERIFY(prefix.isValid());
        wineEnv.remove(QStringLiteral("QT_QPA_PLATFORM")); // the window draws on the X server
        wineEnv.insert(QStringLiteral("WINEPREFIX"), prefix.path());
        wineEnv.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        wineEnv.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        const ProgramRun boot = RunProgram(QStringLiteral("wineboot"), {"--init"}, wineEnv, 180000);
        QVERIFY2(boot.Status == 0, boot.Err.constData());

        // A port map folder, as one qrv.exe map leaves it: choosing "Com3"
        // must open the port, not a map entry that the system takes for it.
        QDir users(driveC(QStringLiteral("users")));
        users.setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
        const QStringList names = users.entryList().filter(QRegularExpression("^(?!Public$)"));
        QVERIFY(!names.isEmpty());
        userFolder = users.filePath(names.first());
        const QString ports = userFolder + "/AppData/Roaming/impressora-qrv/ports";
        QVERIFY(QDir().mkpath(ports));
        QFile entry(ports + "/porta-COM5");
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("rfc2217://127.0.0.1:4005\r\n");
    }

    void windowFromTheBuildFolder() {
        const QByteArray sent = operate(QStringLiteral(QRV_WINDOWS_BUILD "/impressora-qrv.exe"),
                                        QStringLiteral(QRV_WINDOWS_BUILD), wineEnv);
        QCOMPARE(sent.toHex(' '), linuxConfig.toHex(' '));
        // Its record, under the user's local application data.
        const journal::Reading read = journal::Read(
            {(userFolder + "/AppData/Local/impressora-qrv/journal.jsonl").toStdString()}, {});
        QCOMPARE(read.Entries.size(), std::size_t{1});
        const journal::Record& r = read.Entries.front().Data;
        QCOMPARE(r.Command, std::string("config"));
        QCOMPARE(r.Port.Named, std::string("COM3"));
        QCOMPARE(r.Result.What, journal::Outcome::Completed);
        std::string frames;
        for (const journal::SentFrame& frame : r.Frames)
            frames += frame.Hex;
        QCOMPARE(QByteArray::fromStdString(frames), sent.toHex());
    }

    void installerInstallsWhatTheWindowNeeds() {
        const ProgramRun install = wine({QStringLiteral(QRV_INSTALLER), "/S"});
        QCOMPARE(install.Status, 0);
        QStringList expected = FilesUnder(QStringLiteral(QRV_WINDOWS_BUILD "/installer-stage"));
        expected << QStringLiteral("desinstalar.exe");
        expected.sort();
        QCOMPARE(FilesUnder(driveC(AppFolder)), expected);
        QVERIFY(QFile::exists(driveC(StartMenuEntry)));
        QCOMPARE(wine({"reg", "query", UninstallKey, "/v", "DisplayName"}).Status, 0);
    }

    // Nothing of the build folder: no WINEPATH, no plugin path, started
    // from the folder it was installed in.
    void installedWindowRunsFromItsFolderAlone() {
        QProcessEnvironment alone = wineEnv;
        alone.remove(QStringLiteral("WINEPATH"));
        alone.remove(QStringLiteral("QT_PLUGIN_PATH"));
        const QByteArray sent =
            operate(QStringLiteral("C:\\Program Files\\Impressora - QRV\\impressora-qrv.exe"),
                    driveC(AppFolder), alone);
        QCOMPARE(sent.toHex(' '), linuxConfig.toHex(' '));
    }

    void uninstallerLeavesNothing() {
        QCOMPARE(
            wine({QStringLiteral("C:\\Program Files\\Impressora - QRV\\desinstalar.exe"), "/S"})
                .Status,
            0);
        // The uninstaller runs on from a copy of itself in the temporary folder.
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(driveC(AppFolder)), 60000);
        QVERIFY(!QFile::exists(driveC(StartMenuEntry)));
        QVERIFY(wine({"reg", "query", UninstallKey}).Status != 0);
    }

    // Clicked through as a user accepting every default: a welcome page
    // first, the program named as "a Impressora - QRV" everywhere, and its
    // publisher in the uninstall entry.
    void installerPagesNameHerAndItsPublisher() {
        const ProgramRun install =
            wine({QStringLiteral(QRV_PROBES "/pages-probe.exe"), QStringLiteral(QRV_INSTALLER)});
        QCOMPARE(install.Status, 0);
        const QList<QStringList> pages = Pages(install.Out);
        QVERIFY2(pages.size() >= 3, install.Out.constData());
        QCOMPARE(MasculineText(pages), QString());
        QVERIFY2(pages.first().filter(QStringLiteral("Bem-vindo")).size() == 1,
                 qPrintable(pages.first().join('|')));
        const ProgramRun publisher = wine({"reg", "query", UninstallKey, "/v", "Publisher"});
        QVERIFY2(publisher.Out.contains("Publisher    REG_SZ    Equipe Impressora QRV"),
                 publisher.Out.constData());

        const ProgramRun uninstall =
            wine({QStringLiteral(QRV_PROBES "/pages-probe.exe"),
                  QStringLiteral("C:\\Program Files\\Impressora - QRV\\desinstalar.exe")});
        QCOMPARE(uninstall.Status, 0);
        const QList<QStringList> unpages = Pages(uninstall.Out);
        QVERIFY2(unpages.size() >= 2, uninstall.Out.constData());
        QCOMPARE(MasculineText(unpages), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(driveC(AppFolder)), 60000);
    }
};

QTEST_MAIN(WindowWineTest)
#include "WindowWineTest.moc"
