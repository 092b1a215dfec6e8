// The port map's own decisions, on real files of a temporary map folder:
// what each entry is, and which virtual printer's claims are stale and how
// mending them leaves the map.
#include "serial/PortMap.h"
#include "PtyPair.h"
#include "serial/VaComm.h"

#include <QtTest>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using portmap::EntryKind;

Q_DECLARE_METATYPE(EntryKind)

namespace {

// A virtual printer that claims COMn, makes its link when asked, and dies
// without undoing anything, as one killed with SIGKILL does.
void claimAndDie(int n, const std::string& device, bool makeLink) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::string error;
        bool busy = false;
        auto claim = portmap::VirtualClaim::Take(n, device, error, busy);
        if (claim && makeLink)
            ::symlink(device.c_str(), (portmap::Folder() + "/COM" + std::to_string(n)).c_str());
        ::_exit(claim ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

QString linkOf(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec)))
        return fs::exists(fs::symlink_status(path, ec)) ? QStringLiteral("(not a link)")
                                                        : QString();
    return QString::fromStdString(fs::read_symlink(path).string());
}

} // namespace

class PortMapTest : public QObject {
    Q_OBJECT

private slots:
    void entryKinds_data() {
        QTest::addColumn<QString>("make"); // how COM4 is made
        QTest::addColumn<EntryKind>("kind");
        QTest::addColumn<bool>("isLink");
        QTest::newRow("no entry") << "" << EntryKind::None << false;
        QTest::newRow("link to a character device")
            << "link:/dev/null" << EntryKind::Device << true;
        QTest::newRow("dangling link") << "link:/nonexistent/ttyQRV" << EntryKind::Missing << true;
        QTest::newRow("folder") << "folder" << EntryKind::Folder << false;
        QTest::newRow("link to a folder") << "link:/tmp" << EntryKind::Folder << true;
        QTest::newRow("regular file") << "file" << EntryKind::File << false;
        QTest::newRow("link to a regular file") << "link to a file" << EntryKind::File << true;
        QTest::newRow("named pipe") << "fifo" << EntryKind::OtherFile << false;
    }
    void entryKinds() {
        QFETCH(QString, make);
        QFETCH(EntryKind, kind);
        QFETCH(bool, isLink);
        PortMapFolder map;
        const std::string entry = map.Folder().toStdString() + "/COM4";
        if (make.startsWith("link:"))
            map.Map("COM4", make.mid(5));
        else if (make == "folder")
            fs::create_directory(entry);
        else if (make == "file")
            QVERIFY(QFile(QString::fromStdString(entry)).open(QIODevice::WriteOnly));
        else if (make == "link to a file") {
            const QString plain = map.Folder() + "/../plain";
            QVERIFY(QFile(plain).open(QIODevice::WriteOnly));
            map.Map("COM4", plain);
        } else if (make == "fifo")
            QCOMPARE(::mkfifo(entry.c_str(), 0600), 0);
        const portmap::Entry e = portmap::EntryOf(4);
        QCOMPARE(e.Kind, kind);
        QCOMPARE(e.IsLink, isLink);
        QVERIFY(!e.Virtual);
    }

    // COM2 of a virtual printer for /dev/pts/97 (a name only: nothing opens
    // it), over a user's entry COM2 -> /dev/ttyUSB7 that --force kept aside.
    void staleClaims_data() {
        QTest::addColumn<bool>("printerDied");
        QTest::addColumn<bool>("linkMade");
        QTest::addColumn<bool>("keptAside");
        QTest::addColumn<QString>("userLinkMeanwhile"); // the user's own COM2, made after
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QString>("entryAfter");
        QTest::addColumn<QString>("asideAfter");
        QTest::newRow("killed, nothing kept aside") << true << true << false << "" << true << ""
                                                    << "";
        QTest::newRow("killed, the user's entry comes back")
            << true << true << true << "" << true << "/dev/ttyUSB7"
            << "";
        QTest::newRow("killed before its link, the user's entry comes back")
            << true << false << true << "" << true << "/dev/ttyUSB7"
            << "";
        QTest::newRow("killed, the user mapped COM2 again since")
            << true << true << true << "/dev/ttyUSB9" << false << "/dev/ttyUSB9"
            << "/dev/ttyUSB7";
        QTest::newRow("running: left alone")
            << false << true << true << "" << false << "/dev/pts/97"
            << "/dev/ttyUSB7";
    }
    void staleClaims() {
        QFETCH(bool, printerDied);
        QFETCH(bool, linkMade);
        QFETCH(bool, keptAside);
        QFETCH(QString, userLinkMeanwhile);
        QFETCH(bool, stale);
        QFETCH(QString, entryAfter);
        QFETCH(QString, asideAfter);
        PortMapFolder map;
        const fs::path folder = map.Folder().toStdString();
        const std::string device = "/dev/pts/97";
        if (keptAside)
            fs::create_symlink("/dev/ttyUSB7", portmap::AsidePath(2));
        std::optional<portmap::VirtualClaim> running;
        if (printerDied) {
            claimAndDie(2, device, linkMade);
        } else {
            std::string error;
            bool busy = false;
            if (auto claim = portmap::VirtualClaim::Take(2, device, error, busy))
                running.emplace(std::move(*claim));
            QVERIFY2(running, error.c_str());
            fs::create_symlink(device, folder / "COM2");
        }
        if (!userLinkMeanwhile.isEmpty())
            map.Map("COM2", userLinkMeanwhile);

        QCOMPARE(portmap::IsStale("COM2"), stale);
        QCOMPARE(portmap::EntryOf(2).Kind == EntryKind::Stale, stale);
        if (stale) {
            // No opener reaches what the link leads to.
            TVaComm port;
            port.SetDeviceName("COM%d");
            port.SetPortNum(2);
            QVERIFY_THROWS_EXCEPTION(EVaCommError, port.Open());
        }
        const std::vector<portmap::Repair> repairs = portmap::RepairStale();
        QCOMPARE(repairs.size(), std::size_t{printerDied ? 1u : 0u});
        QCOMPARE(linkOf(folder / "COM2"), entryAfter);
        QCOMPARE(linkOf(portmap::AsidePath(2)), asideAfter);
        QCOMPARE(fs::exists(folder / ".COM2.simulador"), !printerDied);
        QVERIFY(!portmap::IsStale("COM2"));
    }

    // A second printer on the same name is refused while the first runs,
    // and takes the name once the first has ended, however it ended.
    void claimIsExclusive() {
        PortMapFolder map;
        std::string error;
        bool busy = false;
        {
            auto first = portmap::VirtualClaim::Take(6, "/dev/pts/98", error, busy);
            QVERIFY(first);
            QVERIFY(!portmap::VirtualClaim::Take(6, "/dev/pts/99", error, busy));
            QVERIFY(busy);
        }
        claimAndDie(6, "/dev/pts/98", true);
        auto second = portmap::VirtualClaim::Take(6, "/dev/pts/99", error, busy);
        QVERIFY2(second, error.c_str());
        // Taking it mended the dead one's link.
        QCOMPARE(linkOf(map.Folder().toStdString() + "/COM6"), QString());
    }
};

QTEST_GUILESS_MAIN(PortMapTest)
#include "PortMapTest.moc"
