#include "settings/AtomicFile.h"

#include <QtTest>
#include <csignal>
#include <linux/capability.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QByteArray earlier = "[Programa]\r\nLINHA11=earlier\r\n";

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList listing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// While it lives, this process is bound by file permissions even as root:
// the capabilities that override them are taken out of the effective set
// (they stay permitted and come back on destruction).
class PermissionsBind {
public:
    PermissionsBind() {
        header.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        dropped = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~PermissionsBind() {
        if (dropped)
            ::syscall(SYS_capset, &header, saved);
    }
    PermissionsBind(const PermissionsBind&) = delete;
    PermissionsBind& operator=(const PermissionsBind&) = delete;

private:
    __user_cap_header_struct header{};
    __user_cap_data_struct saved[2]{};
    bool dropped = false;
};

// Whether permissions keep this process from writing: a probe file in a
// folder, or the file itself.
bool permissionsStopUs(const QString& folderOrFile) {
    const bool folder = QFileInfo(folderOrFile).isDir();
    const QString probe = folder ? folderOrFile + "/probe" : folderOrFile;
    QFile f(probe);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return true;
    f.close();
    if (folder)
        QFile::remove(probe);
    return false;
}

} // namespace

class AtomicFileTest : public QObject {
    Q_OBJECT
private slots:
    void replacesTheFileAndLeavesNothingElse() {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.snh");
        put(path, earlier + earlier);
        WriteFileAtomically(path.toStdString(), "new");
        QCOMPARE(contents(path), QByteArray("new"));
        WriteFileAtomically(dir.filePath("b.snh").toStdString(), "");
        QCOMPARE(contents(dir.filePath("b.snh")), QByteArray(""));
        QCOMPARE(listing(dir.path()), QStringList({"a.snh", "b.snh"}));
    }

