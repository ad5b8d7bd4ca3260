// A complete search of a small simulated bus through the real serial layer,
// then live polling. The search takes its real time: 99 addresses at four
// rates, a little over a minute.

#include "link/reply_value.h"
#include "support/real_window.h"
#include "ui/list_selection.h"
#include "ui/status_panels.h"

#include <QRegularExpression>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
const QByteArray kBus = R"({"transmitters": [
    {"address": "07", "baud": 4800, "model": "PT-A", "unit": 3, "decimals": 2,
     "trim4mA": "+0012", "trim20mA": "-0007"},
    {"address": "12", "baud": 1200, "model": "PT-B"},
    {"address": "31", "baud": 9600, "model": "PT-C"}]})";
}

class TestSearchAndPoll : public QObject {
    Q_OBJECT

private slots:
    void search_lists_the_bus_and_reads_the_first();
    void polling_reads_the_live_transmitter();

private:
    RealWindow m_tool{kBus};
};

void TestSearchAndPoll::search_lists_the_bus_and_reads_the_first() {
    QVERIFY2(m_tool.start(), qPrintable(m_tool.line.simulator.errorString()));
    m_tool.window->cmdSEARCH_Click();

    auto* list = m_tool.control<QComboBox>("CMB_ADDR");
    QStringList listed;
    for (int i = 0; i < list->count(); ++i)
        listed.append(list->itemText(i));
    QCOMPARE(listed, (QStringList{"31", "07", "12"}));
    QCOMPARE(m_tool.window->OnlineList,
             (QList<OnlineTransmitter>{{"31", 3}, {"07", 2}, {"12", 0}}));
    QCOMPARE(m_tool.window->StatusBar1().text(1), QStringLiteral("变送器搜索完毕"));
    QCOMPARE(m_tool.window->StatusBar1().text(2), QStringLiteral("在线变送器 3个"));

    // The first one found is selected and read twice, at its own rate.
    QCOMPARE(list->currentText(), QStringLiteral("31"));
    QCOMPARE(m_tool.line.port.settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(m_tool.control<QLineEdit>("TXT_TYPE")->text(), QStringLiteral("PT-C"));
    QCOMPARE(m_tool.control<QLineEdit>("TXT_BAND")->text(), QStringLiteral("9600"));
    QCOMPARE(m_tool.line.frames().filter("heard $31VR").size(), 2);

    // Choosing another reads it at its rate; its trims come back once.
    m_tool.window->listSelection().select(list, 1);
    QCOMPARE(m_tool.line.port.settings(), QStringLiteral("4800,n,8,1"));
    QCOMPARE(m_tool.control<QLineEdit>("TXT_TYPE")->text(), QStringLiteral("PT-A"));
    QCOMPARE(m_tool.control<QLineEdit>("TXT_UNIT")->text(), QStringLiteral("Bar"));
    QCOMPARE(m_tool.control<QComboBox>("Cmb_DP")->currentText(), QStringLiteral("00.00"));
    const QStringList frames = m_tool.line.frames();
    QCOMPARE(frames.filter(QRegularExpression("^heard \\$07ZF\\+0012")).size(), 1);
    QCOMPARE(frames.filter(QRegularExpression("^heard \\$07FF-0007")).size(), 1);
}

void TestSearchAndPoll::polling_reads_the_live_transmitter() {
    QVERIFY(m_tool.window);
    auto* pressure = m_tool.control<QLineEdit>("TXT_PRESSURE");
    auto* temperature = m_tool.control<QLineEdit>("TXT_TEMPERATURE");
    pressure->setText("PRESSURE");
    temperature->setText("TEMPERATURE");
    const int heardBefore = int(m_tool.line.frames().filter("heard $07R").size());

    m_tool.window->cmdON_OFF_Click();
    QTest::qWait(1600);
    m_tool.window->cmdON_OFF_Click();

    // About six ticks in 1.6 s; a loaded machine may manage fewer.
    const QStringList polls = m_tool.line.frames().filter("heard $07R").mid(heardBefore);
    QVERIFY2(polls.size() >= 2, qPrintable(polls.join(", ")));
    QVERIFY(polls.first().startsWith("heard $07RT0"));
    QVERIFY(polls.at(1).startsWith("heard $07RP0"));
    QVERIFY(hasNumber(pressure->text()));
    QVERIFY(hasNumber(temperature->text()));
    QVERIFY(m_tool.window->StatusBar1().text(4).startsWith("0:00:0"));
    QCOMPARE(m_tool.control<QPushButton>("cmdON_OFF")->text(), QStringLiteral("ON"));
}

QTEST_MAIN(TestSearchAndPoll)
#include "tst_search_and_poll.moc"
