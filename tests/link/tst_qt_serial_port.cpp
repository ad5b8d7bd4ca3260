// The real serial port against a pseudo-terminal: the test plays the device on
// the master end and reads the line settings the port chose from it.

#include "link/port_devices.h"
#include "link/qt_serial_port.h"
#include "support/memory_settings_store.h"
#include "support/pty_pair.h"
#include "ui/port_error_text.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <memory>
#include <thread>

namespace {

// Generous: the machine is shared, and only a hang should fail a test.
constexpr int kPatienceMs = 5000;

// A port whose number 1 is the slave end of a fresh pseudo-terminal.
struct Bench {
    PtyPair pty;
    MemorySettingsStore store;
    PortDevices devices{store};
    QtSerialPort port{devices};

    Bench() {
        if (!pty.isValid())
            qFatal("no pseudo-terminal: %s", qPrintable(pty.errorString()));
        store.setValue(QStringLiteral("Ports"), QStringLiteral("com1"), pty.slavePath());
    }

    speed_t lineSpeed() const { return pty.lineSpeed(); }
    tcflag_t lineFlags() const { return pty.lineSettings()->c_cflag; }

    // Everything the port receives until count bytes have come or time is up.
    QByteArray receive(qsizetype count) {
        QByteArray got;
        const QDeadlineTimer deadline(kPatienceMs);
        while (got.size() < count && !deadline.hasExpired()) {
            if (port.waitForInput(int(deadline.remainingTime())))
                got += port.readAll();
        }
        return got;
    }

    // Until the bytes the master sent are waiting in the kernel for the port.
    bool queuedForPort(int count) const {
        const QDeadlineTimer deadline(kPatienceMs);
        while (pty.queuedForSlave() < count && !deadline.hasExpired())
            QTest::qSleep(1);
        return pty.queuedForSlave() == count;
    }
};

// How many descriptors of this process are open on the given terminal.
int descriptorsOpenOn(const QString& path) {
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
        // A hung-up terminal's link reads "/dev/pts/N (deleted)".
        const QString target = fd.symLinkTarget();
        if (target == path || target.startsWith(path + QLatin1Char(' ')))
            ++n;
    }
    return n;
}

double cpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

class TestQtSerialPort : public QObject {
    Q_OBJECT

private slots:
    void closed_port_starts_at_9600_8n1_on_port_1();
    void open_sets_9600_8n1_over_what_the_device_had();
    void settings_apply_whether_set_before_or_after_open_data();
    void settings_apply_whether_set_before_or_after_open();
    void unreadable_settings_keep_the_old_ones_data();
    void unreadable_settings_keep_the_old_ones();
    void settings_the_device_refuses_are_not_taken();
    void open_fails_when_the_device_refuses_the_settings();

    void bytes_sent_before_open_are_discarded();
    void write_reaches_the_device_without_an_event_loop();
    void read_all_returns_everything_in_order();
    void read_all_returns_at_once_when_nothing_came();
    void wait_returns_when_input_arrives();
    void wait_gives_up_after_its_time_without_spinning();
    void wait_reports_input_already_fetched_but_unread();
    void discard_input_drops_what_is_waiting();

    void open_again_switches_to_the_current_port_number();
    void missing_device_names_the_device_and_stays_closed();
    void device_in_use_is_told_apart_from_a_missing_one();
    void device_without_access_rights_is_told_apart();
    void something_that_is_no_serial_port_gets_the_general_message();

    void line_timing_follows_the_mapping_unless_forced_data();
    void line_timing_follows_the_mapping_unless_forced();
    void vanished_device_closes_the_port_data();
    void vanished_device_closes_the_port();
    void vanished_device_is_noticed_while_idle();
};

void TestQtSerialPort::closed_port_starts_at_9600_8n1_on_port_1() {
    Bench b;
    QVERIFY(!b.port.isOpen());
    QCOMPARE(b.port.portNumber(), 1);
    QCOMPARE(b.port.settings(), QStringLiteral("9600,n,8,1"));
}

