// The port map's own decisions, on real files of a temporary map folder:
// what each entry is, and which virtual printer's claims are stale and how
// mending them leaves the map.
#include "ports/PortMap.h"
#include "PtyPair.h"
#include "serial/VaComm.h"

#include <QtTest>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using ports::EntryKind;
using ports::MapOutcome;

Q_DECLARE_METATYPE(EntryKind)
Q_DECLARE_METATYPE(MapOutcome)
using Refusal = ports::VirtualLink::Refusal;
using Undone = ports::VirtualLink::Undone;
Q_DECLARE_METATYPE(Refusal)
Q_DECLARE_METATYPE(Undone)

namespace {

// A virtual printer that claims COMn, makes its link when asked, and dies
// without undoing anything, as one killed with SIGKILL does.
void claimAndDie(int n, const std::string& device, bool makeLink) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::string error;
        bool busy = false;
        auto claim = ports::VirtualClaim::Take(n, device, error, busy);
        if (claim && makeLink)
            ::symlink(device.c_str(), (ports::Folder() + "/COM" + std::to_string(n)).c_str());
        ::_exit(claim ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Makes the entry COM5 as `make` says: "" none, "link:TARGET", "folder", "file".
void makeEntry(PortMapFolder& map, const QString& make) {
    const std::string entry = map.Folder().toStdString() + "/COM5";
    if (make.startsWith("link:"))
        fs::create_symlink(make.mid(5).toStdString(), entry);
    else if (make == "folder")
        QVERIFY(fs::create_directory(entry));
    else if (make == "file")
        QVERIFY(QFile(QString::fromStdString(entry)).open(QIODevice::WriteOnly));
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
    void comNames_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number"); // 0: not a port name
        QTest::newRow("capitals") << "COM1" << 1;
        QTest::newRow("small letters") << "com3" << 3;
        QTest::newRow("as the window lists it") << "Com10" << 10;
        QTest::newRow("mixed case") << "cOm7" << 7;
        QTest::newRow("large number") << "COM256" << 256;
        QTest::newRow("zero") << "COM0" << 0;
        QTest::newRow("leading zero") << "COM03" << 0;
        QTest::newRow("no number") << "COM" << 0;
        QTest::newRow("plus sign") << "COM+3" << 0;
        QTest::newRow("minus sign") << "COM-3" << 0;
        QTest::newRow("trailing letter") << "COM3x" << 0;
        QTest::newRow("blank inside") << "COM 3" << 0;
        QTest::newRow("other prefix") << "LPT1" << 0;
        QTest::newRow("beyond int") << "COM99999999999" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void comNames() {
        QFETCH(QString, text);
        QFETCH(int, number);
        QCOMPARE(ports::ParseComName(text.toStdString()).value_or(0), number);
        if (number > 0)
            QCOMPARE(ports::ComName(number), text.toUpper().toStdString());
    }

    // What the serial component opens for a name, with COM5's entry made as
    // `make` says.
    void resolve_data() {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("opens"); // %f: the map folder
        QTest::newRow("no entry") << ""
                                  << "COM5"
                                  << "/dev/ttyS4";
        QTest::newRow("no entry, small letters") << ""
                                                 << "com5"
                                                 << "/dev/ttyS4";
        QTest::newRow("no entry, as the window lists it") << ""
                                                          << "Com5"
                                                          << "/dev/ttyS4";
        QTest::newRow("link to a device") << "link:/dev/ttyUSB3"
                                          << "COM5"
                                          << "/dev/ttyUSB3";
        QTest::newRow("link, small letters") << "link:/dev/ttyUSB3"
                                             << "com5"
                                             << "/dev/ttyUSB3";
        QTest::newRow("relative link") << "link:../ttyQ"
                                       << "COM5"
                                       << "%f/../ttyQ";
        QTest::newRow("regular file") << "file"
                                      << "COM5"
                                      << "%f/COM5";
        QTest::newRow("link to an RFC 2217 port") << "link:rfc2217://10.0.0.5:4001"
                                                  << "COM5"
                                                  << "rfc2217://10.0.0.5:4001";
        QTest::newRow("link to a TCP port") << "link:socket://[::1]:4002"
                                            << "COM5"
                                            << "socket://[::1]:4002";
        QTest::newRow("another port's entry") << "link:/dev/ttyUSB3"
                                              << "COM6"
                                              << "/dev/ttyS5";
        QTest::newRow("device path") << "link:/dev/ttyUSB3"
                                     << "/dev/ttyACM0"
                                     << "/dev/ttyACM0";
        QTest::newRow("network port") << ""
                                      << "socket://printer:4001"
                                      << "socket://printer:4001";
        QTest::newRow("system name") << ""
                                     << "ttyUSB0"
                                     << "/dev/ttyUSB0";
    }
    void resolve() {
        QFETCH(QString, make);
        QFETCH(QString, name);
        QFETCH(QString, opens);
        PortMapFolder map;
        makeEntry(map, make);
        opens.replace("%f", map.Folder());
        QCOMPARE(QString::fromStdString(ports::Resolve(name.toStdString())), opens);
    }

    // The map's writers on COM5, made first as `make` says.
    void writers_data() {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("verb"); // map, map --force, unmap
        QTest::addColumn<QString>("target");
        QTest::addColumn<MapOutcome>("outcome");
        QTest::addColumn<QString>("after"); // the entry's link; "" none, "(not a link)"
        QTest::addColumn<QString>("opens"); // DeviceOf(5) after
        QTest::newRow("map a device") << ""
                                      << "map"
                                      << "/dev/ttyUSB7" << MapOutcome::Done << "/dev/ttyUSB7"
                                      << "/dev/ttyUSB7";
        QTest::newRow("map over an entry") << "link:/dev/ttyUSB7"
                                           << "map"
                                           << "/dev/ttyUSB8" << MapOutcome::Taken << "/dev/ttyUSB7"
                                           << "/dev/ttyUSB7";
        QTest::newRow("map --force over an entry")
            << "link:/dev/ttyUSB7"
            << "map --force"
            << "/dev/ttyUSB8" << MapOutcome::Done << "/dev/ttyUSB8"
            << "/dev/ttyUSB8";
        QTest::newRow("map --force over a folder")
            << "folder"
            << "map --force"
            << "/dev/ttyUSB8" << MapOutcome::IsFolder << "(not a link)"
            << "%f/COM5";
        QTest::newRow("map an RFC 2217 port")
            << ""
            << "map"
            << "rfc2217://10.0.0.5:4001" << MapOutcome::Done << "rfc2217://10.0.0.5:4001"
            << "rfc2217://10.0.0.5:4001";
        QTest::newRow("map a TCP port, scheme and host in capitals")
            << ""
            << "map"
            << "SOCKET://Printer.Local:4002" << MapOutcome::Done << "socket://printer.local:4002"
            << "socket://printer.local:4002";
        QTest::newRow("map --force a network port over a device")
            << "link:/dev/ttyUSB7"
            << "map --force"
            << "rfc2217://[fd00::5]:23" << MapOutcome::Done << "rfc2217://[fd00::5]:23"
            << "rfc2217://[fd00::5]:23";
        QTest::newRow("map a port number out of range")
            << ""
            << "map"
            << "rfc2217://10.0.0.5:70000" << MapOutcome::BadAddress << ""
            << "/dev/ttyS4";
        QTest::newRow("map an address without port")
            << ""
            << "map"
            << "socket://10.0.0.5" << MapOutcome::BadAddress << ""
            << "/dev/ttyS4";
        QTest::newRow("map an address of another scheme")
            << ""
            << "map"
            << "tcp://1.2.3.4:5" << MapOutcome::BadAddress << ""
            << "/dev/ttyS4";
        QTest::newRow("map a bad address keeps the entry")
            << "link:/dev/ttyUSB7"
            << "map --force"
            << "rfc2217://:4001" << MapOutcome::BadAddress << "/dev/ttyUSB7"
            << "/dev/ttyUSB7";
        QTest::newRow("unmap a link") << "link:/dev/ttyUSB7"
                                      << "unmap"
                                      << "" << MapOutcome::Done << ""
                                      << "/dev/ttyS4";
        QTest::newRow("unmap a network entry") << "link:socket://10.0.0.5:4001"
                                               << "unmap"
                                               << "" << MapOutcome::Done << ""
                                               << "/dev/ttyS4";
        QTest::newRow("unmap nothing") << ""
                                       << "unmap"
                                       << "" << MapOutcome::NotMapped << ""
                                       << "/dev/ttyS4";
        QTest::newRow("unmap a regular file") << "file"
                                              << "unmap"
                                              << "" << MapOutcome::NotALink << "(not a link)"
                                              << "%f/COM5";
    }
    void writers() {
        QFETCH(QString, make);
        QFETCH(QString, verb);
        QFETCH(QString, target);
        QFETCH(MapOutcome, outcome);
        QFETCH(QString, after);
        QFETCH(QString, opens);
        PortMapFolder map;
        makeEntry(map, make);
        const ports::MapResult r =
            verb == "unmap" ? ports::Unmap(5)
                            : ports::Map(5, target.toStdString(), verb.endsWith("--force"));
        QCOMPARE(r.Outcome, outcome);
        QCOMPARE(linkOf(map.Folder().toStdString() + "/COM5"), after);
        opens.replace("%f", map.Folder());
        QCOMPARE(QString::fromStdString(ports::DeviceOf(5)), opens);
        if (outcome == MapOutcome::Done)
            QCOMPARE(QString::fromStdString(r.Target), verb == "unmap" ? opens : after);
        // Nothing but the entry: no temporary name is left behind.
        int files = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(map.Folder().toStdString()))
            ++files;
        QCOMPARE(files, after.isEmpty() ? 0 : 1);
    }

    // A virtual printer's link on COM5 for /dev/pts/97 (a name only), over
    // what `make` leaves there, then undone at the end of the run.
    void virtualLink_data() {
        QTest::addColumn<QString>("make");
        QTest::addColumn<bool>("asideBefore"); // an earlier run left an entry aside
        QTest::addColumn<bool>("force");
        QTest::addColumn<QString>("meanwhile"); // the user's own COM5 during the run
        QTest::addColumn<Refusal>("refusal");
        QTest::addColumn<QString>("during");
        QTest::addColumn<Undone>("undone");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("asideAfter");
        QTest::newRow("free name")
            << "" << false << false << "" << Refusal::None << "/dev/pts/97" << Undone::Removed << ""
            << "";
        QTest::newRow("free name, force")
            << "" << false << true << "" << Refusal::None << "/dev/pts/97" << Undone::Removed << ""
            << "";
        QTest::newRow("a user's entry")
            << "link:/dev/ttyUSB7" << false << false << "" << Refusal::Taken << "/dev/ttyUSB7"
            << Undone::Nothing << "/dev/ttyUSB7"
            << "";
        QTest::newRow("a user's entry, force: kept aside and restored")
            << "link:/dev/ttyUSB7" << false << true << "" << Refusal::None << "/dev/pts/97"
            << Undone::Restored << "/dev/ttyUSB7"
            << "";
        QTest::newRow("a network entry, force: kept aside and restored")
            << "link:rfc2217://10.0.0.5:4001" << false << true << "" << Refusal::None
            << "/dev/pts/97" << Undone::Restored << "rfc2217://10.0.0.5:4001"
            << "";
        QTest::newRow("a folder, force") << "folder" << false << true << "" << Refusal::IsFolder
                                         << "(not a link)" << Undone::Nothing << "(not a link)"
                                         << "";
        QTest::newRow("an entry already aside, force")
            << "link:/dev/ttyUSB7" << true << true << "" << Refusal::AsideTaken << "/dev/ttyUSB7"
            << Undone::Nothing << "/dev/ttyUSB7"
            << "/dev/ttyUSB6";
        QTest::newRow("remapped during the run: left as it is")
            << "" << false << false << "/dev/ttyUSB9" << Refusal::None << "/dev/ttyUSB9"
            << Undone::ChangedMeanwhile << "/dev/ttyUSB9"
            << "";
        QTest::newRow("remapped during a forced run: the kept entry stays aside")
            << "link:/dev/ttyUSB7" << false << true << "/dev/ttyUSB9" << Refusal::None
            << "/dev/ttyUSB9" << Undone::ChangedMeanwhile << "/dev/ttyUSB9"
            << "/dev/ttyUSB7";
    }
    void virtualLink() {
        QFETCH(QString, make);
        QFETCH(bool, asideBefore);
        QFETCH(bool, force);
        QFETCH(QString, meanwhile);
        QFETCH(Refusal, refusal);
        QFETCH(QString, during);
        QFETCH(Undone, undone);
        QFETCH(QString, after);
        QFETCH(QString, asideAfter);
        PortMapFolder map;
        makeEntry(map, make);
        if (asideBefore)
            fs::create_symlink("/dev/ttyUSB6", ports::AsidePath(5));
        const std::string entry = map.Folder().toStdString() + "/COM5";
        {
            ports::VirtualLink link;
            QCOMPARE(link.Place(5, "/dev/pts/97", force).Why, refusal);
            if (!meanwhile.isEmpty()) {
                fs::remove(entry);
                fs::create_symlink(meanwhile.toStdString(), entry);
            }
            QCOMPARE(linkOf(entry), during);
            // While the run lasts, its link is the virtual printer's.
            QCOMPARE(ports::EntryOf(5).Virtual, refusal == Refusal::None && meanwhile.isEmpty());
            QCOMPARE(link.Remove().What, undone);
        }
        QCOMPARE(linkOf(entry), after);
        QCOMPARE(linkOf(ports::AsidePath(5)), asideAfter);
        // The claim went with the run: nothing is stale, nothing to mend.
        QVERIFY(ports::RepairStale().empty());
    }

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
        QTest::newRow("link to a network port")
            << "link:rfc2217://10.0.0.5:4001" << EntryKind::Network << true;
        QTest::newRow("link to a malformed network port")
            << "link:rfc2217://10.0.0.5:99999" << EntryKind::BadAddress << true;
        QTest::newRow("link to an address of another scheme")
            << "link:tcp://10.0.0.5:4001" << EntryKind::BadAddress << true;
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
        const ports::Entry e = ports::EntryOf(4);
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
            fs::create_symlink("/dev/ttyUSB7", ports::AsidePath(2));
        std::optional<ports::VirtualClaim> running;
        if (printerDied) {
            claimAndDie(2, device, linkMade);
        } else {
            std::string error;
            bool busy = false;
            if (auto claim = ports::VirtualClaim::Take(2, device, error, busy))
                running.emplace(std::move(*claim));
            QVERIFY2(running, error.c_str());
            fs::create_symlink(device, folder / "COM2");
        }
        if (!userLinkMeanwhile.isEmpty())
            map.Map("COM2", userLinkMeanwhile);

        QCOMPARE(ports::IsStale("COM2"), stale);
        QCOMPARE(ports::EntryOf(2).Kind == EntryKind::Stale, stale);
        if (stale) {
            // No opener reaches what the link leads to.
            TVaComm port;
            port.SetDeviceName("COM%d");
            port.SetPortNum(2);
            QVERIFY_THROWS_EXCEPTION(EVaCommError, port.Open());
        }
        const std::vector<ports::Repair> repairs = ports::RepairStale();
        QCOMPARE(repairs.size(), std::size_t{printerDied ? 1u : 0u});
        QCOMPARE(linkOf(folder / "COM2"), entryAfter);
        QCOMPARE(linkOf(ports::AsidePath(2)), asideAfter);
        QCOMPARE(fs::exists(folder / ".COM2.simulador"), !printerDied);
        QVERIFY(!ports::IsStale("COM2"));
    }

    // A second printer on the same name is refused while the first runs,
    // and takes the name once the first has ended, however it ended.
    void claimIsExclusive() {
        PortMapFolder map;
        std::string error;
        bool busy = false;
        {
            auto first = ports::VirtualClaim::Take(6, "/dev/pts/98", error, busy);
            QVERIFY(first);
            QVERIFY(!ports::VirtualClaim::Take(6, "/dev/pts/99", error, busy));
            QVERIFY(busy);
        }
        claimAndDie(6, "/dev/pts/98", true);
        auto second = ports::VirtualClaim::Take(6, "/dev/pts/99", error, busy);
        QVERIFY2(second, error.c_str());
        // Taking it mended the dead one's link.
        QCOMPARE(linkOf(map.Folder().toStdString() + "/COM6"), QString());
    }
};

QTEST_GUILESS_MAIN(PortMapTest)
#include "PortMapTest.moc"
