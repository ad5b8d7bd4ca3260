// tarnwick-cli on a bus behind a real serial device server: ser2net's
// RFC 2217 accepter on loopback in front of the simulator's default bus
// (01 at 9600, 07 at 4800, 12 at 1200 baud). Each transmitter answers only at
// its own rate, so every command that finds one proves the rate went through
// the server.

#include "support/cli_process.h"
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