void TestQtSerialPort::open_sets_9600_8n1_over_what_the_device_had() {
    Bench b;
    // Otherwise the test could pass with a port that never sets anything.
    QCOMPARE(b.lineSpeed(), speed_t(B38400));

    QVERIFY2(b.port.open(), qPrintable(portErrorText(b.port.lastError())));
    QVERIFY(b.port.isOpen());
    QCOMPARE(portErrorText(b.port.lastError()), QString());
    QCOMPARE(b.lineSpeed(), speed_t(B9600));
    const termios line = *b.pty.lineSettings();
    QCOMPARE(cfgetispeed(&line), speed_t(B9600));
    QCOMPARE(b.lineFlags() & CSIZE, tcflag_t(CS8));
    QCOMPARE(b.lineFlags() & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
}

void TestQtSerialPort::settings_apply_whether_set_before_or_after_open_data() {
    QTest::addColumn<bool>("beforeOpen");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lowerCase");
    QTest::addColumn<int>("speed");
    QTest::addColumn<bool>("twoStopBits");

    QTest::newRow("before, upper case") << true << "4800,N,8,1"
                                        << "4800,n,8,1" << int(B4800) << false;
    QTest::newRow("after, upper case") << false << "4800,N,8,1"
                                       << "4800,n,8,1" << int(B4800) << false;
    QTest::newRow("before, lower case") << true << "1200,n,8,1"
                                        << "1200,n,8,1" << int(B1200) << false;
    QTest::newRow("after, two stop bits") << false << "2400,N,8,2"
                                          << "2400,n,8,2" << int(B2400) << true;
}

void TestQtSerialPort::settings_apply_whether_set_before_or_after_open() {
    QFETCH(bool, beforeOpen);
    QFETCH(QString, text);
    QFETCH(QString, lowerCase);
    QFETCH(int, speed);
    QFETCH(bool, twoStopBits);

    Bench b;
    if (beforeOpen)
        QVERIFY(b.port.setSettings(text));
    QVERIFY2(b.port.open(), qPrintable(portErrorText(b.port.lastError())));
    if (!beforeOpen)
        QVERIFY(b.port.setSettings(text));

    QCOMPARE(b.port.settings(), lowerCase);
    QCOMPARE(b.lineSpeed(), speed_t(speed));
    QCOMPARE(bool(b.lineFlags() & CSTOPB), twoStopBits);

    // The settings belong to the port, not to one opening of it.
    b.port.close();
    QVERIFY(b.port.open());
    QCOMPARE(b.port.settings(), lowerCase);
    QCOMPARE(b.lineSpeed(), speed_t(speed));
}

void TestQtSerialPort::unreadable_settings_keep_the_old_ones_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("text");
    QTest::newRow("closed, empty") << false << "";
    QTest::newRow("closed, three fields") << false << "9600,N,8";
    QTest::newRow("open, no number") << true << "fast,N,8,1";
    QTest::newRow("open, unknown parity") << true << "9600,X,8,1";
}

void TestQtSerialPort::unreadable_settings_keep_the_old_ones() {
    QFETCH(bool, open);
    QFETCH(QString, text);

    Bench b;
    QVERIFY(b.port.setSettings(QStringLiteral("4800,N,8,1")));
    if (open)
        QVERIFY(b.port.open());

    QVERIFY(!b.port.setSettings(text));
    QCOMPARE(b.port.settings(), QStringLiteral("4800,n,8,1"));
    if (!open)
        QVERIFY(b.port.open());
    QCOMPARE(b.lineSpeed(), speed_t(B4800));
}

void TestQtSerialPort::settings_the_device_refuses_are_not_taken() {
    // A pseudo-terminal has no parity; a real adapter may lack 1.5 stop bits.
    Bench b;
    QVERIFY(b.port.open());
    QVERIFY(b.port.setSettings(QStringLiteral("4800,N,8,1")));

    QVERIFY(!b.port.setSettings(QStringLiteral("2400,E,8,1")));
    QCOMPARE(b.port.settings(), QStringLiteral("4800,n,8,1"));
    QVERIFY(portErrorText(b.port.lastError()).contains(b.pty.slavePath()));
    QVERIFY(b.port.isOpen());
    // Nothing of the refused settings is left on the line, not even the part
    // the device would have taken.
    QCOMPARE(b.lineSpeed(), speed_t(B4800));
    QCOMPARE(b.lineFlags() & PARENB, tcflag_t(0));
}

