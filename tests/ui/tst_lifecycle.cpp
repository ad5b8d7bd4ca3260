// Start-up, port choice and the end of the program, against a fake port and
// settings kept in memory.

#include "support/test_window.h"
#include "ui/list_selection.h"
#include "ui/port_error_text.h"
#include "ui/status_panels.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

class TestLifecycle : public QObject {
    Q_OBJECT

private slots:
    void remembered_port_is_reopened_and_written_back();
    void unusable_remembered_port_selects_nothing_data();
    void unusable_remembered_port_selects_nothing();
    void start_up_greets_and_sets_the_poll_flag();
    void failing_port_choice_shows_the_reason_and_keeps_the_setting();
    void choosing_the_same_port_again_reopens_it();
    void choice_keeps_the_line_settings_data();
    void choice_keeps_the_line_settings();
    void close_is_refused_while_searching();
    void quit_closes_the_port_and_the_window();
    void quit_during_a_search_stops_it_first_data();
    void quit_during_a_search_stops_it_first();
    void lost_device_is_named_and_a_new_choice_reopens();
};

void TestLifecycle::remembered_port_is_reopened_and_written_back() {
    TestWindow t;
    t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), QStringLiteral("2"));
    t.create();

    QCOMPARE(t.control<QComboBox>("cmbCommPort")->currentText(), QStringLiteral("com2"));
    QCOMPARE(t.port.openedPorts, QList<int>{2});
    QVERIFY(t.port.isOpen());
    QCOMPARE(t.settings.writes, 1);
    QCOMPARE(t.settings.value("Transmitter", "CommPort"), QStringLiteral("2"));
    QVERIFY(t.messages.shown.isEmpty());
    // Both buffers are emptied while the port is being configured.
    QVERIFY(t.port.discardInputCount >= 1);
    QVERIFY(t.port.discardOutputCount >= 1);
}

void TestLifecycle::unusable_remembered_port_selects_nothing_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("stored");
    QTest::newRow("missing") << false << QString();
    QTest::newRow("empty") << true << QString();
    QTest::newRow("zero") << true << QStringLiteral("0");
    QTest::newRow("seven") << true << QStringLiteral("7");
    QTest::newRow("negative") << true << QStringLiteral("-1");
    QTest::newRow("word") << true << QStringLiteral("abc");
    QTest::newRow("fraction") << true << QStringLiteral("2.5");
    QTest::newRow("huge") << true << QStringLiteral("99999999999999999999999");
    QTest::newRow("wraps to two") << true << QStringLiteral("4294967298");
}

void TestLifecycle::unusable_remembered_port_selects_nothing() {
    QFETCH(bool, present);
    QFETCH(QString, stored);
    TestWindow t;
    if (present)
        t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), stored);
    t.create();

    QCOMPARE(t.control<QComboBox>("cmbCommPort")->currentIndex(), -1);
    QVERIFY(t.port.openedPorts.isEmpty());
    QVERIFY(!t.port.isOpen());
    QVERIFY(t.messages.shown.isEmpty());
    QCOMPARE(t.settings.writes, 0);
    QCOMPARE(t.window->StatusBar1().text(1),
             QStringLiteral("按“搜索变送器”键，开始搜索在线变送器！"));
}

void TestLifecycle::start_up_greets_and_sets_the_poll_flag() {
    TestWindow t;
    t.create();
    QCOMPARE(t.window->StatusBar1().text(1),
             QStringLiteral("按“搜索变送器”键，开始搜索在线变送器！"));
    QVERIFY(t.window->ReadTemperatureNext);
    QVERIFY(!t.window->Timer1().isActive());
}

void TestLifecycle::failing_port_choice_shows_the_reason_and_keeps_the_setting() {
    TestWindow t;
    t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), QStringLiteral("1"));
    t.port.missingPorts.insert(4);
    t.create();
    QVERIFY(t.port.isOpen());

    t.window->listSelection().select(t.control<QComboBox>("cmbCommPort"), 3);

    QVERIFY(!t.port.isOpen());
    QCOMPARE(t.messages.shown.size(), 1);
    QCOMPARE(t.messages.shown[0].text, portErrorText(t.port.lastError()));
    QVERIFY(t.messages.shown[0].text.contains(QLatin1String("COM4")));
    // An untitled box is titled with the application name by the box itself.
    QCOMPARE(t.messages.shown[0].title, QString());
    QCOMPARE(t.messages.shown[0].icon, MessageBoxes::Icon::Exclamation);
    QCOMPARE(t.settings.value("Transmitter", "CommPort"), QStringLiteral("1"));
}

