// The bus search against transmitters on a fake port. The fake clock moves
// only while an exchange waits, so a whole search of 396 probes takes no real
// time.

#include "link/frame.h"
#include "support/fake_bus.h"
#include "support/test_window.h"
#include "ui/list_selection.h"
#include "ui/status_panels.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {
struct SearchFixture {
    TestWindow t;
    FakeBus bus{t.port};

    SearchFixture() {
        t.settings.values.insert("Transmitter/CommPort", "1");
        t.create();
    }
    QStringList listed() const {
        QStringList out;
        auto* list = t.control<QComboBox>("CMB_ADDR");
        for (int i = 0; i < list->count(); ++i)
            out.append(list->itemText(i));
        return out;
    }
    // The probes, as "address@baud".
    QStringList probes() const {
        QStringList out;
        for (const FakeBus::Heard& h : bus.heard)
            if (h.request.size() == 4 && h.request.endsWith("AD"))
                out.append(h.request.left(2) + '@' + h.settings.section(',', 0, 0));
        return out;
    }
    // Runs f from inside the search, before the probe of address at baud.
    void atProbe(const QString& address, const QString& baud, std::function<void()> f) {
        bus.onRequest = [=, this](const FakeBus::Heard& h) {
            if (h.request == address + "AD" && h.settings.startsWith(baud))
                QTimer::singleShot(0, t.window.get(), f);
        };
    }
    QString panel(int i) const { return t.window->StatusBar1().text(i); }
    int fullReads(const QString& address) const { return int(bus.commandsTo(address).count("VR")); }
};
} // namespace

class TestSearch : public QObject {
    Q_OBJECT

private slots:
    void probes_every_address_at_every_rate_fastest_first();
    void one_transmitter_at_4800();
    void list_follows_the_order_found();
    void empty_bus();
    void status_bar_during_the_search();
    void stop_click_ends_the_search_at_the_next_probe();
    void same_address_in_two_passes();
    void second_search_starts_from_an_empty_list();
    void closed_port_gives_a_message_and_stops_polling();
    void close_request_is_refused_while_searching();
    void quit_during_a_search_ends_it();
    void selection_between_probes_cannot_shift_the_rate();
    void only_the_doubled_address_counts();
    void how_a_search_ends_data();
    void how_a_search_ends();
    void rates_a_search_walks_data();
    void rates_a_search_walks();
};

void TestSearch::probes_every_address_at_every_rate_fastest_first() {
    SearchFixture f;
    f.t.window->cmdSEARCH_Click();

    const QStringList probes = f.probes();
    QCOMPARE(probes.size(), 396);
    QCOMPARE(probes.first(), QStringLiteral("01@9600"));
    QCOMPARE(probes.at(98), QStringLiteral("99@9600"));
    QCOMPARE(probes.at(99), QStringLiteral("01@4800"));
    QCOMPARE(probes.at(198), QStringLiteral("01@2400"));
    QCOMPARE(probes.last(), QStringLiteral("99@1200"));
    QVERIFY(!probes.contains("00@9600"));
    QCOMPARE(f.t.port.written.first(), QByteArray("$01AD04\r"));
    // Each silent probe costs one full time-out: 99 x (60 + 100 + 200 + 300).
    QVERIFY(f.t.clock.now - 1000 >= 99 * 660);
    QCOMPARE(f.t.control<QPushButton>("cmdSEARCH")->text(), QStringLiteral("搜索变送器"));
}

void TestSearch::one_transmitter_at_4800() {
    SearchFixture f;
    fillTypicalValues(f.bus.add("12", 4800));
    f.t.window->cmdSEARCH_Click();

    QCOMPARE(f.listed(), QStringList{"12"});
    QCOMPARE(f.t.window->OnlineList, (QList<OnlineTransmitter>{{"12", 2}}));
    // The passes at 2400 and 1200 still ran.
    QCOMPARE(f.probes().size(), 396);
    QCOMPARE(f.panel(1), QStringLiteral("变送器搜索完毕"));
    QCOMPARE(f.panel(2), QStringLiteral("在线变送器 1个"));
    QCOMPARE(f.panel(4), QStringLiteral("波特率:1200"));
    // Selected and read twice, at its own rate.
    QCOMPARE(f.t.control<QComboBox>("CMB_ADDR")->currentIndex(), 0);
    QCOMPARE(f.t.port.settings(), QStringLiteral("4800,n,8,1"));
    QCOMPARE(f.fullReads("12"), 2);
    QCOMPARE(f.bus.commandsTo("12").count("TY"), 4);
    QCOMPARE(f.t.control<QLineEdit>("TXT_TYPE")->text(), QStringLiteral("PT-200"));
    QCOMPARE(f.t.window->LastReply, QStringLiteral("ERR 0\r"));
}

