// The network port against a fake device server in a thread of its own:
// opening and the option negotiation, the rate's acknowledgement, frames
// with Telnet inside them, and a connection that breaks.

#include "cli/port_messages.h"
#include "link/exchange.h"
#include "link/network_port.h"
#include "support/fake_clock.h"
#include "support/fake_device_server.h"
#include "ui/port_error_text.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Behaviour = FakeDeviceServer::Behaviour;
using Kind = PortError::Kind;

namespace {

// Generous: the machine is shared, and only a hang should fail a test.
constexpr int kPatienceMs = 10000;
// Short, so the tests of a silent server do not take long.
constexpr int kAnswerTimeoutMs = 400;

const QByteArray kRequest = "$01RP0A2\r";

struct Bench {
    FakeDeviceServer server;
    NetworkPort port;
    QStringList lost;

    explicit Bench(Behaviour behaviour = Behaviour::Rfc2217)
        : server(behaviour) {
        port.setAddress(server.address());
        port.setAnswerTimeout(kAnswerTimeoutMs);
        port.setDeviceLostHandler([this](const QString& device) { lost.append(device); });
    }

    // Everything received until a CR, the port closing, or time is up.
    QByteArray receiveFrame() {
        QByteArray got;
        const QDeadlineTimer deadline(kPatienceMs);
        while (!got.contains('\r') && port.isOpen() && !deadline.hasExpired()) {
            port.waitForInput(int(deadline.remainingTime()));
            got += port.readAll();
        }
        return got;
    }
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

// A loopback port where nothing listens.
quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

// A listening socket that never accepts, its queue already full, so a
// further connection attempt gets no answer at all.
struct DeafListener {
    int listener = -1;
    QList<int> queued;
    quint16 port = 0;

    DeafListener() {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener, 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            queued.append(fd);
        }
        QThread::msleep(50);
    }
    ~DeafListener() {
        for (int fd : queued)
            ::close(fd);
        ::close(listener);
    }
};

} // namespace

Q_DECLARE_METATYPE(Behaviour)
Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(QList<Kind>)

class TestNetworkPort : public QObject {
    Q_OBJECT

private slots:
    void opens_and_sets_the_line_data();
    void opens_and_sets_the_line();
    void server_that_will_not_serve_the_line_data();
    void server_that_will_not_serve_the_line();
    void unreachable_server_data();
    void unreachable_server();
    void silent_host_is_given_up_at_the_connect_time_out();
    void silent_rate_change_closes_the_port();
    void another_rate_keeps_the_settings_in_force();
    void frames_with_telnet_inside_data();
    void frames_with_telnet_inside();
    void data_with_0xff_reaches_the_server_whole();
    void discarding_input_drops_it_here_and_at_the_server();
    void raw_server_keeps_its_rate_and_the_bytes_as_they_are();
    void raw_server_rate_declared_data();
    void raw_server_rate_declared();
    void lost_connection_data();
    void lost_connection();
};

void TestNetworkPort::opens_and_sets_the_line_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<quint32>("rate");
    QTest::newRow("9600") << "9600,N,8,1" << 9600u;
    QTest::newRow("1200") << "1200,N,8,1" << 1200u;
}

