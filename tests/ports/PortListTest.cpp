// The port list's decisions, on devices described by hand: which name maps a
// device for good, and how the port names and the devices are joined.

#include "ports/PortList.h"

#include <QTest>

using ports::MapEntry;
using ports::SerialDevice;

namespace {

const std::string SharedId = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
const std::string FtdiId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";

std::string bypath(int port) {
    return "/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + std::to_string(port) + ":1.0-port0";
}

SerialDevice usb(int n, std::vector<std::string> byId, std::vector<std::string> byPath,
                 std::string serial) {
    SerialDevice d;
    d.Node = "/dev/ttyUSB" + std::to_string(n);
    d.Number = 0xbc00 + static_cast<uint64_t>(n);
    d.ById = std::move(byId);
    d.ByPath = std::move(byPath);
    d.Serial = std::move(serial);
    return d;
}

SerialDevice builtIn(int n) {
    SerialDevice d;
    d.Node = "/dev/ttyS" + std::to_string(n);
    d.Number = 0x440 + static_cast<uint64_t>(n);
    d.BuiltIn = true;
    return d;
}

// Com1 to Com10 unmapped, each opening /dev/ttyS<n-1>; `present` are the
// built-in ports that have a node.
std::vector<MapEntry> defaults(const std::vector<int>& present, const std::vector<int>& noUart) {
    std::vector<MapEntry> entries;
    for (int n = 1; n <= 10; ++n) {
        MapEntry e;
        e.Number = n;
        e.Device = "/dev/ttyS" + std::to_string(n - 1);
        const auto has = [n](const std::vector<int>& list) {
            return std::find(list.begin(), list.end(), n - 1) != list.end();
        };
        if (has(present) || has(noUart))
            e.DeviceNumber = 0x440 + static_cast<uint64_t>(n - 1);
        e.BuiltInWithoutUart = has(noUart);
        entries.push_back(e);
    }
    return entries;
}

MapEntry mapped(int n, const SerialDevice& device) {
    MapEntry e;
    e.Number = n;
    e.Device = device.ById.empty() ? device.Node : device.ById.front();
    e.Mapped = true;
    e.DeviceNumber = device.Number;
    return e;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<SerialDevice>)
Q_DECLARE_METATYPE(std::vector<MapEntry>)

class PortListTest : public QObject {
    Q_OBJECT
private slots:
    void stableName_data() {
        QTest::addColumn<std::vector<SerialDevice>>("devices");
        QTest::addColumn<QString>("expected"); // of the first device

        const SerialDevice ftdi = usb(2, {FtdiId}, {bypath(3)}, "A10K3XYZ");
        QTest::newRow("serial number, by-id name of its own: by-id")
            << std::vector{ftdi, usb(0, {SharedId}, {bypath(1)}, "")}
            << QString::fromStdString(FtdiId);
        QTest::newRow("no serial number, even alone: by-path")
            << std::vector{usb(0, {SharedId}, {bypath(1)}, "")}
            << QString::fromStdString(bypath(1));
        QTest::newRow("two identical adapters: each by its socket")
            << std::vector{usb(1, {SharedId}, {bypath(2)}, ""), usb(0, {SharedId}, {bypath(1)}, "")}
            << QString::fromStdString(bypath(2));
        QTest::newRow("one serial number on two adapters: by-path")
            << std::vector{usb(0, {FtdiId}, {bypath(1)}, "A10K3XYZ"),
                           usb(1, {FtdiId}, {bypath(2)}, "A10K3XYZ")}
            << QString::fromStdString(bypath(1));
        QTest::newRow("serial number, by-id shared, no by-path: the by-id name")
            << std::vector{usb(0, {FtdiId}, {}, "A10K3XYZ"), usb(1, {FtdiId}, {}, "A10K3XYZ")}
            << QString::fromStdString(FtdiId);
        QTest::newRow("no serial number, no by-path: by-id")
            << std::vector{usb(0, {SharedId}, {}, "")} << QString::fromStdString(SharedId);
        QTest::newRow("no stable name at all: the node")
            << std::vector{builtIn(4)} << QStringLiteral("/dev/ttyS4");
    }
    void stableName() {
        QFETCH(std::vector<SerialDevice>, devices);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(ports::StableName(devices.front(), devices)), expected);
    }