void TestLifecycle::choosing_the_same_port_again_reopens_it() {
    TestWindow t;
    t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), QStringLiteral("3"));
    t.createShown();
    auto* list = t.control<QComboBox>("cmbCommPort");
    const int closesBefore = t.port.closeCount;

    // The user picks the entry that is already selected.
    emit list->activated(2);

    QCOMPARE(t.port.openedPorts, (QList<int>{3, 3}));
    QCOMPARE(t.port.closeCount, closesBefore + 1);
    QCOMPARE(t.settings.writes, 2);
}

void TestLifecycle::choice_keeps_the_line_settings_data() {
    QTest::addColumn<int>("fixedRate"); // 0: the tool sets the rate
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("band");
    QTest::newRow("rate set by the tool") << 0 << "2400,n,8,1" << -1;
    // The line runs at the server's rate, and the rate list shows it.
    QTest::newRow("rate fixed by the server") << 1200 << "1200,n,8,1" << 0;
}

void TestLifecycle::choice_keeps_the_line_settings() {
    QFETCH(int, fixedRate);
    QFETCH(QString, settings);
    QFETCH(int, band);
    TestWindow t;
    t.create();
    QVERIFY(t.port.setSettings(QStringLiteral("2400,N,8,1")));
    t.port.fixedRate = fixedRate;
    t.window->listSelection().select(t.control<QComboBox>("cmbCommPort"), 0);
    QVERIFY(t.port.isOpen());
    QCOMPARE(t.port.settings(), settings);
    QCOMPARE(t.control<QComboBox>("CMB_BAND")->currentIndex(), band);
    QVERIFY(t.messages.shown.isEmpty());
}

void TestLifecycle::close_is_refused_while_searching() {
    TestWindow t;
    t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), QStringLiteral("1"));
    t.createShown();
    auto* search = t.control<QPushButton>("cmdSEARCH");
    search->setText(QStringLiteral("停止"));

    QVERIFY(!t.window->close());
    QVERIFY(t.window->isVisible());
    QVERIFY(t.port.isOpen());
    QVERIFY(t.messages.shown.isEmpty());
    QCOMPARE(search->text(), QStringLiteral("停止"));

    search->setText(QStringLiteral("搜索变送器"));
    QVERIFY(t.window->close());
    QVERIFY(!t.port.isOpen());
}

void TestLifecycle::quit_closes_the_port_and_the_window() {
    TestWindow t;
    t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), QStringLiteral("1"));
    t.createShown();

    QTest::mouseClick(t.control<QPushButton>("COM_QUIT"), Qt::LeftButton);

    QVERIFY(!t.port.isOpen());
    QVERIFY(!t.window->isVisible());
    QCOMPARE(t.settings.value("Transmitter", "CommPort"), QStringLiteral("1"));
}

void TestLifecycle::quit_during_a_search_stops_it_first_data() {
    QTest::addColumn<bool>("deviceLost");
    QTest::newRow("port open") << false;
    // The port closed itself: quitting still works and shows nothing.
    QTest::newRow("device lost") << true;
}

void TestLifecycle::quit_during_a_search_stops_it_first() {
    QFETCH(bool, deviceLost);
    TestWindow t;
    t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), QStringLiteral("1"));
    t.createShown();
    if (deviceLost)
        t.port.loseDevice();
    auto* search = t.control<QPushButton>("cmdSEARCH");
    search->setText(QStringLiteral("停止"));
    t.window->Timer1().start(); // polling started by hand during the search

    t.window->findChild<QAction*>(QStringLiteral("Exit"))->trigger();

    // Stopped as the stop click stops it: polling off, caption back.
    QCOMPARE(search->text(), QStringLiteral("搜索变送器"));
    QVERIFY(!t.window->Timer1().isActive());
    QVERIFY(!t.port.isOpen());
    QVERIFY(!t.window->isVisible());
    QVERIFY(t.messages.shown.isEmpty());
}

void TestLifecycle::lost_device_is_named_and_a_new_choice_reopens() {
    TestWindow t;
    t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), QStringLiteral("1"));
    t.create();
    t.port.deviceName = QStringLiteral("/dev/ttyUSB7");

    t.port.loseDevice();
    QVERIFY(!t.port.isOpen());
    QCOMPARE(t.window->StatusBar1().text(1), QStringLiteral("串口已断开：/dev/ttyUSB7"));

    t.window->listSelection().select(t.control<QComboBox>("cmbCommPort"), 0);
    QVERIFY(t.port.isOpen());
    QCOMPARE(t.port.openedPorts, (QList<int>{1, 1}));
}

QTEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
