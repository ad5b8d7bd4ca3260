// Live measurement and zeroing against one transmitter on a fake port.

#include "link/frame.h"
#include "support/fake_bus.h"
#include "support/test_window.h"
#include "ui/status_panels.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

namespace {
struct PollFixture {
    TestWindow t;
    FakeBus bus{t.port};
    FakeTransmitter* transmitter = nullptr;

    PollFixture() {
        t.settings.values.insert("Transmitter/CommPort", "1");
        t.create();
        transmitter = &bus.add("01", 9600);
        fillTypicalValues(*transmitter);
        t.window->OnlineList = {{"01", 3}};
        t.control<QComboBox>("CMB_ADDR")->addItem("01");
        t.control<QComboBox>("CMB_ADDR")->setCurrentIndex(0);
    }
    QString text(const char* name) const { return t.control<QLineEdit>(name)->text(); }
    QString caption(const char* name) const { return t.control<QLabel>(name)->text(); }
    void onOff() { t.window->cmdON_OFF_Click(); }
    // A tick of the 250 ms timer: the interval passes first, as between
    // real ticks.
    void tick() {
        t.clock.advance(250);
        t.window->Timer1_Timer();
    }
    // The next pressure reading, sent at the next pressure tick.
    void pressure(const QString& value) { transmitter->values.insert("RP0", value); }
    void pressureTick(const QString& value) {
        pressure(value);
        if (t.window->ReadTemperatureNext)
            tick();
        tick();
    }
};
} // namespace

class TestPolling : public QObject {
    Q_OBJECT

private slots:
    void on_and_off();
    void alternation_starts_with_temperature_and_survives_stops();
    void replies_without_data_are_counted();
    void extremes_compare_numbers_data();
    void extremes_compare_numbers();
    void first_reading_becomes_the_maximum_only();
    void lost_readings_never_become_extremes();
    void reset_restarts_the_extremes();
    void hidden_fields_are_still_written();
    void elapsed_time_in_panel_4();
    void switching_on_needs_a_transmitter();
    void ticks_do_not_pile_up_behind_a_busy_handler();
    void ticks_skip_while_the_line_settles();
    void zero_sends_one_SZ_and_shows_its_reply();
};

void TestPolling::on_and_off() {
    PollFixture f;
    auto* button = f.t.control<QPushButton>("cmdON_OFF");
    f.t.control<QLabel>("Label19")->setText("5");
    f.onOff();
    QCOMPARE(button->text(), QStringLiteral("OFF"));
    QVERIFY(f.t.window->Timer1().isActive());
    QCOMPARE(f.t.window->Timer1().interval(), 250);
    QCOMPARE(f.caption("Label19"), QStringLiteral("0"));
    QCOMPARE(f.caption("Label20"), QStringLiteral("0"));
    f.onOff();
    QCOMPARE(button->text(), QStringLiteral("ON"));
    QVERIFY(!f.t.window->Timer1().isActive());
    QVERIFY(f.t.port.written.isEmpty());
}

void TestPolling::alternation_starts_with_temperature_and_survives_stops() {
    PollFixture f;
    f.onOff();
    f.tick();
    f.tick();
    f.tick();
    f.onOff();
    f.onOff();
    f.tick();
    QCOMPARE(f.bus.commandsTo("01"), (QStringList{"RT0", "RP0", "RT0", "RP0"}));
    QCOMPARE(f.t.port.written.at(1), QByteArray("$01RP033\r"));
    QCOMPARE(f.text("TXT_TEMPERATURE"), QStringLiteral("+21.5"));
    QCOMPARE(f.text("TXT_PRESSURE"), QStringLiteral("+012.3"));
}

