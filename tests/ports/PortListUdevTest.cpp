// The port list as udev shows it, run under umockdev-run with
// data/adapters.umockdev: two identical USB adapters without serial numbers
// (both with one by-id name), an adapter with a serial number, a built-in
// port with a UART, one without, and a virtual terminal. No hardware.
// umockdev's nodes answer stat() but not realpath(), and /dev/serial exists
// only as the devices' DEVLINKS, as on a machine whose udev runs elsewhere.

#include "ports/PortList.h"

#include "PortMapPath.h"
#include "ProgramRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace {

const QString SharedId = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
const QString FtdiId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";

QString bypath(int port) {
    return QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:%1:1.0-port0").arg(port);
}

QStringList strings(const std::vector<std::string>& list) {
    QStringList out;
    for (const std::string& s : list)
        out << QString::fromStdString(s);
    return out;
}

const ports::SerialDevice* find(const std::vector<ports::SerialDevice>& devices,
                                const QString& node) {
    for (const ports::SerialDevice& d : devices)
        if (QString::fromStdString(d.Node) == node)
            return &d;
    return nullptr;
}

} // namespace

class PortListUdevTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    ProgramRun qrv(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.path());
        return RunProgram(QStringLiteral(QRV_BINARY), arguments, env);
    }

    void map(int n, const QString& device) {
        const std::filesystem::path folder = PortMapPath(home_.path().toStdString());
        std::filesystem::create_directories(folder);
        std::filesystem::create_symlink(device.toStdString(), folder / ("COM" + std::to_string(n)));
    }

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("UMOCKDEV_DIR"), "run this test under umockdev-run");
        QVERIFY(home_.isValid());
        // COM3 by the adapter's by-id name and COM12, outside the window's
        // list, by its by-path name: neither is on disk here.
        map(3, FtdiId);
        map(12, bypath(3));
    }

    void onlyPortsWithHardware() {
        QStringList nodes;
        for (const ports::SerialDevice& d : ports::SerialDevices())
            nodes << QString::fromStdString(d.Node);
        QCOMPARE(nodes,
                 (QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"}));
    }

    void whatUdevTells_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("byId");
        QTest::addColumn<QStringList>("byPath");
        QTest::addColumn<QString>("ids");   // vendor:product
        QTest::addColumn<QString>("names"); // vendor / product
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("usb");
        QTest::addColumn<bool>("builtIn");
        QTest::newRow("first identical adapter")
            << "/dev/ttyUSB0" << QStringList{SharedId} << QStringList{bypath(1)} << "1a86:7523"
            << "QinHeng Electronics / USB Serial"
            << ""
            << "ch341"
            << "1-1" << false;
        QTest::newRow("second identical adapter")
            << "/dev/ttyUSB1" << QStringList{SharedId} << QStringList{bypath(2)} << "1a86:7523"
            << "QinHeng Electronics / USB Serial"
            << ""
            << "ch341"
            << "1-2" << false;
        QTest::newRow("adapter with a serial number")
            << "/dev/ttyUSB2" << QStringList{FtdiId} << QStringList{bypath(3)} << "0403:6001"
            << "FTDI / FT232R USB UART"
            << "A10K3XYZ"
            << "ftdi_sio"
            << "1-3" << false;
        QTest::newRow("built-in port with a UART")
            << "/dev/ttyS0" << QStringList{}
            << QStringList{"/dev/serial/by-path/platform-serial8250-port0"} << ":"
            << " / "
            << ""
            << "serial8250"
            << "" << true;
    }
    void whatUdevTells() {
        QFETCH(QString, node);
        const std::vector<ports::SerialDevice> devices = ports::SerialDevices();
        const ports::SerialDevice* d = find(devices, node);
        QVERIFY(d);
        QTEST(strings(d->ById), "byId");
        QTEST(strings(d->ByPath), "byPath");
        QTEST(QString::fromStdString(d->VendorId + ":" + d->ProductId), "ids");
        QTEST(QString::fromStdString(d->Vendor + " / " + d->Product), "names");
        QTEST(QString::fromStdString(d->Serial), "serial");
        QTEST(QString::fromStdString(d->Driver), "driver");
        QTEST(QString::fromStdString(d->UsbLocation), "usb");
        QTEST(d->BuiltIn, "builtIn");
    }

    // Every name of a device leads to that device's number.
    void oneDeviceUnderEveryName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("node"); // empty: no device
        QTest::newRow("node") << "/dev/ttyUSB2"
                              << "/dev/ttyUSB2";
        QTest::newRow("by-id, only in udev") << FtdiId << "/dev/ttyUSB2";
        QTest::newRow("by-path, only in udev") << bypath(3) << "/dev/ttyUSB2";
        QTest::newRow("by-path of the second identical one") << bypath(2) << "/dev/ttyUSB1";
        QTest::newRow("no such node") << "/dev/ttyUSB9"
                                      << "";
        QTest::newRow("no such link") << "/dev/serial/by-id/usb-none"
                                      << "";
    }
    void oneDeviceUnderEveryName() {
        QFETCH(QString, name);
        QFETCH(QString, node);
        const std::vector<ports::SerialDevice> devices = ports::SerialDevices();
        const auto number = ports::DeviceNumber(name.toStdString(), devices);
        if (node.isEmpty()) {
            QVERIFY(!number);
            return;
        }
        QVERIFY(number);
        QCOMPARE(*number, find(devices, node)->Number);
    }

    // qrv ports as a technician reads it: one line each, in order.
    void qrvPortsText_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("a built-in port with a UART exists") << "Com1   /dev/ttyS0  existe";
        QTest::newRow("a built-in port without one does not") << "Com2   /dev/ttyS1  não existe";
        QTest::newRow("a map entry by a name only udev knows")
            << "Com3   " + FtdiId + " (mapeada)  existe";
        QTest::newRow("a map entry outside Com1 to Com10")
            << "COM12  " + bypath(3) + " (mapeada)  existe  (a janela não oferece este nome)";
        QTest::newRow("facts of an adapter without serial number")
            << "  /dev/ttyUSB0  1a86:7523 QinHeng Electronics USB Serial, sem número de série, "
               "driver ch341, USB 1-1";
        QTest::newRow("both names of one device") << "    aberto por: COM3, COM12";
        QTest::newRow("first identical one: by-path, first free name")
            << "    qrv map COM2 " + bypath(1);
        QTest::newRow("second identical one: by-path, next free name")
            << "    qrv map COM4 " + bypath(2);
        QTest::newRow("facts of an adapter with serial number")
            << "  /dev/ttyUSB2  0403:6001 FTDI FT232R USB UART, número de série A10K3XYZ, driver "
               "ftdi_sio, USB 1-3";
        QTest::newRow("by-id name") << "    by-id:   " + FtdiId;
        QTest::newRow("by-path name") << "    by-path: " + bypath(3);
    }
    void qrvPortsText() {
        QFETCH(QString, line);
        const ProgramRun run = qrv({"ports"});
        QCOMPARE(run.Status, 0);
        const QStringList lines = QString::fromUtf8(run.Out).split('\n');
        QVERIFY2(lines.contains(line), qPrintable(QString::fromUtf8(run.Out)));
    }

    void qrvPortsJson() {
        const ProgramRun run = qrv({"ports", "--json"});
        QCOMPARE(run.Status, 0);
        QJsonParseError error{};
        const QJsonObject root = QJsonDocument::fromJson(run.Out, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        QCOMPARE(root["folder"].toString(),
                 QString::fromStdString(PortMapPath(home_.path().toStdString()).string()));

        QStringList ports;
        for (const QJsonValue& p : root["ports"].toArray())
            ports << QStringLiteral("%1 %2 %3 %4")
                         .arg(p["name"].toString(), p["mapped"].toBool() ? "mapped" : "-",
                              p["exists"].toBool() ? "exists" : "-",
                              p["window"].toBool() ? "window" : "-");
        QCOMPARE(ports.size(), 11);
        QCOMPARE(ports[0], QStringLiteral("COM1 - exists window"));
        QCOMPARE(ports[1], QStringLiteral("COM2 - - window"));
        QCOMPARE(ports[2], QStringLiteral("COM3 mapped exists window"));
        QCOMPARE(ports[10], QStringLiteral("COM12 mapped exists -"));

        QStringList adapters;
        for (const QJsonValue& a : root["adapters"].toArray())
            adapters << QStringLiteral("%1 serial=%2 ports=%3 map=%4")
                            .arg(a["device"].toString(), a["serial"].toString("null"),
                                 a["ports"].toVariant().toStringList().join(','),
                                 a["map"].toString("null"));
        QCOMPARE(adapters, (QStringList{
                               "/dev/ttyS0 serial=null ports=COM1 map=null",
                               "/dev/ttyUSB0 serial=null ports= map=qrv map COM2 " + bypath(1),
                               "/dev/ttyUSB1 serial=null ports= map=qrv map COM4 " + bypath(2),
                               "/dev/ttyUSB2 serial=A10K3XYZ ports=COM3,COM12 map=null",
                           }));
        const QJsonObject ftdi = root["adapters"].toArray()[3].toObject();
        QCOMPARE(ftdi["vendorId"].toString(), QStringLiteral("0403"));
        QCOMPARE(ftdi["product"].toString(), QStringLiteral("FT232R USB UART"));
        QCOMPARE(ftdi["stableName"].toString(), FtdiId);
        QCOMPARE(ftdi["usb"].toString(), QStringLiteral("1-3"));
    }
};

QTEST_GUILESS_MAIN(PortListUdevTest)
#include "PortListUdevTest.moc"