void TestNetworkPort::opens_and_sets_the_line() {
    QFETCH(QString, settings);
    QFETCH(quint32, rate);
    Bench bench;
    QVERIFY(bench.port.setSettings(settings));
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    QVERIFY(bench.port.isOpen());
    QCOMPARE(bench.port.lastError().kind, Kind::None);
    QVERIFY(portErrorText(bench.port.lastError()).isEmpty());
    QCOMPARE(bench.port.settings(), settings.toLower());
    QVERIFY(!bench.port.hasLineTiming());
    QCOMPARE(bench.port.latencyMs(), kDefaultNetworkLatencyMs);
    QCOMPARE(bench.server.rates(), QList<quint32>{rate});
    const QList<telnet::Command> commands = bench.server.commands();
    QVERIFY(commands.contains(telnet::Command{telnet::kWill, telnet::kOptionComPort, {}}));
    // 8 data bits, no parity, 1 stop bit.
    for (const QByteArray& set : {bytes({2, 8}), bytes({3, 1}), bytes({4, 1})})
        QVERIFY(commands.contains(telnet::Command{telnet::kSb, 44, set}));
    // Whatever the server held from before is purged, both ways.
    QVERIFY(bench.server.waitUntil([&] {
        return bench.server.commands().contains(telnet::Command{telnet::kSb, 44, bytes({12, 3})});
    }));

    // A change while open reaches the server at once.
    QVERIFY(bench.port.setSettings("1200,N,8,1"));
    QCOMPARE(bench.server.rates().last(), 1200u);
    QCOMPARE(bench.port.settings(), QStringLiteral("1200,n,8,1"));
    QVERIFY(bench.port.isOpen());
    QVERIFY(bench.lost.isEmpty());
}

void TestNetworkPort::server_that_will_not_serve_the_line_data() {
    QTest::addColumn<Behaviour>("behaviour");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("english");
    QTest::newRow("refuses the option")
        << Behaviour::RefusesOption << Kind::Rfc2217Refused << "does not speak RFC 2217";
    QTest::newRow("never agrees") << Behaviour::NeverAgrees << Kind::Rfc2217NoAgreement
                                  << "does not speak RFC 2217";
    QTest::newRow("never acknowledges the rate")
        << Behaviour::NeverAcknowledgesRate << Kind::OpenRateNotConfirmed << "did not acknowledge";
    QTest::newRow("sets another rate") << Behaviour::FixedAt9600 << Kind::OpenRateRefused
                                       << "refused the line settings 4800,n,8,1";
}

void TestNetworkPort::server_that_will_not_serve_the_line() {
    QFETCH(Behaviour, behaviour);
    QFETCH(Kind, kind);
    QFETCH(QString, english);
    Bench bench(behaviour);
    QVERIFY(bench.port.setSettings("4800,N,8,1"));
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!bench.port.open());
    QVERIFY2(elapsed.elapsed() < kPatienceMs, "the wait for the server was not bounded");
    QVERIFY(!bench.port.isOpen());
    QCOMPARE(bench.port.lastError().kind, kind);
    const QString address = bench.server.address();
    QVERIFY2(portErrorMessage(bench.port.lastError()).contains(english),
             qPrintable(portErrorMessage(bench.port.lastError())));
    QVERIFY2(portErrorMessage(bench.port.lastError()).contains(address),
             qPrintable(portErrorMessage(bench.port.lastError())));
    QVERIFY2(portErrorText(bench.port.lastError()).contains(address),
             qPrintable(portErrorText(bench.port.lastError())));
    // No quiet fallback: nothing was sent as data, and the server was let go.
    QCOMPARE(bench.server.data(), QByteArray());
    QVERIFY(bench.server.waitUntil([&] { return bench.server.disconnections() == 1; }));
    // A failed open is no loss of an open port.
    QVERIFY(bench.lost.isEmpty());
    bench.port.write(kRequest);
    QCOMPARE(bench.port.readAll(), QByteArray());
    QVERIFY(!bench.port.waitForInput(10));
}

void TestNetworkPort::unreachable_server_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QList<Kind>>("kinds");
    QTest::newRow("nothing listens") << QStringLiteral("rfc2217://127.0.0.1:%1").arg(closedPort())
                                     << QList<Kind>{Kind::ConnectRefused};
    // Where the resolver cannot be reached, the lookup runs into the bound.
    QTest::newRow("no such host") << "rfc2217://no-such-host.invalid:4001"
                                  << QList<Kind>{Kind::HostNotFound, Kind::LookupTimedOut};
    QTest::newRow("not an address") << "rfc2217://server" << QList<Kind>{Kind::BadAddress};
    QTest::newRow("raw server, nothing listens")
        << QStringLiteral("tcp://127.0.0.1:%1?baud=4800").arg(closedPort())
        << QList<Kind>{Kind::ConnectRefused};
}