void TestPolling::replies_without_data_are_counted() {
    PollFixture f;
    f.onOff();
    f.transmitter->rawReply.insert("RT0", frame::reply("01"));
    f.transmitter->rawReply.insert("RP0", frame::reply("01"));
    for (int i = 0; i < 6; ++i)
        f.tick();
    QCOMPARE(f.caption("Label19"), QStringLiteral("3"));
    QCOMPARE(f.caption("Label20"), QStringLiteral("3"));
    QCOMPARE(f.text("TXT_PRESSURE"), QStringLiteral("*01\r"));

    // Failures show " 0" and are not counted.
    f.transmitter->rawReply.clear();
    f.transmitter->silent = {"RT0", "RP0"};
    f.tick();
    f.tick();
    QCOMPARE(f.caption("Label19"), QStringLiteral("3"));
    QCOMPARE(f.caption("Label20"), QStringLiteral("3"));
    QCOMPARE(f.text("TXT_PRESSURE"), QStringLiteral(" 0"));
    QCOMPARE(f.text("TXT_TEMPERATURE"), QStringLiteral(" 0"));
}

void TestPolling::extremes_compare_numbers_data() {
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QString>("maximum");
    QTest::addColumn<QString>("minimum");
    QTest::newRow("numbers, not text") << QStringList{"99", "+0100.5", "+0005"} << "+0100.5"
                                       << "+0005";
    QTest::newRow("equal changes nothing") << QStringList{"+5.0", "+7", "5", "+7.00"} << "+7"
                                           << "+5.0";
    QTest::newRow("negative") << QStringList{"-1.5", "+2", "-3e0"} << "+2"
                              << "-3e0";
}

void TestPolling::extremes_compare_numbers() {
    QFETCH(QStringList, readings);
    QFETCH(QString, maximum);
    QFETCH(QString, minimum);
    PollFixture f;
    f.pressure(readings.first());
    f.t.window->cmdReFresh_Click(); // tracking restarts at the first reading
    for (const QString& r : readings.mid(1))
        f.pressureTick(r);
    QCOMPARE(f.text("txtMAX"), maximum);
    QCOMPARE(f.text("txtMIN"), minimum);
}

void TestPolling::first_reading_becomes_the_maximum_only() {
    PollFixture f;
    f.pressureTick("+12.0");
    QCOMPARE(f.text("txtMAX"), QStringLiteral("+12.0"));
    QCOMPARE(f.text("txtMIN"), QStringLiteral("+9999"));
    f.pressureTick("+11.0");
    QCOMPARE(f.text("txtMIN"), QStringLiteral("+11.0"));
}

void TestPolling::lost_readings_never_become_extremes() {
    PollFixture f;
    f.pressure("+12.0");
    f.t.window->cmdReFresh_Click();
    f.transmitter->silent.insert("RP0");
    f.pressureTick("+12.0");
    QCOMPARE(f.text("TXT_PRESSURE"), QStringLiteral(" 0"));
    f.transmitter->silent.clear();
    f.transmitter->rawReply.insert("RP0", "*01393\r"); // bad checksum
    f.pressureTick("+12.0");
    QCOMPARE(f.text("TXT_PRESSURE"), QStringLiteral(" 3"));
    f.transmitter->rawReply.insert("RP0", frame::reply("01"));
    f.pressureTick("+12.0");
    QCOMPARE(f.text("txtMAX"), QStringLiteral("+12.0"));
    QCOMPARE(f.text("txtMIN"), QStringLiteral("+12.0"));
}

void TestPolling::reset_restarts_the_extremes() {
    PollFixture f;
    f.pressureTick("+3.0");
    f.pressureTick("+9.0");
    f.t.window->cmdReset_Click();
    QCOMPARE(f.text("txtMAX"), QStringLiteral("+9.0"));
    QCOMPARE(f.text("txtMIN"), QStringLiteral("+9.0"));
    QVERIFY(f.t.port.written.size() == 4); // no exchange of its own

    f.transmitter->silent.insert("RP0");
    f.pressureTick("+1.0");
    f.t.window->cmdReset_Click();
    QCOMPARE(f.text("txtMAX"), QStringLiteral("-9999"));
    QCOMPARE(f.text("txtMIN"), QStringLiteral("+9999"));
}

void TestPolling::hidden_fields_are_still_written() {
    PollFixture f;
    QVERIFY(f.t.control("txtMAX")->isHidden());
    f.pressureTick("+4.5");
    QCOMPARE(f.text("TXT_TEMPERATURE"), QStringLiteral("+21.5"));
    QCOMPARE(f.text("txtMAX"), QStringLiteral("+4.5"));
}