void TestSearch::list_follows_the_order_found() {
    SearchFixture f;
    fillTypicalValues(f.bus.add("05", 1200));
    fillTypicalValues(f.bus.add("30", 9600));
    f.t.window->cmdSEARCH_Click();

    QCOMPARE(f.listed(), (QStringList{"30", "05"}));
    QCOMPARE(f.t.window->OnlineList, (QList<OnlineTransmitter>{{"30", 3}, {"05", 0}}));
    QCOMPARE(f.fullReads("30"), 2);
    QCOMPARE(f.fullReads("05"), 0);
    QCOMPARE(f.panel(2), QStringLiteral("在线变送器 2个"));
}

void TestSearch::empty_bus() {
    SearchFixture f;
    f.t.window->cmdSEARCH_Click();

    QVERIFY(f.listed().isEmpty());
    QVERIFY(f.t.window->OnlineList.isEmpty());
    QCOMPARE(f.panel(1), QStringLiteral("变送器搜索完毕"));
    QCOMPARE(f.panel(2), QStringLiteral("在线变送器0个"));
    QCOMPARE(f.panel(3), QStringLiteral("串口:COM1"));
    QCOMPARE(f.panel(4), QStringLiteral("波特率:"));
    QCOMPARE(f.t.port.written.size(), 396);
    // The port keeps the rate of the last pass.
    QCOMPARE(f.t.port.settings(), QStringLiteral("1200,n,8,1"));
}

void TestSearch::status_bar_during_the_search() {
    SearchFixture f;
    f.t.port.setPortNumber(3);
    f.bus.add("02", 4800);
    QStringList seen;
    f.bus.onRequest = [&](const FakeBus::Heard& h) {
        if (h.request == "07AD" && h.settings.startsWith("4800"))
            seen = QStringList{f.panel(1), f.panel(2), f.panel(3), f.panel(4)};
        if (h.request == "01AD" && h.settings.startsWith("9600"))
            QCOMPARE(f.panel(2), QStringLiteral("在线变送器 0个"));
    };
    f.t.window->cmdSEARCH_Click();

    QCOMPARE(seen,
             (QStringList{"正在搜索变送器：07", "在线变送器 1个", "串口:COM3", "波特率:4800"}));
}

void TestSearch::stop_click_ends_the_search_at_the_next_probe() {
    SearchFixture f;
    fillTypicalValues(f.bus.add("03", 9600));
    fillTypicalValues(f.bus.add("40", 1200));
    f.atProbe("05", "9600",
              [&] { QTest::mouseClick(f.t.control<QPushButton>("cmdSEARCH"), Qt::LeftButton); });
    f.t.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.t.window.get()));
    f.t.window->cmdSEARCH_Click();

    // The probe in progress counted; the next one never ran.
    QCOMPARE(f.probes(), (QStringList{"01@9600", "02@9600", "03@9600", "04@9600", "05@9600"}));
    QCOMPARE(f.listed(), QStringList{"03"});
    QCOMPARE(f.fullReads("03"), 2);
    QCOMPARE(f.t.control<QPushButton>("cmdSEARCH")->text(), QStringLiteral("搜索变送器"));
    QCOMPARE(f.panel(4), QStringLiteral("波特率:9600"));
}

void TestSearch::same_address_in_two_passes() {
    SearchFixture f;
    fillTypicalValues(f.bus.add("08", 9600));
    fillTypicalValues(f.bus.add("08", 2400));
    f.t.window->cmdSEARCH_Click();

    QCOMPARE(f.listed(), (QStringList{"08", "08"}));
    QCOMPARE(f.t.window->OnlineList, (QList<OnlineTransmitter>{{"08", 3}, {"08", 1}}));
}

void TestSearch::second_search_starts_from_an_empty_list() {
    SearchFixture f;
    fillTypicalValues(f.bus.add("11", 9600));
    fillTypicalValues(f.bus.add("22", 9600));
    f.t.window->cmdSEARCH_Click();
    QCOMPARE(f.listed(), (QStringList{"11", "22"}));

    f.bus.at("11").silent.insert("AD");
    f.t.window->cmdSEARCH_Click();
    QCOMPARE(f.listed(), QStringList{"22"});
    QCOMPARE(f.t.window->OnlineList, (QList<OnlineTransmitter>{{"22", 3}}));
    QCOMPARE(f.t.control<QComboBox>("CMB_ADDR")->currentText(), QStringLiteral("22"));
}