void TestNetworkPort::unreachable_server() {
    QFETCH(QString, address);
    QFETCH(QList<Kind>, kinds);
    NetworkPort port;
    port.setAddress(address);
    port.setConnectTimeout(1000);
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!port.open());
    QVERIFY2(elapsed.elapsed() < kPatienceMs, "opening was not bounded by the connect time-out");
    QVERIFY2(kinds.contains(port.lastError().kind), qPrintable(portErrorMessage(port.lastError())));
    QVERIFY2(portErrorMessage(port.lastError()).contains(address),
             qPrintable(portErrorMessage(port.lastError())));
    QVERIFY2(portErrorText(port.lastError()).contains(address),
             qPrintable(portErrorText(port.lastError())));
    QVERIFY(!port.isOpen());
}

void TestNetworkPort::silent_host_is_given_up_at_the_connect_time_out() {
    const DeafListener deaf;
    NetworkPort port;
    const QString address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(deaf.port);
    port.setAddress(address);
    port.setConnectTimeout(500);
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!port.open());
    QVERIFY2(elapsed.elapsed() < kPatienceMs, "opening was not bounded by the connect time-out");
    QCOMPARE(port.lastError().kind, Kind::ConnectTimedOut);
    QVERIFY2(portErrorMessage(port.lastError()).contains(address),
             qPrintable(portErrorMessage(port.lastError())));
    QVERIFY2(portErrorText(port.lastError()).contains(address),
             qPrintable(portErrorText(port.lastError())));
}

void TestNetworkPort::silent_rate_change_closes_the_port() {
    Bench bench;
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    bench.server.setBehaviour(Behaviour::NeverAcknowledgesRate);
    QVERIFY(!bench.port.setSettings("4800,N,8,1"));
    QVERIFY(!bench.port.isOpen());
    QCOMPARE(bench.port.lastError().kind, Kind::RateNotConfirmed);
    QVERIFY2(portErrorText(bench.port.lastError()).contains(bench.server.address()),
             qPrintable(portErrorText(bench.port.lastError())));
    QCOMPARE(bench.lost, QStringList{bench.server.address()});
    QVERIFY(bench.server.waitUntil([&] { return bench.server.disconnections() == 1; }));
    // The settings asked for never came into force.
    QCOMPARE(bench.port.settings(), QStringLiteral("9600,n,8,1"));
}

void TestNetworkPort::another_rate_keeps_the_settings_in_force() {
    Bench bench(Behaviour::FixedAt9600);
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    QVERIFY(!bench.port.setSettings("2400,N,8,1"));
    QCOMPARE(bench.port.lastError().kind, Kind::RateRefused);
    QVERIFY2(portErrorMessage(bench.port.lastError()).contains("2400,n,8,1"),
             qPrintable(portErrorMessage(bench.port.lastError())));
    // Set back at the server, so the line and the port agree again.
    QCOMPARE(bench.server.rates(), (QList<quint32>{9600, 2400, 9600}));
    QCOMPARE(bench.port.settings(), QStringLiteral("9600,n,8,1"));
    QVERIFY(bench.port.isOpen());
    QVERIFY(bench.lost.isEmpty());

    // A server that will not even go back leaves the line at no known rate.
    Bench halving;
    QVERIFY2(halving.port.open(), qPrintable(portErrorMessage(halving.port.lastError())));
    halving.server.setBehaviour(Behaviour::HalvesRate);
    QVERIFY(!halving.port.setSettings("4800,N,8,1"));
    QCOMPARE(halving.server.rates(), (QList<quint32>{9600, 4800, 9600}));
    QVERIFY(!halving.port.isOpen());
    QCOMPARE(halving.lost, QStringList{halving.server.address()});
}

