// The journal: its digest, its lines, its reader's filters and notes, and
// its file shared by many writers at once, rotated and refused, all on real
// files. Writers at once are real processes: this program started again
// with "--writer".
#include "journal/Journal.h"
#include "journal/Sha256.h"

#include <QProcess>
#include <QtTest>

#include <fstream>
#include <map>

namespace {

bool onWindows() {
    return QSysInfo::kernelType() == QLatin1String("winnt");
}

journal::Record sample(const std::string& command, const std::string& named, int frames) {
    journal::Record r;
    r.Started = "2026-03-05T14:30:00.000-03:00";
    r.DurationMs = 3750;
    r.Program = "qrv";
    r.Version = "1.1";
    r.User = "tecnico";
    r.Host = "agencia-centro";
    r.Command = command;
    r.Port = {named, "/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_A10-if00-port0"};
    r.Bands = {2};
    r.Configuration = {journal::Source::File, "/home/tecnico/centro.snh",
                       journal::Sha256Hex("[Programa]")};
    for (int i = 0; i < frames; ++i)
        r.Frames.push_back({i * 500, "02304c0101" + std::string(46, 'a')});
    r.Result = {journal::Outcome::Completed, 0, 7, ""};
    return r;
}

std::vector<std::string> linesOf(const QString& path) {
    std::vector<std::string> lines;
    std::ifstream in(path.toStdString(), std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Appends `count` records of writer `writer`, its sequence in the host
// field, as one of many processes at once.
int runWriter(const std::string& path, int writer, int count, uint64_t rotateBytes) {
    for (int i = 0; i < count; ++i) {
        journal::Record r = sample("program", "COM" + std::to_string(writer + 1), 60);
        r.User = std::to_string(writer);
        r.Host = std::to_string(i);
        if (auto error = journal::AppendLine(path, journal::ToJson(r), rotateBytes)) {
            std::fprintf(stderr, "%s\n", error->c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

class JournalTest : public QObject {
    Q_OBJECT

private slots:
    void sha256KnownVectors_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty")
            << QByteArray() << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
        QTest::newRow("abc") << QByteArray("abc")
                             << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        QTest::newRow("two blocks of FIPS 180")
            << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
            << "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
        QTest::newRow("55 bytes: the length fits the block")
            << QByteArray(55, 'a')
            << "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318";
        QTest::newRow("56 bytes: the length needs a block more")
            << QByteArray(56, 'a')
            << "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a";
        QTest::newRow("one whole block")
            << QByteArray(64, 'a')
            << "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb";
        QTest::newRow("a million a")
            << QByteArray(1000000, 'a')
            << "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
    }
    void sha256KnownVectors() {
        QFETCH(QByteArray, input);
        QFETCH(QString, digest);
        QCOMPARE(QString::fromStdString(
                     journal::Sha256Hex(std::string_view(input.constData(), input.size()))),
                 digest);
    }

    void recordRoundTrips_data() {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("source");
        QTest::newRow("completed, from a file")
            << int(journal::Outcome::Completed) << int(journal::Source::File);
        QTest::newRow("failed, from the window")
            << int(journal::Outcome::Failed) << int(journal::Source::Window);
        QTest::newRow("interrupted, no configuration")
            << int(journal::Outcome::Interrupted) << int(journal::Source::None);
    }
    void recordRoundTrips() {
        QFETCH(int, outcome);
        QFETCH(int, source);
        journal::Record r = sample("program", "COM3", 7);
        r.Result = {journal::Outcome::Kind(outcome), 3, 7, "Write error \"x\"\n(/dev/pts/3)"};
        if (r.Result.What != journal::Outcome::Failed)
            r.Result.Error.clear();
        r.Configuration.From = journal::Source::Kind(source);
        if (r.Configuration.From != journal::Source::File)
            r.Configuration.Sha256.clear();
        if (r.Configuration.From == journal::Source::None)
            r.Configuration.Path.clear();
        const std::string line = journal::ToJson(r);
        QVERIFY(line.find('\n') == std::string::npos);
        QVERIFY(journal::FromJson(line) == r);
        QVERIFY(!journal::FromJson(line.substr(0, line.size() - 1)));
        QVERIFY(journal::FromHex(r.Frames[0].Hex) &&
                journal::ToHex(*journal::FromHex(r.Frames[0].Hex)) == r.Frames[0].Hex);
    }

    // Records of several ports and days; each row a filter and the hosts
    // (the order of appending) it gives, newest first.
    void readerFilters_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("since");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("hosts");
        QTest::newRow("everything") << ""
                                    << "" << 0 << "5 4 3 2 1 0";
        QTest::newRow("the two newest") << ""
                                        << "" << 2 << "5 4";
        QTest::newRow("by the name given") << "COM3"
                                           << "" << 0 << "4 0";
        QTest::newRow("by the device it led to") << "/dev/ttyUSB1"
                                                 << "" << 0 << "4 3 0";
        QTest::newRow("by its stable name") << "/dev/serial/by-id/usb-B"
                                            << "" << 0 << "4 3 0";
        QTest::newRow("a network port") << "rfc2217://10.0.0.5:4001"
                                        << "" << 0 << "5";
        QTest::newRow("since a day") << ""
                                     << "2026-03-06" << 0 << "5 4 3";
        QTest::newRow("since a minute, blank between") << ""
                                                       << "2026-03-06 10:30" << 0 << "5 4";
        QTest::newRow("since a second") << ""
                                        << "2026-03-06T10:30:01" << 0 << "5";
        QTest::newRow("port, since and limit") << "/dev/ttyUSB1"
                                               << "2026-03-05" << 1 << "4";
        QTest::newRow("nothing matches") << "COM9"
                                         << "" << 0 << "";
    }
    void readerFilters() {
        QFETCH(QString, port);
        QFETCH(QString, since);
        QFETCH(int, limit);
        QFETCH(QString, hosts);
        QTemporaryDir dir;
        const std::string path = dir.filePath("journal.jsonl").toStdString();
        struct Send {
            const char* Started;
            const char* Named;
            const char* Device;
            const char* Stable;
        };
        const Send sends[] = {
            {"2026-03-05T09:00:00.000-03:00", "COM3", "/dev/ttyUSB1", "/dev/serial/by-id/usb-B"},
            {"2026-03-05T09:00:00.000-03:00", "COM4", "/dev/ttyUSB2", ""},
            {"2026-03-05T23:59:59.999-03:00", "/dev/ttyS0", "/dev/ttyS0", ""},
            {"2026-03-06T08:00:00.000-03:00", "/dev/serial/by-id/usb-B", "/dev/ttyUSB1",
             "/dev/serial/by-id/usb-B"},
            {"2026-03-06T10:30:00.000-03:00", "COM3", "/dev/ttyUSB1", "/dev/serial/by-id/usb-B"},
            {"2026-03-06T10:30:01.000-03:00", "rfc2217://10.0.0.5:4001", "rfc2217://10.0.0.5:4001",
             ""},
        };
        int host = 0;
        for (const Send& s : sends) {
            journal::Record r = sample("program", s.Named, 7);
            r.Started = s.Started;
            r.Port = {s.Named, s.Device, s.Stable};
            r.Host = std::to_string(host++);
            QVERIFY(!journal::AppendLine(path, journal::ToJson(r)));
        }
        QVERIFY(!journal::CheckSince(since.toStdString()) || since.isEmpty());
        const journal::Reading got = journal::Read(
            {path}, {port.toStdString(), since.toStdString(), static_cast<std::size_t>(limit)});
        QStringList order;
        for (const journal::Entry& e : got.Entries) {
            order << QString::fromStdString(e.Data.Host);
            QCOMPARE(e.Id, journal::Sha256Hex(e.Line).substr(0, 8));
        }
        QCOMPARE(order.join(' '), hosts);
        QVERIFY(got.Notes.empty());
    }

    void sinceRefusals_data() {
        QTest::addColumn<QString>("since");
        QTest::newRow("day first") << "05/03/2026";
        QTest::newRow("no day") << "2026-03";
        QTest::newRow("hour without minutes") << "2026-03-05 10";
        QTest::newRow("letters") << "ontem";
    }
    void sinceRefusals() {
        QFETCH(QString, since);
        const auto why = journal::CheckSince(since.toStdString());
        QVERIFY(why && why->find(since.toStdString()) != std::string::npos);
    }

    // Lines that are not records are skipped with a note; the rest is read.
    void skippedLines_data() {
        QTest::addColumn<QByteArray>("tail"); // written after two good records
        QTest::addColumn<QString>("note");
        QTest::newRow("torn last line")
            << QByteArray("{\"started\":\"2026-03-0") << "está incompleta (gravação interrompida)";
        QTest::newRow("a line that is no record")
            << QByteArray("não é json\n") << "não é um registro";
    }
    void skippedLines() {
        QFETCH(QByteArray, tail);
        QFETCH(QString, note);
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.jsonl");
        const std::string p = path.toStdString();
        QVERIFY(!journal::AppendLine(p, journal::ToJson(sample("program", "COM1", 7))));
        QVERIFY(!journal::AppendLine(p, journal::ToJson(sample("clock", "COM1", 1))));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            file.write(tail);
        }
        journal::Reading got = journal::Read({p}, {});
        QCOMPARE(got.Entries.size(), std::size_t{2});
        QCOMPARE(got.Entries[0].Data.Command, std::string("clock"));
        QCOMPARE(got.Notes.size(), std::size_t{1});
        QVERIFY2(QString::fromStdString(got.Notes[0]).contains(note), got.Notes[0].c_str());
        // The next record starts a line of its own and is read.
        QVERIFY(!journal::AppendLine(p, journal::ToJson(sample("report", "COM1", 1))));
        got = journal::Read({p}, {});
        QCOMPARE(got.Entries.size(), std::size_t{3});
        QCOMPARE(got.Entries[0].Data.Command, std::string("report"));
    }

    // Past the limit the file goes to .1, .1 to .2; nothing older stays, and
    // the reader goes through all three newest first.
    void rotationKeepsTwoOldFiles() {
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.jsonl");
        const std::string p = path.toStdString();
        const auto record = [](int i) {
            journal::Record r = sample("program", "COM1", 2);
            r.Host = std::to_string(100 + i); // every line of one size
            return journal::ToJson(r);
        };
        // Four lines fill a file: the fifth goes to a new one.
        const uint64_t limit = 4 * (record(0).size() + 1);
        for (int i = 0; i < 20; ++i)
            QVERIFY(!journal::AppendLine(p, record(i), limit));
        QVERIFY(QFile::exists(path + ".1") && QFile::exists(path + ".2"));
        QVERIFY(!QFile::exists(path + ".3"));
        for (const QString& file : {path, path + ".1", path + ".2"})
            QVERIFY(QFileInfo(file).size() <= qint64(limit));
        const journal::Reading got = journal::Read(journal::JournalFiles(p), {});
        QCOMPARE(got.Entries.size(), std::size_t{12});
        for (std::size_t i = 0; i < got.Entries.size(); ++i)
            QCOMPARE(got.Entries[i].Data.Host, std::to_string(119 - i));
    }

    // Many processes append at once: every line is a whole record, each
    // writer's records in its order, none lost (while the file stays under
    // its limit) and, rotating, none older than what the files can hold.
    void writersAtOnce_data() {
        QTest::addColumn<int>("writers");
        QTest::addColumn<int>("records");
        QTest::addColumn<qint64>("rotateBytes");
        QTest::newRow("eight writers") << 8 << 60 << qint64(journal::RotateBytes);
        QTest::newRow("six writers rotating as they go") << 6 << 60 << qint64(200000);
    }
    void writersAtOnce() {
        QFETCH(int, writers);
        QFETCH(int, records);
        QFETCH(qint64, rotateBytes);
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.jsonl");
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int w = 0; w < writers; ++w) {
            auto process = std::make_unique<QProcess>();
            process->start(QCoreApplication::applicationFilePath(),
                           {"--writer", path, QString::number(w), QString::number(records),
                            QString::number(rotateBytes)});
            processes.push_back(std::move(process));
        }
        for (auto& process : processes) {
            QVERIFY(process->waitForFinished(120000));
            QVERIFY2(process->exitCode() == 0, process->readAllStandardError().constData());
        }
        std::map<std::string, std::vector<int>> seen; // writer: sequence, newest first
        std::size_t lines = 0;
        for (const std::string& file : journal::JournalFiles(path.toStdString())) {
            std::vector<std::string> all = linesOf(QString::fromStdString(file));
            lines += all.size();
            for (auto line = all.rbegin(); line != all.rend(); ++line) {
                const auto r = journal::FromJson(*line);
                QVERIFY2(r, line->substr(0, 200).c_str());
                seen[r->User].push_back(std::stoi(r->Host));
            }
        }
        QVERIFY(!QFile::exists(path + ".3"));
        for (auto& [writer, sequence] : seen) {
            QVERIFY(std::is_sorted(sequence.rbegin(), sequence.rend()));
            QCOMPARE(sequence.front(), records - 1); // the newest of each stays
        }
        if (rotateBytes == qint64(journal::RotateBytes)) {
            QCOMPARE(lines, std::size_t(writers * records));
            QCOMPARE(seen.size(), std::size_t(writers));
        } else {
            QVERIFY(QFile::exists(path + ".2"));
        }
    }

    // A journal that cannot be written says why; nothing is left half made.
    void unwritable_data() {
        QTest::addColumn<QString>("make"); // what stands where the journal goes
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder in the file's place") << "folder"
                                                      << "pasta no lugar do arquivo";
        QTest::newRow("a file in the folder's place") << "file"
                                                      << "não é uma pasta";
        QTest::newRow("a read-only folder") << "read-only"
                                            << "sem permissão";
    }
    void unwritable() {
        QFETCH(QString, make);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString path = dir.filePath("journal.jsonl");
        if (make == "folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (make == "file") {
            QFile file(dir.filePath("state"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            path = dir.filePath("state/journal.jsonl");
        } else {
            if (onWindows())
                QSKIP("a folder's read-only mark does not keep files out on Windows");
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
            QFile probe(dir.filePath("probe"));
            if (probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QFile::setPermissions(dir.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                QSKIP("this user writes in read-only folders (root)");
            }
        }
        const auto why = journal::AppendLine(path.toStdString(), "{}");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(why);
        QVERIFY2(QString::fromStdString(*why).contains(reason) &&
                     QString::fromStdString(*why).contains(path),
                 why->c_str());
    }

    void newFileIsPrivate() {
        if (onWindows())
            QSKIP("the folder of local application data is the user's own");
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.jsonl");
        QVERIFY(!journal::AppendLine(path.toStdString(), "{}"));
        QCOMPARE(QFileInfo(path).permissions() & 0x7777,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }
};

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--writer")
        return runWriter(argv[2], std::atoi(argv[3]), std::atoi(argv[4]),
                         std::strtoull(argv[5], nullptr, 10));
    QCoreApplication app(argc, argv);
    JournalTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "JournalTest.moc"
