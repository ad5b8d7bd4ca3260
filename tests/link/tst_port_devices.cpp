// Which device a port number opens: the "Ports" section of the settings file
// first, the platform's usual name otherwise.

#include "link/port_devices.h"
#include "support/memory_settings_store.h"

#include <QTest>

namespace {
QString usual(int n) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    return QStringLiteral("/dev/ttyUSB%1").arg(n - 1);
#endif
}
} // namespace

class TestPortDevices : public QObject {
    Q_OBJECT

private slots:
    void unconfigured_ports_get_the_usual_name_data();
    void unconfigured_ports_get_the_usual_name();
    void configured_entry_wins_for_its_port_only_data();
    void configured_entry_wins_for_its_port_only();
    void line_timing_is_off_only_where_marked_false_data();
    void line_timing_is_off_only_where_marked_false();
    void looking_up_writes_nothing();
};

void TestPortDevices::unconfigured_ports_get_the_usual_name_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
#ifdef Q_OS_WIN
    QTest::newRow("1") << 1 << QStringLiteral("COM1");
    QTest::newRow("12") << 12 << QStringLiteral("COM12");
#else
    // Port numbers count from 1, the kernel's adapters from 0.
    QTest::newRow("1") << 1 << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("2") << 2 << QStringLiteral("/dev/ttyUSB1");
    QTest::newRow("12") << 12 << QStringLiteral("/dev/ttyUSB11");
#endif
    QTest::newRow("0 has no device") << 0 << QString();
    QTest::newRow("negative has no device") << -3 << QString();
}

void TestPortDevices::unconfigured_ports_get_the_usual_name() {
    QFETCH(int, port);
    QFETCH(QString, device);
    const MemorySettingsStore store;
    QCOMPARE(PortDevices(store).deviceName(port), device);
    QCOMPARE(PortDevices::defaultDeviceName(port), device);
}

void TestPortDevices::configured_entry_wins_for_its_port_only_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expectedForPort3");

    const QString ttyS0 = QStringLiteral("/dev/ttyS0");
    QTest::newRow("configured") << "Ports"
                                << "com3" << ttyS0 << ttyS0;
    QTest::newRow("blanks around the path") << "Ports"
                                            << "com3"
                                            << "  /dev/ttyS0\t" << ttyS0;
    QTest::newRow("symlink name kept as written") << "Ports"
                                                  << "com3"
                                                  << "/dev/serial/by-id/usb-bus"
                                                  << "/dev/serial/by-id/usb-bus";
    QTest::newRow("empty value") << "Ports"
                                 << "com3"
                                 << "" << usual(3);
    QTest::newRow("blank value") << "Ports"
                                 << "com3"
                                 << "   " << usual(3);
    QTest::newRow("other section") << "Port"
                                   << "com3" << ttyS0 << usual(3);
    QTest::newRow("other key form") << "Ports"
                                    << "3" << ttyS0 << usual(3);
    QTest::newRow("port 0 can be configured") << "Ports"
                                              << "com0" << ttyS0 << usual(3);
}

void TestPortDevices::configured_entry_wins_for_its_port_only() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, expectedForPort3);

    MemorySettingsStore store;
    store.setValue(section, key, value);
    const PortDevices devices(store);

    QCOMPARE(devices.deviceName(3), expectedForPort3);
    QCOMPARE(devices.deviceName(2), usual(2));
    QCOMPARE(devices.deviceName(4), usual(4));
    if (key == QLatin1String("com0"))
        QCOMPARE(devices.deviceName(0), value);
}

void TestPortDevices::line_timing_is_off_only_where_marked_false_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("port2Timed");
    const auto row = [](const char* name, const char* key, const char* value, bool timed) {
        QTest::newRow(name) << QString(key) << QString(value) << timed;
    };
    row("another port marked", "com3.lineTiming", "false", true);
    row("false", "com2.lineTiming", "false", false);
    row("any case, blanks", "com2.lineTiming", " FALSE\t", false);
    row("true", "com2.lineTiming", "true", true);
    row("0 is no false", "com2.lineTiming", "0", true);
    row("other key form", "com2.linetiming", "false", true);
}

void TestPortDevices::line_timing_is_off_only_where_marked_false() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, port2Timed);
    MemorySettingsStore store;
    store.setValue(QStringLiteral("Ports"), key, value);
    const QMap<QString, QString> before = store.values;
    const PortDevices devices(store);
    QCOMPARE(devices.hasLineTiming(2), port2Timed);
    QCOMPARE(store.values, before);
}

void TestPortDevices::looking_up_writes_nothing() {
    // The section is the user's to maintain: a lookup must not fill in the
    // defaults, or a later change of default would never reach those ports.
    MemorySettingsStore store;
    store.setValue(QStringLiteral("Ports"), QStringLiteral("com2"), QStringLiteral("/dev/ttyS1"));
    const QMap<QString, QString> before = store.values;

    const PortDevices devices(store);
    for (int port = 0; port <= 4; ++port)
        devices.deviceName(port);

    QCOMPARE(store.values, before);
}

QTEST_GUILESS_MAIN(TestPortDevices)
#include "tst_port_devices.moc"
