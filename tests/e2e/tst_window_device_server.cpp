// The window on a bus behind a real serial device server: port com1 mapped
// to ser2net's RFC 2217 accepter on loopback, in front of the simulator. The
// search finds each transmitter at its own rate through the server, the
// first one found is read in full, and the server going away is a lost
// adapter named by its address. The search takes its real time, a little
// over a minute plus the link's latency on every probe.

#include "link/clock.h"
#include "link/device_port.h"
#include "link/port_devices.h"
#include "support/fake_message_boxes.h"
#include "support/memory_settings_store.h"
#include "support/ser2net_process.h"
#include "support/simulator_process.h"
#include "ui/main_window.h"
#include "ui/status_panels.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QTest>
#include <QThread>

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
    std::unique_ptr<SimulatorProcess> m_simulator;
    std::unique_ptr<Ser2net> m_server;
    MemorySettingsStore m_settings;
    PortDevices m_devices{m_settings};
    DevicePort m_port{m_devices};
    SteadyClock m_clock;
    FakeMessageBoxes m_messages;
    std::unique_ptr<MainWindow> m_window;
};

void TestWindowDeviceServer::initTestCase() {
    const QString program = ser2netPath();
    if (program.isEmpty())
        QSKIP("ser2net is not installed (scripts/install-deps.sh installs it)");
    m_simulator = std::make_unique<SimulatorProcess>(QStringList{}, kBus);
    QVERIFY2(m_simulator->start(), qPrintable(m_simulator->errorString()));
    m_server = std::make_unique<Ser2net>(program, m_simulator->devicePath(), freeLoopbackPort());
    QVERIFY(m_server->start());
    m_settings.values.insert("Ports/com1", m_server->address());
    m_settings.values.insert("Transmitter/CommPort", "1");
    // ser2net takes a moment to listen; the window opens the port it finds
    // remembered at its start.
    m_port.setPortNumber(1);
    const QDeadlineTimer deadline(Ser2net::kPatienceMs);
    while (!m_port.open()) {
        QVERIFY2(!deadline.hasExpired(), qPrintable(m_port.errorString()));
        QThread::msleep(100);
    }
    m_port.close();
    m_window =
        std::make_unique<MainWindow>(WindowServices{m_port, m_settings, m_messages, m_clock});
    QVERIFY2(m_port.isOpen(), qPrintable(m_port.errorString()));
    QVERIFY(m_port.isNetwork());
}

void TestWindowDeviceServer::search_and_full_read_through_the_server() {
    m_window->cmdSEARCH_Click();
    auto* list = m_window->findChild<QComboBox*>("CMB_ADDR");
    QStringList listed;
    for (int i = 0; i < list->count(); ++i)
        listed.append(list->itemText(i));
    QCOMPARE(listed, (QStringList{"31", "07", "12"}));
    QCOMPARE(m_window->StatusBar1().text(2), QStringLiteral("在线变送器 3个"));
    // The first one found is read in full at its rate, set through the server.
    QCOMPARE(m_port.settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(m_window->findChild<QLineEdit*>("TXT_TYPE")->text(), QStringLiteral("PT-C"));
    QCOMPARE(m_window->findChild<QLineEdit*>("TXT_BAND")->text(), QStringLiteral("9600"));
}

void TestWindowDeviceServer::server_gone_is_a_lost_port_named_by_its_address() {
    m_server->stop();
    // A poll tick meets the closed connection, as it would a pulled adapter.
    m_window->cmdON_OFF_Click();
    QTRY_COMPARE_WITH_TIMEOUT(m_window->StatusBar1().text(1),
                              QStringLiteral("串口已断开：") + m_server->address(), 10'000);
    QVERIFY(!m_port.isOpen());
}

QTEST_MAIN(TestWindowDeviceServer)
#include "tst_window_device_server.moc"