void TestPolling::elapsed_time_in_panel_4() {
    PollFixture f;
    f.onOff();
    f.tick();
    QCOMPARE(f.t.window->StatusBar1().text(4), QStringLiteral("0:00:00"));
    f.t.clock.advance(3725 * 1000);
    f.tick();
    QCOMPARE(f.t.window->StatusBar1().text(4), QStringLiteral("1:02:05"));
    f.t.clock.advance(26 * 3600 * 1000);
    f.tick();
    QCOMPARE(f.t.window->StatusBar1().text(4), QStringLiteral("27:02:05"));
    // Switching on again starts from zero.
    f.onOff();
    f.onOff();
    f.tick();
    QCOMPARE(f.t.window->StatusBar1().text(4), QStringLiteral("0:00:00"));
}

void TestPolling::switching_on_needs_a_transmitter() {
    TestWindow t;
    t.create();
    t.window->cmdON_OFF_Click();
    QCOMPARE(t.control<QPushButton>("cmdON_OFF")->text(), QStringLiteral("ON"));
    QVERIFY(!t.window->Timer1().isActive());
    QVERIFY(t.window->StatusBar1().text(1).contains(QStringLiteral("搜索")));
}

void TestPolling::ticks_do_not_pile_up_behind_a_busy_handler() {
    PollFixture f;
    f.onOff();
    // A handler that keeps the thread for four intervals.
    QThread::msleep(1100);
    QCoreApplication::processEvents();
    QCOMPARE(f.t.port.written.size(), 1);
    f.onOff();
}

void TestPolling::ticks_skip_while_the_line_settles() {
    // A silent transmitter at 1200 baud: after each failed exchange the line
    // settles for 300 ms. A tick that comes meanwhile sends nothing and keeps
    // the window for no time; the alternation goes on where it stopped.
    PollFixture f;
    f.t.window->OnlineList = {{"01", 0}};
    QVERIFY(f.t.port.setSettings("1200,N,8,1"));
    f.transmitter->silent = {"RT0", "RP0"};
    f.onOff();
    QStringList sent;
    for (int i = 0; i < 8; ++i) {
        const qint64 before = f.t.clock.now;
        const qsizetype written = f.t.port.written.size();
        f.tick();
        const qint64 held = f.t.clock.now - before - 250;
        if (f.t.port.written.size() == written) {
            QCOMPARE(held, 0);
            sent << "-";
        } else {
            // One exchange: the time-out and a character of "RT0".
            QVERIFY2(held <= 310, qPrintable(QString::number(held)));
            sent << QString::fromLatin1(f.t.port.written.last().mid(3, 3));
        }
    }
    QCOMPARE(sent, (QStringList{"RT0", "-", "RP0", "-", "RT0", "-", "RP0", "-"}));
    f.onOff();
}

void TestPolling::zero_sends_one_SZ_and_shows_its_reply() {
    PollFixture f;
    f.pressure("+12.0");
    f.t.window->cmdReFresh_Click();
    f.bus.heard.clear();
    f.transmitter->values.insert("SZ", "+000.0");

    f.t.window->COM_SC_Click();
    QCOMPARE(f.bus.commandsTo("01"), QStringList{"SZ"});
    QCOMPARE(f.text("TXT_PRESSURE"), QStringLiteral("+000.0"));
    QCOMPARE(f.text("txtMAX"), QStringLiteral("+12.0"));
    QCOMPARE(f.text("txtMIN"), QStringLiteral("+12.0"));

    f.transmitter->silent.insert("SZ");
    f.t.window->COM_SC_Click();
    QCOMPARE(f.text("TXT_PRESSURE"), QStringLiteral(" 0"));
    QCOMPARE(f.text("txtMIN"), QStringLiteral("+12.0"));

    f.transmitter->silent.clear();
    f.transmitter->rawReply.insert("SZ", frame::reply("01"));
    f.t.window->COM_SC_Click();
    QCOMPARE(f.text("TXT_PRESSURE"), QStringLiteral("*01\r"));
    QVERIFY(!f.t.window->Timer1().isActive());
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