void TestNetworkPort::frames_with_telnet_inside_data() {
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("echoRefused");
    QTest::newRow("plain") << QByteArray("*01+101.3\r") << QByteArray("*01+101.3\r") << false;
    QTest::newRow("modem state notice in the middle")
        << QByteArray("*01+1") + bytes({255, 250, 44, 107, 0x30, 255, 240}) + "01.3\r"
        << QByteArray("*01+101.3\r") << false;
    QTest::newRow("line state notice and a no-operation")
        << QByteArray("*01") + bytes({255, 250, 44, 106, 0x60, 255, 240, 255, 241}) + "+101.3\r"
        << QByteArray("*01+101.3\r") << false;
    QTest::newRow("negotiation in the middle, answered")
        << QByteArray("*01+10") + bytes({255, 251, 1}) + "1.3\r" << QByteArray("*01+101.3\r")
        << true;
    QTest::newRow("0xFF as data") << QByteArray("*01") + bytes({255, 255}) + "\r"
                                  << QByteArray("*01") + bytes({255}) + "\r" << false;
}

void TestNetworkPort::frames_with_telnet_inside() {
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, frame);
    QFETCH(bool, echoRefused);
    Bench bench;
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    bench.server.answer(kRequest, raw);
    bench.port.write(kRequest);
    QCOMPARE(bench.receiveFrame(), frame);
    const telnet::Command refusal{telnet::kDont, 1, {}};
    if (echoRefused)
        QVERIFY(bench.server.waitUntil([&] { return bench.server.commands().contains(refusal); }));
    else
        QVERIFY(!bench.server.commands().contains(refusal));
    QCOMPARE(bench.server.data(), kRequest);
}

void TestNetworkPort::data_with_0xff_reaches_the_server_whole() {
    Bench bench;
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    bench.port.write(all);
    QVERIFY(bench.server.waitUntil([&] { return bench.server.data().size() >= all.size(); }));
    QCOMPARE(bench.server.data(), all);
    QVERIFY(bench.port.isOpen());
}

void TestNetworkPort::discarding_input_drops_it_here_and_at_the_server() {
    Bench bench;
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    bench.server.sendRaw("*07+0.85\r");
    QVERIFY(bench.port.waitForInput(kPatienceMs));
    bench.port.discardInput();
    QCOMPARE(bench.port.readAll(), QByteArray());
    const telnet::Command purge{telnet::kSb, 44, bytes({12, 1})};
    QVERIFY(bench.server.waitUntil([&] { return bench.server.commands().contains(purge); }));
    // The server's answer to the purge is no input.
    QVERIFY(!bench.port.waitForInput(100));
    QVERIFY(bench.port.isOpen());
}

void TestNetworkPort::raw_server_keeps_its_rate_and_the_bytes_as_they_are() {
    Bench bench(Behaviour::Raw);
    bench.port.setAddress(QStringLiteral("tcp://127.0.0.1:%1?baud=4800").arg(bench.server.port()));
    bench.port.setSettings(QStringLiteral("9600,N,8,1"));
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    QCOMPARE(bench.port.fixedBaud(), 4800);
    QCOMPARE(bench.port.settings(), QStringLiteral("4800,n,8,1"));

    // Another rate is refused and changes nothing; the line's own is taken.
    QVERIFY(!bench.port.setSettings(QStringLiteral("9600,N,8,1")));
    QCOMPARE(bench.port.lastError().kind, Kind::RateFixed);
    QVERIFY2(portErrorMessage(bench.port.lastError()).contains(QLatin1String("fixed at 4800")),
             qPrintable(portErrorMessage(bench.port.lastError())));
    QVERIFY(bench.port.isOpen());
    QCOMPARE(bench.port.settings(), QStringLiteral("4800,n,8,1"));
    QVERIFY(bench.port.setSettings(QStringLiteral("4800,N,8,1")));

    // No Telnet: 0xFF goes out and comes in single, a purge sends nothing.
    const QByteArray request = QByteArray("$01ID") + bytes({255}) + "\r";
    const QByteArray reply = QByteArray("*01") + bytes({255, 255}) + "\r";
    bench.server.answer(request, reply);
    bench.port.discardInput();
    bench.port.write(request);
    QCOMPARE(bench.receiveFrame(), reply);
    QVERIFY(bench.server.waitUntil([&] { return bench.server.data() == request; }));
    QVERIFY(bench.server.commands().isEmpty());
}

