// The grammar of network addresses: what opens a network port, and the
// canonical text each address is named by.
#include "serial/net/NetworkAddress.h"

#include <QtTest>

class NetworkAddressTest : public QObject {
    Q_OBJECT

private slots:
    void addresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: refused
        QTest::newRow("rfc2217 IPv4") << "rfc2217://127.0.0.1:4001"
                                      << "rfc2217://127.0.0.1:4001";
        QTest::newRow("socket name") << "socket://Device-1.Example:7000"
                                     << "socket://device-1.example:7000";
        QTest::newRow("scheme in capitals") << "RFC2217://10.0.0.5:4001"
                                            << "rfc2217://10.0.0.5:4001";
        QTest::newRow("IPv6 loopback") << "rfc2217://[::1]:4001"
                                       << "rfc2217://[::1]:4001";
        QTest::newRow("IPv6 full") << "socket://[2001:DB8:0:0:0:0:0:1]:1"
                                   << "socket://[2001:db8:0:0:0:0:0:1]:1";
        QTest::newRow("IPv6 with IPv4 tail") << "socket://[::ffff:192.0.2.1]:65535"
                                             << "socket://[::ffff:192.0.2.1]:65535";
        QTest::newRow("no port") << "rfc2217://127.0.0.1"
                                 << "";
        QTest::newRow("empty port") << "rfc2217://127.0.0.1:"
                                    << "";
        QTest::newRow("port 0") << "rfc2217://127.0.0.1:0"
                                << "";
        QTest::newRow("port 65536") << "rfc2217://127.0.0.1:65536"
                                    << "";
        QTest::newRow("port with sign") << "socket://127.0.0.1:+80"
                                        << "";
        QTest::newRow("port with letters") << "socket://127.0.0.1:80a"
                                           << "";
        QTest::newRow("IPv4 of three parts") << "rfc2217://1.2.3:4001"
                                             << "";
        QTest::newRow("IPv4 part over 255") << "rfc2217://256.1.1.1:4001"
                                            << "";
        QTest::newRow("IPv6 without brackets") << "rfc2217://::1:4001"
                                               << "";
        QTest::newRow("IPv6 bracket without port") << "rfc2217://[::1]4001"
                                                   << "";
        QTest::newRow("IPv6 two gaps") << "rfc2217://[1::2::3]:1"
                                       << "";
        QTest::newRow("IPv6 nine groups") << "rfc2217://[1:2:3:4:5:6:7:8:9]:1"
                                          << "";
        QTest::newRow("IPv6 bad digit") << "rfc2217://[g::1]:1"
                                        << "";
        QTest::newRow("underscore in name") << "socket://host_name:1"
                                            << "";
        QTest::newRow("hyphen first") << "socket://-host:1"
                                      << "";
        QTest::newRow("no host") << "rfc2217://:4001"
                                 << "";
        QTest::newRow("path after port") << "socket://host:4001/x"
                                         << "";
        QTest::newRow("other scheme") << "telnet://host:23"
                                      << "";
        QTest::newRow("IPv6 link-local with its interface") << "rfc2217://[FE80::1%Eth0]:4001"
                                                            << "rfc2217://[fe80::1%Eth0]:4001";
        QTest::newRow("IPv6 interface by number") << "socket://[fe80::1%2]:1"
                                                  << "socket://[fe80::1%2]:1";
        QTest::newRow("IPv6 empty interface") << "socket://[fe80::1%]:1"
                                              << "";
        QTest::newRow("IPv6 interface with a blank") << "socket://[fe80::1%a b]:1"
                                                     << "";
    }

    void addresses() {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        const auto address = serial::net::ParseNetworkAddress(text.toStdString());
        QCOMPARE(address ? QString::fromStdString(address->Text()) : QString(), canonical);
        QCOMPARE(serial::net::IsNetworkAddress(text.toStdString()),
                 !text.startsWith(QLatin1String("telnet")));
    }
};

QTEST_APPLESS_MAIN(NetworkAddressTest)
#include "NetworkAddressTest.moc"