void TestQtSerialPort::open_fails_when_the_device_refuses_the_settings() {
    Bench b;
    QVERIFY(b.port.setSettings(QStringLiteral("9600,E,8,1")));

    QVERIFY(!b.port.open());
    QVERIFY(!b.port.isOpen());
    QVERIFY(portErrorText(b.port.lastError()).contains(b.pty.slavePath()));
    QVERIFY(portErrorText(b.port.lastError()).contains(QStringLiteral("9600,e,8,1")));
    // Closed for real: a second port may have the device now.
    QtSerialPort other(b.devices);
    QVERIFY2(other.open(), qPrintable(portErrorText(other.lastError())));
}

void TestQtSerialPort::bytes_sent_before_open_are_discarded() {
    Bench b;
    QVERIFY(b.pty.write("stale reply"));
    QVERIFY(b.queuedForPort(11));

    QVERIFY(b.port.open());
    QCOMPARE(b.port.readAll(), QByteArray());

    QVERIFY(b.pty.write("fresh"));
    QCOMPARE(b.receive(5), QByteArray("fresh"));
}

void TestQtSerialPort::write_reaches_the_device_without_an_event_loop() {
    Bench b;
    QVERIFY(b.port.open());
    const QByteArray frame("\x02"
                           "01RD\x00\xff\x03",
                           8);

    b.port.write(frame);

    QCOMPARE(b.pty.read(frame.size(), kPatienceMs), frame);
    b.port.write("second");
    QCOMPARE(b.pty.read(6, kPatienceMs), QByteArray("second"));
}

void TestQtSerialPort::read_all_returns_everything_in_order() {
    Bench b;
    QVERIFY(b.port.open());
    QByteArray sent;
    for (int i = 0; i < 20000; ++i)
        sent.append(char(i * 7));

    // Written all at once, the data is more than one read of the driver.
    std::thread device([&b, sent] { b.pty.write(sent); });
    QByteArray got;
    const QDeadlineTimer deadline(kPatienceMs);
    while (got.size() < sent.size() && !deadline.hasExpired()) {
        got += b.port.readAll();
        QTest::qSleep(1);
    }
    device.join();

    QCOMPARE(got.size(), sent.size());
    QCOMPARE(got, sent);
}

void TestQtSerialPort::read_all_returns_at_once_when_nothing_came() {
    Bench b;
    QVERIFY(b.port.open());
    QElapsedTimer t;
    t.start();
    QCOMPARE(b.port.readAll(), QByteArray());
    // Only a read that waits for input could take this long.
    QVERIFY(t.elapsed() < 2000);
}

void TestQtSerialPort::wait_returns_when_input_arrives() {
    Bench b;
    QVERIFY(b.port.open());
    std::thread device([&b] {
        QTest::qSleep(100);
        b.pty.write("ok");
    });
    QElapsedTimer t;
    t.start();
    const bool arrived = b.port.waitForInput(60000);
    const qint64 waited = t.elapsed();
    device.join();

    QVERIFY(arrived);
    QVERIFY2(waited < 30000, "waited out its time instead of returning with the input");
    QCOMPARE(b.receive(2), QByteArray("ok"));
}

void TestQtSerialPort::wait_gives_up_after_its_time_without_spinning() {
    Bench b;
    QVERIFY(b.port.open());
    QElapsedTimer t;
    t.start();
    const double cpuBefore = cpuSeconds();

    QVERIFY(!b.port.waitForInput(500));

    const double cpu = cpuSeconds() - cpuBefore;
    QVERIFY2(t.elapsed() >= 450, "returned before its time");
    // A polling loop would use the whole half second.
    QVERIFY2(cpu < 0.25, qPrintable(QStringLiteral("used %1 s of processor").arg(cpu)));
    QVERIFY(b.port.isOpen());
    // A negative time is no invitation to wait for ever.
    QVERIFY(!b.port.waitForInput(-1));
}

void TestQtSerialPort::wait_reports_input_already_fetched_but_unread() {
    Bench b;
    QVERIFY(b.port.open());
    QVERIFY(b.pty.write("x"));
    QVERIFY(b.port.waitForInput(kPatienceMs));

    QVERIFY(b.port.waitForInput(0));
    QCOMPARE(b.port.readAll(), QByteArray("x"));
    QVERIFY(!b.port.waitForInput(0));
}

