// tarnwick-cli on a bus behind a real serial device server: ser2net's
// RFC 2217 accepter on loopback in front of the simulator's default bus
// (01 at 9600, 07 at 4800, 12 at 1200 baud). Each transmitter answers only at
// its own rate, so every command that finds one proves the rate went through
// the server.

#include "support/cli_process.h"
#include "support/fake_device_server.h"
#include "support/ser2net_process.h"
#include "support/simulator_process.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <memory>

class TestCliDeviceServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void search_read_set_and_move();
    void poll_comes_back_after_the_server_restarts();
    void raw_server_at_a_fixed_rate();
    void rate_the_server_refuses_is_not_searched();
    void bad_addresses_are_refused_by_name_data();
    void bad_addresses_are_refused_by_name();

private:
    QStringList onServer(const QStringList& args) const {
        return QStringList{QStringLiteral("--port"), m_server->address()} + args;
    }
    std::unique_ptr<SimulatorProcess> m_simulator;
    std::unique_ptr<Ser2net> m_server;
};

void TestCliDeviceServer::initTestCase() {
    const QString program = ser2netPath();
    if (program.isEmpty())
        QSKIP("ser2net is not installed (scripts/install-deps.sh installs it)");
    m_simulator = std::make_unique<SimulatorProcess>();
    QVERIFY2(m_simulator->start(), qPrintable(m_simulator->errorString()));
    m_server = std::make_unique<Ser2net>(program, m_simulator->devicePath(), freeLoopbackPort());
    QVERIFY(m_server->start());
    // ser2net takes a moment to listen.
    const QDeadlineTimer deadline(Ser2net::kPatienceMs);
    while (runCli(onServer({"send", "01", "AD", "-b", "9600"})).exitCode != 0) {
        QVERIFY2(!deadline.hasExpired(), qPrintable(m_server->output()));
        QThread::msleep(100);
    }
}

void TestCliDeviceServer::search_read_set_and_move() {
    const CliRun search = runCli(onServer({"search", "-a", "1-13"}));
    QVERIFY2(search.exitCode == 0, qPrintable(describe(search)));
    QCOMPARE(search.out, QStringLiteral("01 9600\n07 4800\n12 1200\n"));

    const CliRun read = runCli(onServer({"-j", "read", "07"}));
    QVERIFY2(read.exitCode == 0, qPrintable(describe(read)));
    QCOMPARE(QJsonDocument::fromJson(read.out.toUtf8())["model"].toString(),
             QStringLiteral("PDS305G"));

    const CliRun set = runCli(onServer({"-j", "set", "12", "rangeHigh=20"}));
    QVERIFY2(set.exitCode == 0, qPrintable(describe(set)));
    QCOMPARE(QJsonDocument::fromJson(set.out.toUtf8())["applied"].toArray(),
             QJsonArray{"rangeHigh"});
    const QJsonObject state =
        QJsonDocument::fromJson(m_simulator->control("state 12").toUtf8()).object();
    QCOMPARE(state["rangeHigh"].toString().toDouble(), 20.0);

    // A new address and rate, confirmed there, then back again.
    const CliRun move = runCli(onServer({"move", "12", "--to", "13", "--rate", "2400"}));
    QVERIFY2(move.exitCode == 0, qPrintable(describe(move)));
    QVERIFY2(move.out.contains("12 is now 13 at 2400 baud"), qPrintable(move.out));
    const CliRun back =
        runCli(onServer({"move", "13", "-b", "2400", "--to", "12", "--rate", "1200"}));
    QVERIFY2(back.exitCode == 0, qPrintable(describe(back)));
}

