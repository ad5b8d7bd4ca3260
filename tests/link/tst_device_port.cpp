// The port chosen by number: at every open it follows the device mapping to
// the computer's serial port or to a device server on the network, with the
// network settings of that port number.

#include "cli/port_messages.h"
#include "link/device_port.h"
#include "link/port_devices.h"
#include "support/fake_device_server.h"
#include "support/memory_settings_store.h"
#include "support/pty_pair.h"
#include "ui/port_error_text.h"

#include <QTest>

class TestDevicePort : public QObject {
    Q_OBJECT

private slots:
    void network_settings_of_the_port_data();
    void network_settings_of_the_port();
    void raw_server_rate_from_the_settings();
    void follows_the_mapping_at_each_open();
    void device_that_is_missing();
};

void TestDevicePort::network_settings_of_the_port_data() {
    QTest::addColumn<QString>("latency");
    QTest::addColumn<QString>("connectTimeout");
    QTest::addColumn<int>("latencyMs");
    QTest::addColumn<int>("connectTimeoutMs");
    QTest::newRow("defaults") << QString() << QString() << 25 << 3000;
    QTest::newRow("set") << "40"
                         << "1500" << 40 << 1500;
    QTest::newRow("blanks around") << " 0 "
                                   << "\t60000" << 0 << 60000;
    QTest::newRow("unit written out") << "40ms"
                                      << "2s" << 25 << 3000;
    QTest::newRow("signed") << "+40"
                            << "-1" << 25 << 3000;
    QTest::newRow("beyond the range") << "10001"
                                      << "60001" << 25 << 3000;
    QTest::newRow("connect time-out of nothing") << "10000"
                                                 << "0" << 10000 << 3000;
}

void TestDevicePort::network_settings_of_the_port() {
    QFETCH(QString, latency);
    QFETCH(QString, connectTimeout);
    QFETCH(int, latencyMs);
    QFETCH(int, connectTimeoutMs);
    FakeDeviceServer server;
    MemorySettingsStore store;
    store.setValue("Ports", "com2", server.address());
    store.setValue("Ports", "com2.latency", latency);
    store.setValue("Ports", "com2.connectTimeout", connectTimeout);
    // Another port's values are not this one's.
    store.setValue("Ports", "com3.latency", "77");
    const PortDevices devices(store);
    QCOMPARE(devices.latencyMs(2), latencyMs);
    QCOMPARE(devices.connectTimeoutMs(2), connectTimeoutMs);

    DevicePort port(devices);
    port.setPortNumber(2);
    QVERIFY(port.setSettings("4800,N,8,1"));
    QVERIFY2(port.open(), qPrintable(portErrorMessage(port.lastError())));
    QVERIFY(port.isNetwork());
    QCOMPARE(port.latencyMs(), latencyMs);
    QCOMPARE(port.networkPort().connectTimeoutMs(), connectTimeoutMs);
    QVERIFY(!port.hasLineTiming());
    QCOMPARE(port.settings(), QStringLiteral("4800,n,8,1"));
    QCOMPARE(server.rates(), QList<quint32>{4800});
}

void TestDevicePort::raw_server_rate_from_the_settings() {
    FakeDeviceServer server(FakeDeviceServer::Behaviour::Raw);
    MemorySettingsStore store;
    store.setValue("Ports", "com2", QStringLiteral("tcp://127.0.0.1:%1").arg(server.port()));
    store.setValue("Ports", "com2.baud", "2400");
    store.setValue("Ports", "com3.baud", "1200");
    const PortDevices devices(store);
    QCOMPARE(devices.fixedBaud(2), 2400);
    QCOMPARE(devices.fixedBaud(3), 0); // a serial device: its rate is set

    DevicePort port(devices);
    port.setPortNumber(2);
    // Known before opening, so a caller can refuse another rate first.
    QCOMPARE(port.fixedBaud(), 2400);
    QVERIFY(port.setSettings("9600,N,8,1"));
    QVERIFY2(port.open(), qPrintable(portErrorMessage(port.lastError())));
    QCOMPARE(port.settings(), QStringLiteral("2400,n,8,1"));
    QVERIFY(!port.setSettings("9600,N,8,1"));
    QCOMPARE(port.settings(), QStringLiteral("2400,n,8,1"));
    port.close();
    port.setPortNumber(3);
    QCOMPARE(port.fixedBaud(), 0);
}

void TestDevicePort::follows_the_mapping_at_each_open() {
    FakeDeviceServer server;
    PtyPair pty;
    QVERIFY2(pty.isValid(), qPrintable(pty.errorString()));
    MemorySettingsStore store;
    const PortDevices devices(store);
    DevicePort port(devices);
    QStringList lost;
    port.setDeviceLostHandler([&](const QString& device) { lost.append(device); });

    store.setValue("Ports", "com1", server.address());
    QVERIFY2(port.open(), qPrintable(portErrorMessage(port.lastError())));
    QVERIFY(port.isNetwork());
    QVERIFY(port.setSettings("1200,N,8,1"));
    QCOMPARE(server.rates().last(), 1200u);

    // Mapped to a serial device now: the network connection is let go, and
    // the settings in force go with the port.
    store.setValue("Ports", "com1", pty.slavePath());
    QVERIFY2(port.open(), qPrintable(portErrorText(port.lastError())));
    QVERIFY(!port.isNetwork());
    QVERIFY(server.waitUntil([&] { return server.disconnections() == 1; }));
    QCOMPARE(port.settings(), QStringLiteral("1200,n,8,1"));
    QCOMPARE(pty.lineSpeed(), speed_t(B1200));
    QVERIFY(port.hasLineTiming());
    QCOMPARE(port.latencyMs(), 0);
    port.write("$01AD04\r");
    QCOMPARE(pty.read(8, 5000), QByteArray("$01AD04\r"));

    // And back: the serial port is closed first, and the network port
    // starts at the settings set meanwhile.
    QVERIFY(port.setSettings("2400,N,8,1"));
    store.setValue("Ports", "com1", " " + server.address());
    QVERIFY2(port.open(), qPrintable(portErrorMessage(port.lastError())));
    QVERIFY(port.isNetwork());
    QCOMPARE(server.rates().last(), 2400u);

    // A loss on the network is told through the same handler.
    server.dropClient();
    port.waitForInput(5000);
    QVERIFY(!port.isOpen());
    QCOMPARE(lost, QStringList{server.address()});
}

void TestDevicePort::device_that_is_missing() {
    MemorySettingsStore store;
    store.setValue("Ports", "com1", "/dev/no-such-adapter");
    const PortDevices devices(store);
    DevicePort port(devices);
    QVERIFY(!port.open());
    QVERIFY(!port.isNetwork());
    QVERIFY2(portErrorText(port.lastError()).contains("/dev/no-such-adapter"),
             qPrintable(portErrorText(port.lastError())));
    // Each program words the same facts in its own language.
    QCOMPARE(portErrorMessage(port.lastError()),
             QStringLiteral("cannot open /dev/no-such-adapter: no such device"));
}

QTEST_GUILESS_MAIN(TestDevicePort)
#include "tst_device_port.moc"
