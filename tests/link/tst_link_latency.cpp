// A port's latency (a device server on the network) lengthens the waits for
// a reply: the exchange's deadline and the wait after a failure.

#include "link/bus_line.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "support/fake_clock.h"
#include "support/fake_serial_port.h"

#include <QTest>

class TestLinkLatency : public QObject {
    Q_OBJECT

private slots:
    void reply_deadline_data();
    void reply_deadline();
    void wait_after_a_failure_data();
    void wait_after_a_failure();
};

void TestLinkLatency::reply_deadline_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("latency");
    QTest::addColumn<int>("replyAfterMs");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("silentWaitMs");
    const QString answer = QStringLiteral("*0101\r");
    const QString none = QStringLiteral("ERR 0\r");
    QTest::newRow("9600, none: just outside") << "9600,N,8,1" << 0 << 61 << none << 60;
    QTest::newRow("9600, 25 ms: taken") << "9600,N,8,1" << 25 << 84 << answer << 85;
    QTest::newRow("9600, 25 ms: just outside") << "9600,N,8,1" << 25 << 86 << none << 85;
    QTest::newRow("1200, 40 ms: taken") << "1200,N,8,1" << 40 << 339 << answer << 340;
    QTest::newRow("1200, 40 ms: just outside") << "1200,N,8,1" << 40 << 341 << none << 340;
}

void TestLinkLatency::reply_deadline() {
    QFETCH(QString, settings);
    QFETCH(int, latency);
    QFETCH(int, replyAfterMs);
    QFETCH(QString, result);
    QFETCH(int, silentWaitMs);

    FakeClock clock;
    FakeSerialPort port(clock);
    port.open();
    port.latency = latency;
    QVERIFY(port.setSettings(settings));
    port.responder = [&](const QByteArray&) {
        return QList<FakeSerialPort::Reply>{{frame::reply("0101"), replyAfterMs}};
    };
    QCOMPARE(Comm_Send(port, clock, "01", "AD"), result);

    port.responder = [](const QByteArray&) { return QList<FakeSerialPort::Reply>{}; };
    const qint64 start = clock.now;
    QCOMPARE(Comm_Send(port, clock, "01", "AD"), QStringLiteral("ERR 0\r"));
    QCOMPARE(clock.now - start, silentWaitMs);
}

void TestLinkLatency::wait_after_a_failure_data() {
    QTest::addColumn<int>("latency");
    QTest::addColumn<int>("waitMs");
    QTest::newRow("none: one time-out") << 0 << 60;
    QTest::newRow("25 ms: one time-out and the latency") << 25 << 85;
}

void TestLinkLatency::wait_after_a_failure() {
    QFETCH(int, latency);
    QFETCH(int, waitMs);
    FakeClock clock;
    FakeSerialPort port(clock);
    port.open();
    port.latency = latency;
    BusLine line(port, clock);
    qint64 writtenAt = -1;
    port.responder = [&](const QByteArray&) {
        writtenAt = clock.now;
        return QList<FakeSerialPort::Reply>{};
    };
    line.exchange("01", "RP0");
    const qint64 failedAt = clock.now;
    QCOMPARE(line.settleRemainingMs("01"), waitMs);
    line.exchange("01", "RP0");
    QCOMPARE(writtenAt - failedAt, waitMs);
}

QTEST_GUILESS_MAIN(TestLinkLatency)
#include "tst_link_latency.moc"
