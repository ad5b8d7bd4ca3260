// The simulator in this process on a real pseudo-terminal, driven through its
// control commands, with the test on the tool's end of the line.

#include "link/frame.h"
#include "simulator/bus_file.h"
#include "simulator/control.h"
#include "simulator/simulator.h"
#include "support/line_end.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

// Generous: only a hang should fail a test on a shared machine.
constexpr int kPatienceMs = 3000;
// Long enough for any reply of the default bus, at any rate, to have come.
constexpr int kQuietMs = 400;

struct Bench {
    sim::Trace trace;
    sim::Simulator simulator{sim::Bus(sim::defaultBus()), trace};
    sim::Control control{simulator};
    LineEnd tool;

    explicit Bench(speed_t speed = B9600) {
        QString error;
        if (!simulator.start(&error))
            qFatal("simulator: %s", qPrintable(error));
        if (!tool.open(simulator.devicePath(), speed))
            qFatal("cannot open %s", qPrintable(simulator.devicePath()));
    }

    QByteArray exchange(const QByteArray& address, const QByteArray& command) {
        tool.write(frame::request(address, command));
        return tool.readReply(kPatienceMs);
    }
    // For requests that must stay unanswered: waits out the longest reply.
    QByteArray unanswered(const QByteArray& address, const QByteArray& command) {
        tool.write(frame::request(address, command));
        return tool.readFor(kQuietMs);
    }
};

} // namespace

class TestControl : public QObject {
    Q_OBJECT

private slots:
    void unescape_undoes_the_trace_escapes_and_refuses_bad_ones();

    void baud_change_follows_the_acknowledgement();
    void a_slow_reply_arrives_character_by_character();
    void faults_come_and_go_on_command();
    void state_shows_settings_and_data_areas();
    void send_and_flood_write_raw_bytes();
    void mistakes_get_an_error_answer_data();
    void mistakes_get_an_error_answer();
};

void TestControl::unescape_undoes_the_trace_escapes_and_refuses_bad_ones() {
    QByteArray every;
    for (int i = 0; i < 256; ++i)
        every.append(char(i));
    QString error;
    QCOMPARE(sim::unescape(QString::fromLatin1(sim::Trace::escape(every)), &error), every);
    QCOMPARE(sim::Trace::escape("$01AD04\r"), QByteArray("$01AD04\\r"));
    QCOMPARE(sim::unescape(QStringLiteral("ab\\x00c\\r"), &error), QByteArray("ab\0c\r", 5));
    QCOMPARE(sim::unescape(QStringLiteral("\\0\\t\\\\"), &error), QByteArray("\0\t\\", 3));

    for (const QString& bad :
         {QStringLiteral("abc\\"), QStringLiteral("\\q"), QStringLiteral("\\x4"),
          QStringLiteral("\\xZZ"), QStringLiteral("\u20ac")}) {
        error.clear();
        QVERIFY2(!sim::unescape(bad, &error), qPrintable(bad));
        QVERIFY(!error.isEmpty());
    }
}

void TestControl::baud_change_follows_the_acknowledgement() {
    Bench b;
    // The acknowledgement still comes at the old rate...
    QCOMPARE(b.exchange("01", "BD2"), frame::reply("012"));
    // ...and from then on the transmitter listens at the new one.
    QCOMPARE(b.unanswered("01", "AD"), QByteArray());
    QVERIFY(b.tool.setSpeed(B4800));
    QCOMPARE(b.exchange("01", "AD"), QByteArray("*010100\r"));
    QCOMPARE(b.control.execute(QStringLiteral("state 01 4800")).left(1), QStringLiteral("{"));
}

void TestControl::a_slow_reply_arrives_character_by_character() {
    Bench b(B1200);
    // 44 characters out and 42 back, 8.3 ms each at 1200 baud: the reply
    // starts 375 ms after the request's CR and takes 342 ms more to its CR.
    const QByteArray model = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QByteArray request = frame::request("12", "TY" + model);
    QCOMPARE(request.size(), 44);
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    b.tool.write(request);
    QByteArray reply = b.tool.readBytes(1, kPatienceMs);
    const qint64 first = sinceWrite.elapsed();
    // The first read has the start of the reply, not all of it.
    QVERIFY2(!reply.contains('\r'), reply.constData());
    reply += b.tool.readReply(kPatienceMs);
    const qint64 last = sinceWrite.elapsed();
    QCOMPARE(reply, frame::reply("12" + model));
    // Not before the request has crossed the line; timers and clocks count
    // whole milliseconds, so allow two of them.
    QVERIFY2(first >= 366 - 2, qPrintable(QString::number(first)));
    // The tool sees the reply still coming in: a machine that is late with
    // the first character catches up, so only a loose part of 342 ms is sure.
    QVERIFY2(last - first >= 100, qPrintable(QStringLiteral("%1 %2").arg(first).arg(last)));
}