void TestQtSerialPort::discard_input_drops_what_is_waiting() {
    Bench b;
    QVERIFY(b.port.open());
    // One part already fetched into the port's own buffer, one still in the
    // kernel: a late reply can sit in either.
    QVERIFY(b.pty.write("late1"));
    QVERIFY(b.port.waitForInput(kPatienceMs));
    QVERIFY(b.pty.write("late2"));
    QVERIFY(b.queuedForPort(5));

    b.port.discardInput();

    QCOMPARE(b.port.readAll(), QByteArray());
    QVERIFY(b.pty.write("next"));
    QCOMPARE(b.receive(4), QByteArray("next"));
}

void TestQtSerialPort::open_again_switches_to_the_current_port_number() {
    // Opening an open port reopens it, so a port number chosen meanwhile
    // takes effect.
    Bench b;
    PtyPair second;
    b.store.setValue(QStringLiteral("Ports"), QStringLiteral("com2"), second.slavePath());
    QVERIFY(b.port.setSettings(QStringLiteral("4800,N,8,1")));
    QVERIFY(b.port.open());

    b.port.setPortNumber(2);
    QVERIFY(b.port.isOpen());
    QVERIFY2(b.port.open(), qPrintable(portErrorText(b.port.lastError())));

    QCOMPARE(b.port.portNumber(), 2);
    QCOMPARE(second.lineSpeed(), speed_t(B4800));
    b.port.write("here");
    QCOMPARE(second.read(4, kPatienceMs), QByteArray("here"));
    QCOMPARE(b.pty.readAvailable(), QByteArray());
    // The first device was let go.
    QtSerialPort other(b.devices);
    QVERIFY2(other.open(), qPrintable(portErrorText(other.lastError())));
}

void TestQtSerialPort::missing_device_names_the_device_and_stays_closed() {
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyUSB5"));
    MemorySettingsStore store;
    store.setValue(QStringLiteral("Ports"), QStringLiteral("com6"), device);
    const PortDevices devices(store);
    QtSerialPort port(devices);
    port.setPortNumber(6);

    QVERIFY(!port.open());

    QVERIFY(!port.isOpen());
    QCOMPARE(portErrorText(port.lastError()),
             QStringLiteral("无法打开串口 %1：设备不存在。").arg(device));
    // A closed port does nothing and reports nothing.
    port.write("x");
    QCOMPARE(port.readAll(), QByteArray());
    QVERIFY(!port.waitForInput(0));
}

void TestQtSerialPort::device_in_use_is_told_apart_from_a_missing_one() {
    Bench b;
    QVERIFY(b.port.open());
    QtSerialPort second(b.devices);

    QVERIFY(!second.open());

    QVERIFY(!second.isOpen());
    QCOMPARE(portErrorText(second.lastError()),
             QStringLiteral("无法打开串口 %1：串口正被其他程序使用。").arg(b.pty.slavePath()));
    // The failed attempt did not disturb the port that has the device.
    b.port.write("still mine");
    QCOMPARE(b.pty.read(10, kPatienceMs), QByteArray("still mine"));
}

void TestQtSerialPort::device_without_access_rights_is_told_apart() {
    if (geteuid() == 0)
        QSKIP("root opens any device regardless of its permissions");
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyS9"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::Permissions()));
    MemorySettingsStore store;
    store.setValue(QStringLiteral("Ports"), QStringLiteral("com1"), device);
    const PortDevices devices(store);
    QtSerialPort port(devices);

    QVERIFY(!port.open());

    QCOMPARE(portErrorText(port.lastError()),
             QStringLiteral("无法打开串口 %1：没有访问该设备的权限。").arg(device));
}