void TestNetworkPort::raw_server_rate_declared_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("baud"); // 0: refused
    QTest::newRow("nothing declared") << ""
                                      << "" << 9600;
    QTest::newRow("in the address") << "?baud=2400"
                                    << "" << 2400;
    QTest::newRow("in the setting") << ""
                                    << " 1200 " << 1200;
    QTest::newRow("both, agreeing") << "?baud=1200"
                                    << "1200" << 1200;
    QTest::newRow("both, disagreeing") << "?baud=1200"
                                       << "4800" << 0;
    QTest::newRow("setting no rate") << ""
                                     << "19200" << 0;
    QTest::newRow("setting with a unit") << ""
                                         << "4800bd" << 0;
}

void TestNetworkPort::raw_server_rate_declared() {
    QFETCH(QString, query);
    QFETCH(QString, setting);
    QFETCH(int, baud);
    Bench bench(Behaviour::Raw);
    bench.port.setPortNumber(3);
    bench.port.setAddress(QStringLiteral("tcp://127.0.0.1:%1").arg(bench.server.port()) + query);
    bench.port.setDeclaredBaud(setting);
    QCOMPARE(bench.port.fixedBaud(), baud);
    QCOMPARE(bench.port.open(), baud != 0);
    if (baud != 0) {
        QCOMPARE(bench.port.settings(), QStringLiteral("%1,n,8,1").arg(baud));
        return;
    }
    // Refused before any connection, naming the setting to correct.
    QCOMPARE(bench.port.lastError().kind,
             query.isEmpty() ? Kind::BadRateSetting : Kind::RateConflict);
    QVERIFY2(portErrorMessage(bench.port.lastError()).contains(QLatin1String("com3.baud=")),
             qPrintable(portErrorMessage(bench.port.lastError())));
    QCOMPARE(bench.server.connections(), 0);
}

void TestNetworkPort::lost_connection_data() {
    QTest::addColumn<QString>("when");
    QTest::newRow("in the middle of a reply") << "reply";
    QTest::newRow("between exchanges, seen by the next one") << "idle";
    QTest::newRow("between exchanges, seen by the event loop") << "event loop";
}

void TestNetworkPort::lost_connection() {
    QFETCH(QString, when);
    Bench bench;
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    FakeClock clock;

    if (when == "reply") {
        bench.server.answer(kRequest, "*01+10", true);
        bench.port.write(kRequest);
        QCOMPARE(bench.receiveFrame(), QByteArray("*01+10"));
    } else {
        bench.server.dropClient();
        if (when == "event loop")
            QTRY_COMPARE_WITH_TIMEOUT(bench.lost.size(), 1, kPatienceMs);
        else
            QCOMPARE(Comm_Send(bench.port, clock, "01", "RP0"), QStringLiteral("ERR 0\r"));
    }

    QVERIFY(!bench.port.isOpen());
    QCOMPARE(bench.port.lastError().kind, Kind::ConnectionLost);
    QVERIFY2(portErrorText(bench.port.lastError()).contains(bench.server.address()),
             qPrintable(portErrorText(bench.port.lastError())));
    QVERIFY2(portErrorMessage(bench.port.lastError()).contains(bench.server.address()),
             qPrintable(portErrorMessage(bench.port.lastError())));
    // Told once, whatever is tried on the closed port afterwards.
    QCOMPARE(bench.lost, QStringList{bench.server.address()});
    bench.port.write(kRequest);
    bench.port.readAll();
    bench.port.waitForInput(10);
    bench.port.discardInput();
    QTest::qWait(20);
    QCOMPARE(bench.lost.size(), 1);

    // The server is still there: opening again works.
    QVERIFY2(bench.port.open(), qPrintable(portErrorMessage(bench.port.lastError())));
    QVERIFY(bench.port.isOpen());
    QCOMPARE(bench.server.connections(), 2);
}

QTEST_GUILESS_MAIN(TestNetworkPort)
#include "tst_network_port.moc"
