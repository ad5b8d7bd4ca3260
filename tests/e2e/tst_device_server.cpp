// The simulated bus behind a real serial device server: ser2net on loopback,
// its telnet(rfc2217) accepter in front of the simulator's pseudo-terminal,
// reached through the port the user picks by number and the core's
// exchange. Each transmitter of the default bus answers only at its own
// rate, so finding it proves the rate was set through the server; and the
// server going away and coming back is an adapter pulled out and plugged in.

#include "cli/port_messages.h"
#include "link/bus_line.h"
#include "link/clock.h"
#include "link/device_port.h"
#include "link/port_devices.h"
#include "support/memory_settings_store.h"
#include "support/ser2net_process.h"
#include "support/simulator_process.h"
#include "ui/port_error_text.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kPatienceMs = Ser2net::kPatienceMs;

// ser2net takes a moment to listen after it starts; opening is retried
// until then.
bool openWithin(SerialPort& port, int msecs) {
    const QDeadlineTimer deadline(msecs);
    while (!port.open()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

struct Transmitter {
    const char* address;
    int baud;
    const char* model;
};
const Transmitter kDefaultBus[] = {
    {"01", 9600, "PDS301"}, {"07", 4800, "PDS305G"}, {"12", 1200, "LT200"}};
const int kRates[] = {9600, 4800, 2400, 1200};

// ser2net in front of the device, and port com1 mapped to it.
struct Served {
    const quint16 tcpPort = freeLoopbackPort();
    Ser2net server;
    MemorySettingsStore settings;
    PortDevices devices{settings};
    DevicePort port{devices};

    Served(const QString& program, const QString& device)
        : server(program, device, tcpPort) {
        settings.setValue("Ports", "com1", server.address());
        port.setPortNumber(1);
    }
};

QString lineSettings(int baud) {
    return QStringLiteral("%1,N,8,1").arg(baud);
}

} // namespace

class TestDeviceServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void finds_each_transmitter_at_its_own_rate();
    void server_restart_is_a_lost_port_that_comes_back();
    void cleanupTestCase();

private:
    QString m_ser2net;
    SimulatorProcess* m_simulator = nullptr;
};

void TestDeviceServer::initTestCase() {
    m_ser2net = ser2netPath();
    if (m_ser2net.isEmpty())
        QSKIP("ser2net is not installed (scripts/install-deps.sh installs it)");
    m_simulator = new SimulatorProcess;
    QVERIFY2(m_simulator->start(), qPrintable(m_simulator->errorString()));
}

void TestDeviceServer::cleanupTestCase() {
    delete m_simulator;
}

void TestDeviceServer::finds_each_transmitter_at_its_own_rate() {
    Served served(m_ser2net, m_simulator->devicePath());
    QVERIFY(served.server.start());
    Ser2net& server = served.server;
    DevicePort& port = served.port;
    SteadyClock clock;
    BusLine line(port, clock);
    QVERIFY2(openWithin(port, kPatienceMs),
             qPrintable(portErrorMessage(port.lastError()) + server.output()));
    QVERIFY(port.isNetwork());

    for (const Transmitter& t : kDefaultBus) {
        const QString address = QString::fromLatin1(t.address);
        QStringList answeredAt;
        for (int rate : kRates) {
            QVERIFY(port.setSettings(lineSettings(rate)));
            const QString reply = line.exchange(address, QStringLiteral("AD"));
            if (reply == '*' + address + address + '\r')
                answeredAt.append(QString::number(rate));
            else
                QCOMPARE(reply, QStringLiteral("ERR 0\r"));
        }
        QCOMPARE(answeredAt, QStringList{QString::number(t.baud)});

        QVERIFY(port.setSettings(lineSettings(t.baud)));
        QCOMPARE(line.exchange(address, QStringLiteral("TY")),
                 '*' + address + QLatin1String(t.model) + '\r');
        const QString pressure = line.exchange(address, QStringLiteral("RP0"));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\*%1[+-][0-9.]+\r$").arg(address))
                     .match(pressure)
                     .hasMatch(),
                 qPrintable(pressure));
    }
    QVERIFY(port.isOpen());
}

void TestDeviceServer::server_restart_is_a_lost_port_that_comes_back() {
    Served served(m_ser2net, m_simulator->devicePath());
    QVERIFY(served.server.start());
    Ser2net& server = served.server;
    DevicePort& port = served.port;
    QStringList lost;
    port.setDeviceLostHandler([&](const QString& device) { lost.append(device); });
    SteadyClock clock;
    BusLine line(port, clock);
    QVERIFY2(openWithin(port, kPatienceMs),
             qPrintable(portErrorMessage(port.lastError()) + server.output()));
    QVERIFY(port.setSettings(lineSettings(4800)));
    QCOMPARE(line.exchange("07", "AD"), QStringLiteral("*0707\r"));

    server.stop();
    QCOMPARE(line.exchange("07", "AD"), QStringLiteral("ERR 0\r"));
    QVERIFY(!port.isOpen());
    QCOMPARE(lost, QStringList{server.address()});
    QCOMPARE(port.networkPort().lastError().kind, PortError::Kind::ConnectionLost);
    // While it is away, opening says so and names it.
    QVERIFY(!port.open());
    QVERIFY2(portErrorMessage(port.lastError()).contains(QString::number(served.tcpPort)),
             qPrintable(portErrorMessage(port.lastError())));

    QVERIFY(server.start());
    QVERIFY2(openWithin(port, kPatienceMs),
             qPrintable(portErrorMessage(port.lastError()) + server.output()));
    // The port keeps its settings across the loss, and sets them again.
    QCOMPARE(port.settings(), QStringLiteral("4800,n,8,1"));
    QCOMPARE(line.exchange("07", "AD"), QStringLiteral("*0707\r"));
    QCOMPARE(lost.size(), 1);
}

QTEST_GUILESS_MAIN(TestDeviceServer)
#include "tst_device_server.moc"