    // Each row saves onto a file set up in a fresh folder ("a.snh" unless
    // the row says otherwise) and finds the new bytes where they belong.
    void savesOnto_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("symbolic link") << "link";
        QTest::newRow("dangling chain of links") << "dangling";
        QTest::newRow("0600 file") << "0600";
        QTest::newRow("0664 file") << "0664";
        QTest::newRow("owner and group") << "owner";
        QTest::newRow("read-only folder, writable file") << "in place";
        QTest::newRow("255-byte name, new") << "long new";
        QTest::newRow("255-byte name, replaced") << "long";
    }
    void savesOnto() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString saved = dir.filePath("a.snh"); // the name the save is given
        QString real = saved;                  // where the bytes must land
        const QByteArray fresh = "[Programa]\r\nLINHA11=fresh\r\n";
        const mode_t oldMask = ::umask(022);
        const auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });
        std::optional<PermissionsBind> bind;
        const auto restoreFolder = qScopeGuard([&] {
            bind.reset();
            QFile::setPermissions(dir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });

        if (kind == "link") {
            QVERIFY(QDir(dir.path()).mkdir("real"));
            real = dir.filePath("real/b.snh");
            put(real, earlier);
            QVERIFY(QFile::link("real/b.snh", saved));
        } else if (kind == "dangling") {
            QVERIFY(QDir(dir.path()).mkdir("real"));
            real = dir.filePath("real/new.snh");
            QVERIFY(QFile::link(dir.filePath("c.snh"), saved));
            QVERIFY(QFile::link("real/new.snh", dir.filePath("c.snh")));
        } else if (kind == "0600" || kind == "0664") {
            put(saved, earlier);
            QCOMPARE(::chmod(QFile::encodeName(saved).constData(), kind.toUInt(nullptr, 8)), 0);
        } else if (kind == "owner") {
            if (::geteuid() != 0)
                QSKIP("only root can give a file to another user");
            put(saved, earlier);
            QCOMPARE(::chown(QFile::encodeName(saved).constData(), 4321, 4322), 0);
        } else if (kind == "in place") {
            put(saved, earlier + earlier);
            bind.emplace();
            QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
            if (!permissionsStopUs(dir.path()))
                QSKIP("file permissions do not bind this process");
        } else if (kind.startsWith("long")) {
            saved = real = dir.filePath(QString(251, 'n') + ".snh");
            QCOMPARE(QFile::encodeName(QFileInfo(saved).fileName()).size(), 255);
            if (kind == "long")
                put(saved, earlier);
        }
        struct stat before {};
        const bool existed = ::stat(QFile::encodeName(real).constData(), &before) == 0;
        const QStringList folderBefore = listing(dir.path());
        const QString linkBefore = QFileInfo(saved).symLinkTarget();

        try {
            WriteFileAtomically(saved.toStdString(), fresh.toStdString());
        } catch (const SettingsWriteError& e) {
            QFAIL(e.what());
        }
        bind.reset();
        QCOMPARE(contents(real), fresh);
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &after), 0);
        if (existed) {
            QCOMPARE(after.st_mode, before.st_mode);
            QCOMPARE(after.st_uid, before.st_uid);
            QCOMPARE(after.st_gid, before.st_gid);
        }
        if (kind == "link" || kind == "dangling") {
            QVERIFY(QFileInfo(saved).isSymLink());
            QCOMPARE(QFileInfo(saved).symLinkTarget(), linkBefore);
            QCOMPARE(QFileInfo(saved).canonicalFilePath(), QFileInfo(real).canonicalFilePath());
            QCOMPARE(listing(dir.filePath("real")), QStringList{QFileInfo(real).fileName()});
            QCOMPARE(listing(dir.path()), folderBefore);
        } else if (kind == "in place") {
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(listing(dir.path()), folderBefore);
        } else {
            QCOMPARE(listing(dir.path()), QStringList{QFileInfo(real).fileName()});
        }
    }

    // Each row prepares a failure in a fresh folder; the target is
    // "a.snh" there unless the row names another one.
    void failureLeavesTheEarlierFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder missing") << "missing"
                                        << "Error 2, No such file or directory";
        QTest::newRow("folder is a file") << "file"
                                          << "Error 20, Not a directory";
        QTest::newRow("target is a folder") << "folder"
                                            << "Error 21, Is a directory";
        QTest::newRow("loop of links") << "loop"
                                       << "Error 40, Too many levels of symbolic links";
        QTest::newRow("read-only folder, new file") << "readonly folder"
                                                    << "Error 13, Permission denied";
        QTest::newRow("read-only file") << "readonly file"
                                        << "Error 13, Permission denied";
        QTest::newRow("disk refuses the data midway") << "midway"
                                                      << "Error 27, File too large";
        QTest::newRow("read-only folder, disk refuses the data") << "readonly folder midway"
                                                                 << "Error 27, File too large";
    }
    void failureLeavesTheEarlierFile() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString target = dir.filePath("a.snh");
        put(target, earlier);

        if (kind == "missing")
            target = dir.filePath("nowhere/a.snh");
        else if (kind == "file")
            target = dir.filePath("a.snh/b.snh");
        else if (kind == "folder")
            target = dir.filePath("sub");
        else if (kind == "loop")
            target = dir.filePath("loop.snh");
        else if (kind == "readonly folder")
            target = dir.filePath("b.snh");
        if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir("sub"));
        else if (kind == "loop")
            QVERIFY(QFile::link("loop.snh", target));
        else if (kind == "readonly file")
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner));
        const QStringList before = listing(dir.path());

        struct rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto restore = [&] {
            ::setrlimit(RLIMIT_FSIZE, &saved);
            QFile::setPermissions(dir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        const auto restoreOnFailure = qScopeGuard(restore);
        std::optional<PermissionsBind> bind;
        if (kind.startsWith("readonly")) {
            bind.emplace();
            const bool folder = kind.startsWith("readonly folder");
            if (folder)
                QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0555) == 0);
            if (!permissionsStopUs(folder ? dir.path() : target))
                QSKIP("file permissions do not bind this process");
        }
        if (kind.endsWith("midway")) {
            // Writes past 64 bytes now fail with EFBIG; root is bound too.
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit small = saved;
            small.rlim_cur = 64;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }

        try {
            WriteFileAtomically(target.toStdString(), QByteArray(4096, 'x').toStdString());
            QFAIL("the write was reported as done");
        } catch (const SettingsWriteError& e) {
            QCOMPARE(QString::fromLocal8Bit(e.what()),
                     "Unable to write to " + target + " (" + reason + ")");
            QCOMPARE(QString::fromStdString(e.Path()), target);
        }
        restore();
        bind.reset();
        QCOMPARE(contents(dir.filePath("a.snh")), earlier);
        QCOMPARE(listing(dir.path()), before);
    }
};

QTEST_APPLESS_MAIN(AtomicFileTest)
#include "AtomicFileTest.moc"
