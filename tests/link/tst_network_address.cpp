// Network addresses written where a device name goes: what is read from them
// and what is refused, with the reason the user is told.

#include "cli/port_messages.h"
#include "link/network_address.h"
#include "ui/port_error_text.h"

#include <QTest>

Q_DECLARE_METATYPE(NetworkAddress::Mode)
Q_DECLARE_METATYPE(NetworkAddress::Problem)

class TestNetworkAddress : public QObject {
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void network_or_device_name_data();
    void network_or_device_name();
};

void TestNetworkAddress::accepted_data() {
    using Mode = NetworkAddress::Mode;
    QTest::addColumn<QString>("text");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("canonical");
    QTest::newRow("rfc2217 by name")
        << "rfc2217://moxa-3.plant.local:4001" << Mode::Rfc2217 << "moxa-3.plant.local" << 4001 << 0
        << "rfc2217://moxa-3.plant.local:4001";
    QTest::newRow("IPv6 in brackets") << "rfc2217://[::1]:22170" << Mode::Rfc2217 << "::1" << 22170
                                      << 0 << "rfc2217://[::1]:22170";
    QTest::newRow("scheme and host in capitals, blanks around")
        << "  RFC2217://Server:1\t" << Mode::Rfc2217 << "server" << 1 << 0 << "rfc2217://server:1";
    QTest::newRow("raw at the default rate") << "tcp://10.0.0.5:4001" << Mode::Raw << "10.0.0.5"
                                             << 4001 << 9600 << "tcp://10.0.0.5:4001?baud=9600";
    QTest::newRow("raw at 1200") << "tcp://h:9?baud=1200" << Mode::Raw << "h" << 9 << 1200
                                 << "tcp://h:9?baud=1200";
}

void TestNetworkAddress::accepted() {
    QFETCH(QString, text);
    QFETCH(NetworkAddress::Mode, mode);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(QString, canonical);
    NetworkAddress::Problem problem = NetworkAddress::Problem::Junk;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(text, &problem);
    QVERIFY(address);
    QCOMPARE(problem, NetworkAddress::Problem::None);
    QCOMPARE(address->mode, mode);
    QCOMPARE(address->host, host);
    QCOMPARE(int(address->port), port);
    QCOMPARE(address->baud, baud);
    QCOMPARE(address->text(), canonical);
    // The canonical form reads back as the same address.
    QCOMPARE(NetworkAddress::parse(canonical)->text(), canonical);
}

void TestNetworkAddress::refused_data() {
    using P = NetworkAddress::Problem;
    QTest::addColumn<QString>("text");
    QTest::addColumn<P>("problem");
    QTest::addColumn<QString>("parameter"); // named for an unknown one
    QTest::newRow("empty") << "" << P::NoScheme << QString();
    QTest::newRow("host and port without scheme") << "server:4001" << P::NoScheme << QString();
    QTest::newRow("unknown scheme") << "foo://server:4001" << P::UnknownScheme << QString();
    QTest::newRow("port without host") << "rfc2217://:4001" << P::EmptyHost << QString();
    QTest::newRow("host without port") << "rfc2217://server" << P::NoPort << QString();
    QTest::newRow("IPv6 without port") << "rfc2217://[::1]" << P::NoPort << QString();
    QTest::newRow("port 0") << "rfc2217://server:0" << P::BadPort << QString();
    QTest::newRow("port above 65535") << "rfc2217://server:65536" << P::BadPort << QString();
    QTest::newRow("signed port") << "rfc2217://server:+4001" << P::BadPort << QString();
    QTest::newRow("path") << "rfc2217://server:4001/dev/ttyS0" << P::Junk << QString();
    QTest::newRow("user name") << "rfc2217://me@server:4001" << P::Junk << QString();
    QTest::newRow("IPv6 without brackets") << "rfc2217://::1:4001" << P::Junk << QString();
    QTest::newRow("name in brackets") << "rfc2217://[server]:4001" << P::Junk << QString();
    QTest::newRow("query on rfc2217") << "rfc2217://server:4001?baud=9600" << P::Junk << QString();
    QTest::newRow("raw, other query")
        << "tcp://server:4001?speed=9600" << P::UnknownParameter << "speed";
    QTest::newRow("raw, a parameter after the rate")
        << "tcp://server:4001?baud=4800&x=1" << P::UnknownParameter << "x";
    QTest::newRow("raw, two rates")
        << "tcp://server:4001?baud=4800&baud=9600" << P::BadBaud << QString();
    QTest::newRow("raw, rate not used on the bus")
        << "tcp://server:4001?baud=19200" << P::BadBaud << QString();
    QTest::newRow("raw, signed rate") << "tcp://server:4001?baud=+9600" << P::BadBaud << QString();
}

void TestNetworkAddress::refused() {
    QFETCH(QString, text);
    QFETCH(NetworkAddress::Problem, problem);
    QFETCH(QString, parameter);
    NetworkAddress::Problem got = NetworkAddress::Problem::None;
    QString named;
    QVERIFY(!NetworkAddress::parse(text, &got, &named));
    QCOMPARE(got, problem);
    QCOMPARE(named, parameter);
    QVERIFY(!networkAddressText(got).isEmpty());
    QVERIFY(!networkAddressMessage(got).isEmpty());
}

void TestNetworkAddress::network_or_device_name_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("network");
    QTest::newRow("USB adapter") << "/dev/ttyUSB0" << false;
    QTest::newRow("Windows port") << "COM3" << false;
    QTest::newRow("rfc2217") << "rfc2217://h:1" << true;
    QTest::newRow("raw") << " tcp://h:1" << true;
    // Refused when opened, but never looked for as a file.
    QTest::newRow("unknown scheme") << "foo://h:1" << true;
}

void TestNetworkAddress::network_or_device_name() {
    QFETCH(QString, name);
    QFETCH(bool, network);
    QCOMPARE(isNetworkAddress(name), network);
}

QTEST_GUILESS_MAIN(TestNetworkAddress)
#include "tst_network_address.moc"