    // Per adapter: "COMa,COMb" for the names that open it, else "-> COMn"
    // for the suggested name, else "none"; then per named port "n:exists".
    void join_data() {
        QTest::addColumn<std::vector<MapEntry>>("entries");
        QTest::addColumn<std::vector<SerialDevice>>("devices");
        QTest::addColumn<QStringList>("adapters");
        QTest::addColumn<QStringList>("ports");

        const SerialDevice a = usb(0, {SharedId}, {bypath(1)}, "");
        const SerialDevice b = usb(1, {SharedId}, {bypath(2)}, "");
        const SerialDevice s0 = builtIn(0);
        const QStringList tenMissing{"1:0", "2:0", "3:0", "4:0", "5:0",
                                     "6:0", "7:0", "8:0", "9:0", "10:0"};

        QTest::newRow("no map: the first free names in turn")
            << defaults({}, {}) << std::vector{a, b} << QStringList{"-> 1", "-> 2"} << tenMissing;
        QTest::newRow("a built-in port keeps Com1, adapters get Com2 and Com3")
            << defaults({0}, {}) << std::vector{s0, a, b} << QStringList{"1", "-> 2", "-> 3"}
            << QStringList{"1:1", "2:0", "3:0", "4:0", "5:0", "6:0", "7:0", "8:0", "9:0", "10:0"};
        {
            std::vector<MapEntry> entries = defaults({}, {0});
            QTest::newRow("a built-in port without UART exists not, its name is free")
                << entries << std::vector{a} << QStringList{"-> 1"} << tenMissing;
        }
        {
            std::vector<MapEntry> entries = defaults({}, {});
            entries[2] = mapped(3, a);
            entries.push_back(mapped(12, a));
            QTest::newRow("one device under two names, one outside the window's list")
                << entries << std::vector{a, b} << QStringList{"3,12", "-> 1"}
                << QStringList{"1:0", "2:0", "3:1", "4:0",  "5:0", "6:0",
                               "7:0", "8:0", "9:0", "10:0", "12:1"};
        }
        {
            std::vector<MapEntry> entries = defaults({}, {});
            for (int n = 1; n <= 10; ++n) {
                entries[static_cast<size_t>(n - 1)].Mapped = true;
                entries[static_cast<size_t>(n - 1)].Device = "/dev/ttyUSB" + std::to_string(n + 10);
            }
            QTest::newRow("Com1 to Com10 all mapped elsewhere: no suggestion")
                << entries << std::vector{a} << QStringList{"none"} << tenMissing;
        }
    }
    void join() {
        QFETCH(std::vector<MapEntry>, entries);
        QFETCH(std::vector<SerialDevice>, devices);
        QFETCH(QStringList, adapters);
        QFETCH(QStringList, ports);
        const ports::Overview overview = ports::Join("/map", entries, devices);
        QStringList gotAdapters;
        for (const ports::Adapter& adapter : overview.Adapters) {
            QStringList names;
            for (const int n : adapter.OpenedBy)
                names << QString::number(n);
            if (!names.isEmpty())
                gotAdapters << names.join(',');
            else if (adapter.SuggestedPort)
                gotAdapters << "-> " + QString::number(*adapter.SuggestedPort);
            else
                gotAdapters << "none";
        }
        QCOMPARE(gotAdapters, adapters);
        QStringList gotPorts;
        for (const ports::NamedPort& port : overview.Ports) {
            gotPorts << QString::number(port.Number) + ':' + QString::number(port.Exists);
            QCOMPARE(port.InWindow, port.Number <= 10);
        }
        QCOMPARE(gotPorts, ports);
    }
};

QTEST_APPLESS_MAIN(PortListTest)
#include "PortListTest.moc"