void TestSearch::closed_port_gives_a_message_and_stops_polling() {
    TestWindow t;
    t.create();
    t.window->Timer1().start();
    t.control<QPushButton>("cmdON_OFF")->setText("OFF");

    t.window->cmdSEARCH_Click();

    QCOMPARE(t.messages.shown.size(), 1);
    QCOMPARE(t.messages.shown[0].text, QStringLiteral("端口未选择或未打开！"));
    QCOMPARE(t.messages.shown[0].title, QStringLiteral("错误"));
    QCOMPARE(t.messages.shown[0].icon, MessageBoxes::Icon::Exclamation);
    QVERIFY(!t.window->Timer1().isActive());
    QCOMPARE(t.control<QPushButton>("cmdON_OFF")->text(), QStringLiteral("ON"));
    QVERIFY(t.port.written.isEmpty());
    QCOMPARE(t.control<QPushButton>("cmdSEARCH")->text(), QStringLiteral("搜索变送器"));
}

void TestSearch::close_request_is_refused_while_searching() {
    SearchFixture f;
    bool closed = true;
    f.atProbe("10", "4800", [&] { closed = f.t.window->close(); });
    f.t.window->show();
    f.t.window->cmdSEARCH_Click();

    QVERIFY(!closed);
    QVERIFY(f.t.window->isVisible());
    QCOMPARE(f.probes().size(), 396);
}

void TestSearch::quit_during_a_search_ends_it() {
    SearchFixture f;
    fillTypicalValues(f.bus.add("02", 9600));
    f.atProbe("04", "9600", [&] { f.t.window->COM_QUIT_Click(); });
    f.t.window->show();
    f.t.window->cmdSEARCH_Click();

    QCOMPARE(f.probes().size(), 4);
    QVERIFY(!f.t.port.isOpen());
    QVERIFY(!f.t.window->isVisible());
    // Nothing more went out once the port was closed.
    QCOMPARE(f.t.port.written.size(), 4);
}

void TestSearch::selection_between_probes_cannot_shift_the_rate() {
    SearchFixture f;
    fillTypicalValues(f.bus.add("10", 4800));
    fillTypicalValues(f.bus.add("50", 2400));
    // During the 2400 pass the engineer picks the transmitter found at 4800,
    // which moves the port to 4800 for its full read.
    f.atProbe("20", "2400", [&] {
        auto* list = f.t.control<QComboBox>("CMB_ADDR");
        list->setCurrentIndex(0);
        emit list->activated(0);
    });
    f.t.window->cmdSEARCH_Click();

    QCOMPARE(f.t.window->OnlineList, (QList<OnlineTransmitter>{{"10", 2}, {"50", 1}}));
    for (const QString& p : f.probes().mid(198, 99))
        QVERIFY2(p.endsWith("@2400"), qPrintable(p));
    QVERIFY(f.fullReads("10") >= 1);
}

void TestSearch::only_the_doubled_address_counts() {
    SearchFixture f;
    f.bus.add("06", 9600).rawReply.insert("AD", "*0605" + frame::checksum("0605") + "\r");
    f.bus.add("07", 9600).rawReply.insert("AD", "*0707" + QByteArray("0A") + "\r");
    f.bus.add("09", 9600); // answers correctly
    f.t.window->cmdSEARCH_Click();
    QCOMPARE(f.listed(), QStringList{"09"});
}

void TestSearch::how_a_search_ends_data() {
    QTest::addColumn<bool>("busTimed");
    QTest::addColumn<bool>("portTimed");
    // What the engineer or the hardware does before the probe of 20 at 9600.
    QTest::addColumn<QString>("event");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("panel1");
    QTest::addColumn<int>("fullReads");
    const QString done = QStringLiteral("变送器搜索完毕");
    const QString hint = QStringLiteral(
        "变送器搜索完毕：应答比线路传输所需的时间来得早，已被丢弃。若此串口是没有线路时序的虚拟"
        "连接，请在设置文件的 [Ports] 中设置 com1.lineTiming=false");
    QTest::newRow("timed bus, timed port") << true << true << "" << QStringList{"03"} << done << 2;
    // Every reply of an untimed bus is early: dropped on a timed port.
    QTest::newRow("untimed bus, timed port") << false << true << "" << QStringList{} << hint << 0;
    QTest::newRow("untimed bus, port marked")
        << false << false << "" << QStringList{"03"} << done << 2;
    // The selection the engineer made is made again at the end.
    QTest::newRow("first entry picked meanwhile")
        << true << true << "pick" << QStringList{"03"} << done << 3;
    // Nothing could answer the closing reads; panel 1 says why.
    QTest::newRow("device lost") << true << true << "lose" << QStringList{"03"}
                                 << QStringLiteral("串口已断开：/dev/ttyUSB0") << 0;
}