void TestControl::faults_come_and_go_on_command() {
    Bench b;
    QCOMPARE(b.control.execute(QStringLiteral("fault 01 VR bad-checksum")), QStringLiteral("ok"));
    QCOMPARE(b.exchange("01", "VR"), QByteArray("*01V2.1348\r"));
    // Other commands and other transmitters are not touched.
    QCOMPARE(b.exchange("01", "AD"), QByteArray("*010100\r"));

    QCOMPARE(b.control.execute(QStringLiteral("fault 01 * silent")), QStringLiteral("ok"));
    QCOMPARE(b.unanswered("01", "AD"), QByteArray());
    QCOMPARE(b.control.execute(QStringLiteral("fault 01 * none")), QStringLiteral("ok"));
    QCOMPARE(b.exchange("01", "VR"), QByteArray("*01V2.1348\r"));
    QCOMPARE(b.control.execute(QStringLiteral("clear-faults")), QStringLiteral("ok"));
    QCOMPARE(b.exchange("01", "VR"), QByteArray("*01V2.1349\r"));

    // Every answer goes wrong at rate 1, and nothing does once they are off.
    QCOMPARE(b.control.execute(QStringLiteral("random-faults 1 5")), QStringLiteral("ok"));
    QCOMPARE(b.simulator.bus().randomFaults().value().rate(), 1.0);
    QCOMPARE(b.control.execute(QStringLiteral("random-faults off")), QStringLiteral("ok"));
    QVERIFY(!b.simulator.bus().randomFaults().has_value());
}

void TestControl::state_shows_settings_and_data_areas() {
    Bench b;
    QCOMPARE(b.exchange("01", "DH+200.00"), frame::reply("01+200.00"));
    QCOMPARE(b.exchange("01", "WU"), frame::reply("01OK"));
    QCOMPARE(b.exchange("01", "DH+300.00"), frame::reply("01+300.00"));
    b.control.execute(QStringLiteral("fault 01 RP0 late"));
    QCOMPARE(b.control.execute(QStringLiteral("fault 01 RT0 late:15")), QStringLiteral("ok"));
    QCOMPARE(b.control.execute(QStringLiteral("turnaround 01 7")), QStringLiteral("ok"));

    const QString answer = b.control.execute(QStringLiteral("state 01"));
    QVERIFY2(!answer.contains(QLatin1Char('\n')), "state must be one line");
    const QJsonObject state = QJsonDocument::fromJson(answer.toUtf8()).object();
    QCOMPARE(state.value(QStringLiteral("address")).toString(), QStringLiteral("01"));
    QCOMPARE(state.value(QStringLiteral("baud")).toInt(), 9600);
    QCOMPARE(state.value(QStringLiteral("rangeHigh")).toString(), QStringLiteral("+300.00"));
    QCOMPARE(state.value(QStringLiteral("userArea"))[QStringLiteral("rangeHigh")].toString(),
             QStringLiteral("+200.00"));
    QCOMPARE(state.value(QStringLiteral("factoryArea"))[QStringLiteral("rangeHigh")].toString(),
             QStringLiteral("+250.00"));
    QCOMPARE(state.value(QStringLiteral("faults"))[QStringLiteral("RP0")].toString(),
             QStringLiteral("late"));
    QCOMPARE(state.value(QStringLiteral("faults"))[QStringLiteral("RT0")].toString(),
             QStringLiteral("late:15"));
    QCOMPARE(state.value(QStringLiteral("turnaround")).toInt(), 7);
    QVERIFY(state.value(QStringLiteral("pressureReading")).toString().startsWith(QLatin1Char('+')));
}

void TestControl::send_and_flood_write_raw_bytes() {
    Bench b;
    QCOMPARE(b.control.execute(QStringLiteral("send *01 x\\x00\\r")), QStringLiteral("ok"));
    QCOMPARE(b.tool.readReply(kPatienceMs), QByteArray("*01 x\0\r", 7));

    QCOMPARE(b.control.execute(QStringLiteral("flood 300")), QStringLiteral("ok"));
    const QByteArray junk = b.tool.readBytes(300, kPatienceMs);
    QCOMPARE(junk.size(), 300);
    QVERIFY(!junk.contains('\r'));
}

void TestControl::mistakes_get_an_error_answer_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown") << QStringLiteral("frob") << QStringLiteral("error: unknown command");
    QTest::newRow("nobody there") << QStringLiteral("fault 05 AD late")
                                  << QStringLiteral("error: no transmitter at 05");
    QTest::newRow("unknown fault")
        << QStringLiteral("fault 01 AD slow") << QStringLiteral("error: unknown fault slow");
    QTest::newRow("lateness negative")
        << QStringLiteral("fault 01 AD late:-3") << QStringLiteral("error: unknown fault late:-3");
    const QString turnaroundUsage = QStringLiteral("error: usage: turnaround ADDR MS");
    QTest::newRow("turnaround above 1000")
        << QStringLiteral("turnaround 01 1001") << turnaroundUsage;
    QTest::newRow("turnaround without MS") << QStringLiteral("turnaround 01") << turnaroundUsage;
    QTest::newRow("turnaround nobody there")
        << QStringLiteral("turnaround 05 10") << QStringLiteral("error: no transmitter at 05");
    QTest::newRow("state at other rate") << QStringLiteral("state 01 1200")
                                         << QStringLiteral("error: no transmitter at 01 with 1200");
    QTest::newRow("replug while plugged")
        << QStringLiteral("replug") << QStringLiteral("error: still plugged in");
    const QString randomUsage = QStringLiteral("error: usage: random-faults RATE SERIES");
    QTest::newRow("random rate above 1") << QStringLiteral("random-faults 1.5 1") << randomUsage;
    QTest::newRow("random rate no number") << QStringLiteral("random-faults nan 1") << randomUsage;
    QTest::newRow("random without series") << QStringLiteral("random-faults 0.1") << randomUsage;
    QTest::newRow("random series negative")
        << QStringLiteral("random-faults 0.1 -3") << randomUsage;
}

void TestControl::mistakes_get_an_error_answer() {
    QFETCH(QString, command);
    QFETCH(QString, error);
    Bench b;
    const QString answer = b.control.execute(command);
    QVERIFY2(answer.startsWith(error), qPrintable(answer));
}

QTEST_GUILESS_MAIN(TestControl)
#include "tst_control.moc"
