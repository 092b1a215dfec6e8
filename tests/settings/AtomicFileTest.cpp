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

    // Each row prepares a failure in a fresh folder; the target is
    // "a.snh" there unless the row names another one.
    void failureLeavesTheEarlierFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder missing") << "missing";
        QTest::newRow("folder is a file") << "file";
        QTest::newRow("target is a folder") << "folder";
        QTest::newRow("read-only folder") << "readonly folder";
        QTest::newRow("read-only file") << "readonly file";
        QTest::newRow("disk refuses the data midway") << "midway";
    }
    void failureLeavesTheEarlierFile() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString target = dir.filePath("a.snh");
        put(target, earlier);

        if (kind == "missing")
            target = dir.filePath("nowhere/a.snh");
        else if (kind == "file")
            target = dir.filePath("a.snh/b.snh");
        else if (kind == "folder")
            target = dir.filePath("sub");
        if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir("sub"));
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
            if (kind == "readonly folder")
                QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0555) == 0);
            if (!permissionsStopUs(kind == "readonly folder" ? dir.path() : target))
                QSKIP("file permissions do not bind this process");
        } else if (kind == "midway") {
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
            QCOMPARE(QString::fromLocal8Bit(e.what()), "Unable to write to " + target);
        }
        restore();
        bind.reset();
        QCOMPARE(contents(dir.filePath("a.snh")), earlier);
        QCOMPARE(listing(dir.path()), before);
    }
};

QTEST_APPLESS_MAIN(AtomicFileTest)
#include "AtomicFileTest.moc"
