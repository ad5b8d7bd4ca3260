// The window on a bus behind a real serial device server: port com1 mapped
// to ser2net's RFC 2217 accepter on loopback, in front of the simulator. The
// search finds each transmitter at its own rate through the server, the
// first one found is read in full, and the server going away is a lost
// adapter named by its address. The search takes its real time, a little
// over a minute plus the link's latency on every probe.

#include "support/window_on_server.h"
#include "ui/status_panels.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <memory>

namespace {
const QByteArray kBus = R"({"transmitters": [
    {"address": "07", "baud": 4800, "model": "PT-A", "unit": 3, "decimals": 2},
    {"address": "12", "baud": 1200, "model": "PT-B"},
    {"address": "31", "baud": 9600, "model": "PT-C"}]})";
} // namespace

class TestWindowDeviceServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void search_and_full_read_through_the_server();
    void server_gone_is_a_lost_port_named_by_its_address();

private:
    WindowOnServer m_w;
};

void TestWindowDeviceServer::initTestCase() {
    const QString program = ser2netPath();
    if (program.isEmpty())
        QSKIP("ser2net is not installed (scripts/install-deps.sh installs it)");
    const QString problem = m_w.start(program, kBus);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(m_w.port.isNetwork());
}

void TestWindowDeviceServer::search_and_full_read_through_the_server() {
    m_w.window->cmdSEARCH_Click();
    auto* list = m_w.window->findChild<QComboBox*>("CMB_ADDR");
    QStringList listed;
    for (int i = 0; i < list->count(); ++i)
        listed.append(list->itemText(i));
    QCOMPARE(listed, (QStringList{"31", "07", "12"}));
    QCOMPARE(m_w.window->StatusBar1().text(2), QStringLiteral("在线变送器 3个"));
    // The first one found is read in full at its rate, set through the server.
    QCOMPARE(m_w.port.settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(m_w.window->findChild<QLineEdit*>("TXT_TYPE")->text(), QStringLiteral("PT-C"));
    QCOMPARE(m_w.window->findChild<QLineEdit*>("TXT_BAND")->text(), QStringLiteral("9600"));
}

void TestWindowDeviceServer::server_gone_is_a_lost_port_named_by_its_address() {
    m_w.server->stop();
    // A poll tick meets the closed connection, as it would a pulled adapter.
    m_w.window->cmdON_OFF_Click();
    QTRY_COMPARE_WITH_TIMEOUT(m_w.window->StatusBar1().text(1),
                              QStringLiteral("串口已断开：") + m_w.server->address(), 10'000);
    QVERIFY(!m_w.port.isOpen());
}

QTEST_MAIN(TestWindowDeviceServer)
#include "tst_window_device_server.moc"