void TestSearch::how_a_search_ends() {
    QFETCH(bool, busTimed);
    QFETCH(bool, portTimed);
    QFETCH(QString, event);
    QFETCH(QStringList, listed);
    QFETCH(QString, panel1);
    QFETCH(int, fullReads);
    SearchFixture f;
    f.bus.lineTiming = busTimed;
    f.t.port.lineTiming = portTimed;
    fillTypicalValues(f.bus.add("03", 9600));
    f.atProbe("20", "9600", [&] {
        if (event == QLatin1String("pick"))
            f.t.window->listSelection().select(f.t.control<QComboBox>("CMB_ADDR"), 0);
        else if (event == QLatin1String("lose"))
            f.t.port.loseDevice();
    });
    f.t.window->cmdSEARCH_Click();

    QCOMPARE(f.listed(), listed);
    QCOMPARE(f.panel(1), panel1);
    QCOMPARE(f.fullReads("03"), fullReads);
    QCOMPARE(f.probes().size(), event == QLatin1String("lose") ? 20 : 396);
    QCOMPARE(f.t.control<QPushButton>("cmdSEARCH")->text(), QStringLiteral("搜索变送器"));
}

void TestSearch::rates_a_search_walks_data() {
    QTest::addColumn<int>("fixedRate");
    QTest::addColumn<QStringList>("rates");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("panel1"); // before the first probe
    QTest::addColumn<int>("refusedRate");
    const QString greeting = QStringLiteral("按“搜索变送器”键，开始搜索在线变送器！");
    QTest::newRow("rate set by the tool") << 0 << QStringList{"9600", "4800", "2400", "1200"}
                                          << QStringList{"30", "10"} << greeting << 0;
    // Behind a server that fixes the rate only that rate can answer.
    QTest::newRow("fixed at 4800")
        << 4800 << QStringList{"4800"} << QStringList{"10"}
        << QStringLiteral("该端口的波特率固定为 4800，只搜索此波特率") << 0;
    // Not at the rate before, where 10 would be listed again as at 2400.
    QTest::newRow("a rate the port refuses is not searched")
        << 0 << QStringList{"9600", "4800", "1200"} << QStringList{"30", "10"} << greeting << 2400;
}

void TestSearch::rates_a_search_walks() {
    QFETCH(int, fixedRate);
    QFETCH(QStringList, rates);
    QFETCH(QStringList, listed);
    QFETCH(QString, panel1);
    QFETCH(int, refusedRate);
    SearchFixture f;
    f.t.port.fixedRate = fixedRate;
    if (refusedRate)
        f.t.port.refusedRates.insert(refusedRate);
    f.t.window->cmbCommPort_Click();
    fillTypicalValues(f.bus.add("10", 4800));
    fillTypicalValues(f.bus.add("30", 9600));
    // Runs at the search's first check, before the first probe's panels.
    QString firstPanel1;
    QTimer::singleShot(0, f.t.window.get(), [&] { firstPanel1 = f.panel(1); });
    f.t.window->cmdSEARCH_Click();

    QCOMPARE(firstPanel1, panel1);
    QStringList walked;
    for (const QString& probe : f.probes())
        if (!walked.contains(probe.section('@', 1)))
            walked.append(probe.section('@', 1));
    QCOMPARE(walked, rates);
    QCOMPARE(f.probes().size(), 99 * int(rates.size()));
    QCOMPARE(f.listed(), listed);
    QCOMPARE(f.fullReads("10"), listed.startsWith("10") ? 2 : 0);
    // The port's own words say which rate it refused.
    QCOMPARE(f.t.messages.shown.size(), refusedRate ? 1 : 0);
    if (refusedRate)
        QVERIFY(f.t.messages.shown.first().text.contains(QString::number(refusedRate)));
    QCOMPARE(f.panel(1), QStringLiteral("变送器搜索完毕"));
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
