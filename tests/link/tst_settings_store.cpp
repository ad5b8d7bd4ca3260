// The settings file itself: where the remembered port lives, and what the
// window does when the file is damaged.

#include "link/qt_settings_store.h"
#include "support/fake_clock.h"
#include "support/fake_message_boxes.h"
#include "support/fake_serial_port.h"
#include "ui/list_selection.h"
#include "ui/main_window.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

namespace {
QString settingsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tarnwick");
}

QString settingsFile() {
    return settingsFolder() + QStringLiteral("/Tarnwick.conf");
}

void writeFile(const QByteArray& contents) {
    QDir().mkpath(settingsFolder());
    QFile f(settingsFile());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(contents);
}

// The window on the real settings file, with a fake port.
struct WindowOnRealSettings {
    FakeClock clock;
    FakeSerialPort port{clock};
    FakeMessageBoxes messages;
    QtSettingsStore settings;
    MainWindow window{WindowServices{port, settings, messages, clock}};
};
} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT

private slots:
    void init();
    void port_is_remembered_in_the_users_file();
    void damaged_file_selects_no_port_data();
    void damaged_file_selects_no_port();
    void folder_in_place_of_the_file_does_not_crash();
};

void TestSettingsStore::init() {
    // Never the user's own file: the test runs with its own config home.
    QVERIFY(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
    QDir(settingsFolder()).removeRecursively();
}

void TestSettingsStore::port_is_remembered_in_the_users_file() {
    writeFile("[Transmitter]\nCommPort=3\n[Ports]\ncom3=/dev/ttyS9\n");
    {
        WindowOnRealSettings w;
        QCOMPARE(w.port.openedPorts, QList<int>{3});
        QCOMPARE(w.settings.value("Ports", "com3"), QStringLiteral("/dev/ttyS9"));
        w.window.listSelection().select(w.window.findChild<QComboBox*>("cmbCommPort"), 4);
    }
    QtSettingsStore again;
    QCOMPARE(again.value("Transmitter", "CommPort"), QStringLiteral("5"));
    // The port mapping written by hand is kept as it was.
    QCOMPARE(again.value("Ports", "com3"), QStringLiteral("/dev/ttyS9"));
}

void TestSettingsStore::damaged_file_selects_no_port_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe[\x01=\x02\n\x80", 9);
    QTest::newRow("no section") << QByteArray("CommPort=2\n");
    QTest::newRow("list value") << QByteArray("[Transmitter]\nCommPort=1, 2\n");
    QTest::newRow("empty value") << QByteArray("[Transmitter]\nCommPort=\n");
    QTest::newRow("huge") << QByteArray("[Transmitter]\nCommPort=") + QByteArray(100000, '9');
}

void TestSettingsStore::damaged_file_selects_no_port() {
    QFETCH(QByteArray, contents);
    writeFile(contents);
    WindowOnRealSettings w;
    QCOMPARE(w.window.findChild<QComboBox*>("cmbCommPort")->currentIndex(), -1);
    QVERIFY(w.port.openedPorts.isEmpty());
    QVERIFY(w.messages.shown.isEmpty());
}

void TestSettingsStore::folder_in_place_of_the_file_does_not_crash() {
    QDir().mkpath(settingsFile());
    WindowOnRealSettings w;
    QVERIFY(w.port.openedPorts.isEmpty());
    w.window.listSelection().select(w.window.findChild<QComboBox*>("cmbCommPort"), 0);
    QVERIFY(w.port.isOpen());
    QDir(settingsFolder()).removeRecursively();
}

QTEST_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