void TestQtSerialPort::something_that_is_no_serial_port_gets_the_general_message() {
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("plain-file"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    MemorySettingsStore store;
    store.setValue(QStringLiteral("Ports"), QStringLiteral("com1"), device);
    const PortDevices devices(store);
    QtSerialPort port(devices);

    QVERIFY(!port.open());

    QVERIFY(!port.isOpen());
    const QString prefix = QStringLiteral("无法打开串口 %1：").arg(device);
    QVERIFY2(portErrorText(port.lastError()).startsWith(prefix),
             qPrintable(portErrorText(port.lastError())));
    // Qt's own words follow, as the only clue to an unusual failure.
    QVERIFY(portErrorText(port.lastError()).size() > prefix.size());
    QVERIFY(!portErrorText(port.lastError()).contains(QStringLiteral("设备不存在")));
    QVERIFY(!portErrorText(port.lastError()).contains(QStringLiteral("其他程序")));
}

void TestQtSerialPort::line_timing_follows_the_mapping_unless_forced_data() {
    QTest::addColumn<QString>("mapped");
    QTest::addColumn<int>("forced"); // -1: not forced
    QTest::addColumn<bool>("timed");
    QTest::newRow("not marked") << "" << -1 << true;
    QTest::newRow("marked") << "false" << -1 << false;
    QTest::newRow("forced off") << "" << 0 << false;
    QTest::newRow("forced on") << "false" << 1 << true;
}

void TestQtSerialPort::line_timing_follows_the_mapping_unless_forced() {
    QFETCH(QString, mapped);
    QFETCH(int, forced);
    QFETCH(bool, timed);
    Bench b;
    b.store.setValue(QStringLiteral("Ports"), QStringLiteral("com1.lineTiming"), mapped);
    if (forced >= 0)
        b.port.setLineTiming(forced == 1);
    QVERIFY(b.port.open());
    QCOMPARE(b.port.hasLineTiming(), timed);
    // The mapping is read at open(), not on every exchange.
    b.store.setValue(QStringLiteral("Ports"), QStringLiteral("com1.lineTiming"),
                     mapped.isEmpty() ? QStringLiteral("false") : QString());
    QCOMPARE(b.port.hasLineTiming(), timed);
}

void TestQtSerialPort::vanished_device_closes_the_port_data() {
    QTest::addColumn<QString>("firstCall");
    QTest::newRow("read") << "readAll";
    QTest::newRow("wait") << "waitForInput";
    QTest::newRow("write") << "write";
}

void TestQtSerialPort::vanished_device_closes_the_port() {
    QFETCH(QString, firstCall);
    Bench b;
    QStringList lost;
    b.port.setDeviceLostHandler([&](const QString& device) { lost.append(device); });
    QVERIFY(b.port.open());
    QVERIFY(b.pty.write("half a rep"));
    QVERIFY(b.queuedForPort(10));

    b.pty.closeMaster();

    // Whichever call meets the hang-up, the next ones must not keep failing
    // at full speed with the port still claiming to be open.
    const QDeadlineTimer deadline(kPatienceMs);
    while (b.port.isOpen() && !deadline.hasExpired()) {
        if (firstCall == QLatin1String("readAll"))
            b.port.readAll();
        else if (firstCall == QLatin1String("waitForInput"))
            b.port.waitForInput(100);
        else
            b.port.write("request");
    }

    QVERIFY(!b.port.isOpen());
    QVERIFY2(portErrorText(b.port.lastError()).contains(b.pty.slavePath()),
             qPrintable(portErrorText(b.port.lastError())));
    QCOMPARE(b.port.readAll(), QByteArray());
    QVERIFY(!b.port.waitForInput(0));
    b.port.close();
    // Told once, naming the device; a close by the user is no loss.
    QCOMPARE(lost, QStringList{b.pty.slavePath()});

    // The user picks a port again and carries on.
    PtyPair replacement;
    b.store.setValue(QStringLiteral("Ports"), QStringLiteral("com1"), replacement.slavePath());
    QVERIFY2(b.port.open(), qPrintable(portErrorText(b.port.lastError())));
    QCOMPARE(replacement.lineSpeed(), speed_t(B9600));
}

void TestQtSerialPort::vanished_device_is_noticed_while_idle() {
    // Between exchanges the window runs its event loop and calls nothing on
    // the port; it must still see the port close.
    Bench b;
    int lost = 0;
    b.port.setDeviceLostHandler([&](const QString&) { ++lost; });
    QVERIFY(b.port.open());

    b.pty.closeMaster();

    QTRY_VERIFY_WITH_TIMEOUT(!b.port.isOpen(), kPatienceMs);
    QTRY_COMPARE_WITH_TIMEOUT(lost, 1, kPatienceMs);
    QVERIFY(!portErrorText(b.port.lastError()).isEmpty());
    // Let go for real, not just reported closed: only the pair's own slave
    // descriptor is left on the line.
    QTRY_COMPARE_WITH_TIMEOUT(descriptorsOpenOn(b.pty.slavePath()), 1, kPatienceMs);
}

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_qt_serial_port.moc"