void TestCliDeviceServer::poll_comes_back_after_the_server_restarts() {
    QProcess poll;
    poll.start(QStringLiteral(TARNWICK_CLI_PATH),
               onServer({"poll", "01", "-b", "9600", "-i", "200", "--csv"}));
    QVERIFY(poll.waitForStarted());
    QString out;
    QString err;
    const auto rows = [&] {
        out += QString::fromUtf8(poll.readAllStandardOutput());
        return out.count(QStringLiteral(",01,"));
    };
    QTRY_VERIFY_WITH_TIMEOUT(rows() >= 2, 10'000);
    m_server->stop();
    QTRY_VERIFY_WITH_TIMEOUT(
        (err += QString::fromUtf8(poll.readAllStandardError())).contains(" lost; reopening"),
        10'000);
    QVERIFY(m_server->start());
    QTRY_VERIFY_WITH_TIMEOUT(
        (err += QString::fromUtf8(poll.readAllStandardError())).contains(" reopened"), 15'000);
    // Readings come again by themselves.
    const int before = rows();
    QTRY_VERIFY_WITH_TIMEOUT(rows() >= before + 2 &&
                                 QRegularExpression(QStringLiteral(",01,kPa,[+-][0-9.]+,"))
                                     .globalMatch(out.mid(out.lastIndexOf('\n', -2)))
                                     .hasNext(),
                             15'000);
    ::kill(pid_t(poll.processId()), SIGINT);
    QVERIFY(poll.waitForFinished(10'000));
    QCOMPARE(poll.exitCode(), 130);
}

// ser2net's raw accepter, its line at 4800: only 07 can be reached, and
// nothing that would change the rate goes out.
void TestCliDeviceServer::raw_server_at_a_fixed_rate() {
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(), qPrintable(simulator.errorString()));
    Ser2net server(ser2netPath(), simulator.devicePath(), freeLoopbackPort(), true, 4800);
    QVERIFY(server.start());
    const auto onRaw = [&](const QStringList& args) {
        return runCli(QStringList{QStringLiteral("--port"), server.address()} + args);
    };
    const QDeadlineTimer deadline(Ser2net::kPatienceMs);
    while (onRaw({"send", "07", "AD"}).exitCode != 0) {
        QVERIFY2(!deadline.hasExpired(), qPrintable(server.output()));
        QThread::msleep(100);
    }

    const CliRun search = onRaw({"search", "-a", "1-13"});
    QVERIFY2(search.exitCode == 0, qPrintable(describe(search)));
    QCOMPARE(search.out, QStringLiteral("07 4800\n"));
    QVERIFY2(search.err.contains("tarnwick-cli: the baud rate of this port is fixed at 4800; only "
                                 "this rate is searched"),
             qPrintable(search.err));
    const CliRun set = onRaw({"-j", "set", "07", "rangeHigh=1.5"});
    QVERIFY2(set.exitCode == 0, qPrintable(describe(set)));
    QCOMPARE(QJsonDocument::fromJson(simulator.control("state 07").toUtf8())["rangeHigh"]
                 .toString()
                 .toDouble(),
             1.5);
    const CliRun poll = onRaw({"poll", "07", "-c", "2", "-i", "100", "--csv"});
    QVERIFY2(poll.exitCode == 0 && poll.out.count(",07,MPa,") == 2, qPrintable(describe(poll)));

    // Another rate is refused before anything goes out.
    const qsizetype frames = simulator.traceLines().size();
    for (const QStringList& args : QList<QStringList>{{"move", "07", "--rate", "9600"},
                                                      {"read", "07", "-b", "9600"},
                                                      {"send", "07", "BD3", "--yes"},
                                                      {"search", "-b", "9600"}}) {
        const CliRun refused = onRaw(args);
        QVERIFY2(refused.exitCode == 2 && refused.err.contains("fixed at 4800"),
                 qPrintable(describe(refused)));
    }
    QCOMPARE(simulator.traceLines().size(), frames);

    // A move of the address alone keeps the rate and is confirmed.
    const CliRun move = onRaw({"move", "07", "--to", "08"});
    QVERIFY2(move.exitCode == 0 && move.out.contains("07 is now 08 at 4800 baud"),
             qPrintable(describe(move)));
    QCOMPARE(onRaw({"move", "08", "--to", "07"}).exitCode, 0);
}

// A server that keeps its line at 9600 whatever it is asked: a search at
// 4800 would otherwise go out at 9600 and list what answers as at 4800.
void TestCliDeviceServer::rate_the_server_refuses_is_not_searched() {
    FakeDeviceServer server(FakeDeviceServer::Behaviour::FixedAt9600);
    const CliRun search = runCli({"--port", server.address(), "search", "-b", "4800", "-a", "1"});
    QVERIFY2(search.err.contains("the port did not take 4800 baud; it was not searched"),
             qPrintable(describe(search)));
    QVERIFY2(server.data().isEmpty(), server.data().constData());
}

void TestCliDeviceServer::bad_addresses_are_refused_by_name_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("errorHolds");
    QTest::newRow("no port number") << "rfc2217://127.0.0.1"
                                    << "rfc2217://127.0.0.1";
    QTest::newRow("port 0") << "rfc2217://127.0.0.1:0"
                            << "rfc2217://127.0.0.1:0";
    QTest::newRow("port beyond 65535") << "rfc2217://127.0.0.1:70000"
                                       << ":70000";
    QTest::newRow("no host") << "rfc2217://:4001"
                             << "rfc2217://:4001";
    QTest::newRow("an unknown scheme") << "telnet://127.0.0.1:4001"
                                       << "telnet://";
    QTest::newRow("a raw server at no rate of the bus") << "tcp://127.0.0.1:4001?baud=19200"
                                                        << "1200, 2400, 4800 or 9600";
    QTest::newRow("nothing listens")
        << QStringLiteral("rfc2217://127.0.0.1:%1").arg(freeLoopbackPort()) << "refused";
}

void TestCliDeviceServer::bad_addresses_are_refused_by_name() {
    QFETCH(QString, port);
    QFETCH(QString, errorHolds);
    const CliRun r = runCli({"--port", port, "read", "01", "-b", "9600"});
    QVERIFY2(r.exitCode == 2, qPrintable(describe(r)));
    QVERIFY2(r.err.contains(errorHolds), qPrintable(r.err));
    for (const QChar c : r.err)
        QVERIFY2(c.unicode() < 0x80, qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCliDeviceServer)
#include "tst_cli_device_server.moc"
