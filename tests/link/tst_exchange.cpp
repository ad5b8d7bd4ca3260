// One exchange against a scripted port whose clock moves only while the
// exchange waits.

#include "link/bus_line.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "support/fake_clock.h"
#include "support/fake_serial_port.h"

#include <QTest>

namespace {
using Reply = FakeSerialPort::Reply;

// A port at 9600,N,8,1 that answers every request with the given replies.
struct Line {
    FakeClock clock;
    FakeSerialPort port{clock};

    explicit Line(QList<Reply> replies = {}) {
        port.open();
        port.responder = [replies](const QByteArray&) { return replies; };
    }
    QString send(const QString& address = QStringLiteral("01"),
                 const QString& command = QStringLiteral("AD")) {
        return Comm_Send(port, clock, address, command);
    }
};
} // namespace

Q_DECLARE_METATYPE(QList<FakeSerialPort::Reply>)

class TestExchange : public QObject {
    Q_OBJECT

private slots:
    void steps_run_in_their_fixed_order();
    void valid_reply_returns_body_and_CR();
    void reply_is_taken_the_moment_its_CR_arrives();
    void time_out_follows_the_baud_rate_data();
    void time_out_follows_the_baud_rate();
    void time_out_covers_sending_the_request();
    void long_frames_get_their_wire_time_data();
    void long_frames_get_their_wire_time();
    void line_settles_after_a_failure_data();
    void line_settles_after_a_failure();
    void other_line_settings_read_exactly_once();
    void invalid_replies_data();
    void invalid_replies();
    void reply_split_over_many_reads();
    void late_reply_is_never_taken_by_the_next_exchange();
    void flood_without_CR_is_bounded();
    void frame_sooner_than_the_line_allows_is_stale_data();
    void frame_sooner_than_the_line_allows_is_stale();
    void early_frames_point_to_the_link_only_when_nothing_else_came_data();
    void early_frames_point_to_the_link_only_when_nothing_else_came();
    void closed_port_writes_nothing();
    void non_printable_text_is_never_written();
    void vanished_device_ends_the_wait();
};

void TestExchange::steps_run_in_their_fixed_order() {
    Line line({{frame::reply("0101"), 30}});
    line.send();
    QCOMPARE(line.port.written, QList<QByteArray>{"$01AD04\r"});
    // Both buffers are emptied before the write; reading follows it.
    QCOMPARE(line.port.calls.mid(0, 3), (QStringList{"discardInput", "discardOutput", "write"}));
    QVERIFY(!line.port.calls.mid(3).contains("write"));
    QVERIFY(!line.port.calls.mid(3).contains("discardInput"));
}

void TestExchange::valid_reply_returns_body_and_CR() {
    Line line({{QByteArray("*010100\r"), 30}});
    QCOMPARE(line.send(), QStringLiteral("*0101\r"));
}

void TestExchange::reply_is_taken_the_moment_its_CR_arrives() {
    Line line({{QByteArray("*0101"), 15}, {QByteArray("00\r"), 25}});
    const qint64 start = line.clock.now;
    QCOMPARE(line.send(), QStringLiteral("*0101\r"));
    QCOMPARE(line.clock.now - start, 25);
    // It slept in the port instead of polling: a read and a wait per arrival.
    QVERIFY(line.port.readCount <= 4);
}

void TestExchange::time_out_follows_the_baud_rate_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("timeout");
    QTest::newRow("9600") << "9600,N,8,1" << 60;
    QTest::newRow("4800") << "4800,n,8,1" << 100;
    QTest::newRow("2400") << "2400,N,8,1" << 200;
    QTest::newRow("1200") << "1200,N,8,1" << 300;
}

void TestExchange::time_out_follows_the_baud_rate() {
    QFETCH(QString, settings);
    QFETCH(int, timeout);
    QCOMPARE(replyTimeoutMs(settings), timeout);

    Line silent;
    QVERIFY(silent.port.setSettings(settings));
    const qint64 start = silent.clock.now;
    QCOMPARE(silent.send(), QStringLiteral("ERR 0\r"));
    QCOMPARE(silent.clock.now - start, timeout);
    QVERIFY(silent.port.readCount <= 3);

    // A reply just inside the time-out is taken, one just outside is not.
    Line inTime({{frame::reply("0101"), timeout - 1}});
    QVERIFY(inTime.port.setSettings(settings));
    QCOMPARE(inTime.send(), QStringLiteral("*0101\r"));
    Line late({{frame::reply("0101"), timeout + 1}});
    QVERIFY(late.port.setSettings(settings));
    QCOMPARE(late.send(), QStringLiteral("ERR 0\r"));
}

void TestExchange::time_out_covers_sending_the_request() {
    // The request takes 50 ms to go out; the reply 20 ms after that is past
    // the 60 ms that count from before the write.
    Line line({{frame::reply("0101"), 20}});
    line.port.writeDurationMs = 50;
    QCOMPARE(line.send(), QStringLiteral("ERR 0\r"));
}

// A reply as a real line carries it: its first character one turnaround
// after the request has arrived, then one character time after another.
static QList<Reply> onTheWire(const QByteArray& reply, qsizetype requestChars, int baud,
                              int turnaroundMs) {
    QList<Reply> pieces;
    const double charMs = 10000.0 / baud;
    for (qsizetype i = 0; i < reply.size(); ++i)
        pieces.append(
            {reply.mid(i, 1), qint64((requestChars + i + 1) * charMs + turnaroundMs + 0.999)});
    return pieces;
}

void TestExchange::long_frames_get_their_wire_time_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("reply"); // empty: silence
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("heldMs"); // the longest the exchange may take
    const QString id32 = QStringLiteral("ID") + QString(32, QLatin1Char('X'));
    const QByteArray echo32 = frame::reply("01" + QByteArray(32, 'X'));
    const QString echo32Text = QStringLiteral("*01") + QString(32, QLatin1Char('X')) + "\r";
    // A 32-character ID is a 40-character request and a 38-character echo:
    // about 320 ms of wire each at 1200 baud, more than the whole time-out.
    for (const int baud : {9600, 4800, 2400, 1200})
        QTest::addRow("32-character ID at %d", baud)
            << QStringLiteral("%1,N,8,1").arg(baud) << id32 << echo32 << echo32Text
            << int(replyDeadlineUs(baud, 40, 38) / 1000 + 1);
    // Silence costs the time-out and the wire time of a request longer than
    // the probe: exactly the time-out for "AD", a character more for "RP0".
    QTest::newRow("silent probe at 1200") << "1200,N,8,1"
                                          << "AD" << QByteArray() << "ERR 0\r" << 300;
    QTest::newRow("silent RP0 at 1200") << "1200,N,8,1"
                                        << "RP0" << QByteArray() << "ERR 0\r" << 309;
    // A peer that floods the line without a CR holds it for at most 40
    // counted characters.
    QTest::newRow("flood at 1200") << "1200,N,8,1"
                                   << "AD" << QByteArray(200, 'U') << "EER 3\r" << 300 + 267;
}

void TestExchange::long_frames_get_their_wire_time() {
    QFETCH(QString, settings);
    QFETCH(QString, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, result);
    QFETCH(int, heldMs);
    const int baud = settings.section(QLatin1Char(','), 0, 0).toInt();
    const QByteArray request = frame::request("01", command.toLatin1());
    Line line(onTheWire(reply, request.size(), baud, 15));
    QVERIFY(line.port.setSettings(settings));
    const qint64 start = line.clock.now;
    QCOMPARE(line.send(QStringLiteral("01"), command), result);
    QVERIFY2(line.clock.now - start <= heldMs, qPrintable(QString::number(line.clock.now - start)));
    if (reply.isEmpty())
        QCOMPARE(line.clock.now - start, heldMs);
}

void TestExchange::line_settles_after_a_failure_data() {
    QTest::addColumn<QString>("firstReply"); // to "01"
    QTest::addColumn<QString>("nextAddress");
    QTest::addColumn<QString>("nextSettings"); // the line's before the next exchange
    QTest::addColumn<qint64>("idleMs");        // between the two exchanges
    QTest::addColumn<int>("waitMs");           // before the next request goes out
    const QString same = QStringLiteral("9600,N,8,1");
    QTest::newRow("answered: no wait") << "answer"
                                       << "01" << same << 0LL << 0;
    QTest::newRow("silent: one time-out") << "silent"
                                          << "01" << same << 0LL << 60;
    QTest::newRow("invalid: one time-out") << "invalid"
                                           << "01" << same << 0LL << 60;
    QTest::newRow("another address's frame: one time-out") << "other"
                                                           << "01" << same << 0LL << 60;
    QTest::newRow("counted from the failure's end") << "silent"
                                                    << "01" << same << 45LL << 15;
    QTest::newRow("another address never waits") << "silent"
                                                 << "02" << same << 0LL << 0;
    QTest::newRow("another rate ends the wait") << "silent"
                                                << "01"
                                                << "4800,N,8,1" << 0LL << 0;
    QTest::newRow("the same rate set again does not") << "silent"
                                                      << "01"
                                                      << "9600,n,8,1" << 0LL << 60;
}

void TestExchange::line_settles_after_a_failure() {
    QFETCH(QString, firstReply);
    QFETCH(QString, nextAddress);
    QFETCH(QString, nextSettings);
    QFETCH(qint64, idleMs);
    QFETCH(int, waitMs);
    FakeClock clock;
    FakeSerialPort port(clock);
    port.open();
    BusLine line(port, clock);
    qint64 writtenAt = -1;
    int requests = 0;
    port.responder = [&](const QByteArray&) -> QList<Reply> {
        writtenAt = clock.now;
        if (++requests > 1)
            return {{frame::reply(nextAddress.toLatin1() + "+1.0"), 45}};
        if (firstReply == "answer")
            return {{frame::reply("01+1.0"), 25}};
        if (firstReply == "invalid")
            return {{"*01+1.000\r", 25}};
        if (firstReply == "other")
            return {{frame::reply("07+1.0"), 25}};
        // Silent here; its reply comes late, while the line settles.
        return {{frame::reply("01-9.9"), 70}};
    };
    line.exchange("01", "RP0");
    const qint64 firstEnd = clock.now;
    clock.advance(idleMs);
    QVERIFY(port.setSettings(nextSettings));
    QCOMPARE(line.settleRemainingMs(nextAddress), waitMs);
    // The late reply is dropped during the wait, never taken for this one's.
    const QString next = line.exchange(nextAddress, "RT0");
    QCOMPARE(next, QStringLiteral("*%1+1.0\r").arg(nextAddress));
    QCOMPARE(writtenAt - firstEnd - idleMs, waitMs);
}

void TestExchange::other_line_settings_read_exactly_once() {
    QCOMPARE(replyTimeoutMs(QStringLiteral("19200,N,8,1")), 0);
    QCOMPARE(replyTimeoutMs(QStringLiteral("9600,E,8,1")), 0);
    QCOMPARE(replyTimeoutMs(QStringLiteral("9600,N,7,1")), 0);

    Line waiting({{frame::reply("0101"), 0}});
    QVERIFY(waiting.port.setSettings(QStringLiteral("19200,N,8,1")));
    QCOMPARE(waiting.send(), QStringLiteral("*0101\r"));
    QCOMPARE(waiting.port.readCount, 1);

    Line slow({{frame::reply("0101"), 1}});
    QVERIFY(slow.port.setSettings(QStringLiteral("9600,E,8,1")));
    QCOMPARE(slow.send(), QStringLiteral("ERR 0\r"));
    QCOMPARE(slow.port.readCount, 1);
    QVERIFY(!slow.port.calls.contains("wait"));
}

void TestExchange::invalid_replies_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("result");
    QTest::newRow("wrong checksum") << QByteArray("*010101\r") << "EER 3\r";
    QTest::newRow("lower-case checksum")
        << QByteArray("*01Z") + frame::checksum("01Z").toLower() + '\r' << "EER 3\r";
    QTest::newRow("noise before the frame") << QByteArray("\x13\x00*010100\r", 9) << "EER 3\r";
    QTest::newRow("characters after the CR") << QByteArray("*010100\r\n") << "EER 3\r";
    QTest::newRow("five-character frame")
        << QByteArray("*1") + frame::checksum("1") + '\r' << "ERR 0\r";
    QTest::newRow("no CR by the time-out") << QByteArray("*010100") << "EER 3\r";
    QTest::newRow("short, no CR") << QByteArray("*01") << "ERR 0\r";
}

void TestExchange::invalid_replies() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, result);
    Line line({{bytes, 40}});
    QCOMPARE(line.send(), result);
}

void TestExchange::reply_split_over_many_reads() {
    QList<Reply> pieces;
    const QByteArray whole = frame::reply("07+0012.5");
    for (int i = 0; i < whole.size(); ++i)
        pieces.append({whole.mid(i, 1), 2 + 3 * i});
    Line line(pieces);
    QCOMPARE(line.send(QStringLiteral("07"), QStringLiteral("RP0")),
             QStringLiteral("*07+0012.5\r"));
}

void TestExchange::late_reply_is_never_taken_by_the_next_exchange() {
    FakeClock clock;
    FakeSerialPort port(clock);
    port.open();
    int request = 0;
    port.responder = [&](const QByteArray&) -> QList<Reply> {
        // The first reply comes 80 ms late, the second does not come at all.
        if (++request == 1)
            return {{frame::reply("01+001.00"), 80}};
        return {};
    };
    QCOMPARE(Comm_Send(port, clock, "01", "RP0"), QStringLiteral("ERR 0\r"));
    clock.advance(30); // the late reply arrives in between
    QCOMPARE(Comm_Send(port, clock, "01", "RT0"), QStringLiteral("ERR 0\r"));
}

void TestExchange::frame_sooner_than_the_line_allows_is_stale_data() {
    QTest::addColumn<bool>("lineTiming");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("framesTooEarly");
    QTest::addColumn<qint64>("msTooSoon"); // of the earliest dropped
    const QByteArray stale = frame::reply("01-0007");
    const QByteArray real = frame::reply("01+0012");
    // Request and reply take 16.7 ms at 9600 baud; a frame complete after
    // 2 ms was on its way before the request (a second transmitter's, or a
    // late one) and is dropped, and the real reply after it is taken.
    QTest::newRow("stale, then the reply")
        << true << "9600,N,8,1" << QList<Reply>{{stale, 2}, {real, 25}} << "*01+0012\r" << 1
        << qint64(19 - 2);
    QTest::newRow("stale alone is no reply")
        << true << "9600,N,8,1" << QList<Reply>{{stale, 1}} << "ERR 0\r" << 1 << qint64(19 - 1);
    // At 1200 baud the same pair takes 133 ms: 60 ms is too early there.
    QTest::newRow("too early at 1200")
        << true << "1200,N,8,1" << QList<Reply>{{stale, 60}, {real, 140}} << "*01+0012\r" << 1
        << qint64(158 - 60);
    QTest::newRow("reply in its own time")
        << true << "9600,N,8,1" << QList<Reply>{{real, 14}} << "*01+0012\r" << 0 << qint64(0);
    // A link without line timing takes the first complete frame, however
    // early: there every reply is.
    QTest::newRow("no line timing: at once")
        << false << "9600,N,8,1" << QList<Reply>{{real, 0}} << "*01+0012\r" << 0 << qint64(0);
    QTest::newRow("no line timing: first frame")
        << false << "1200,N,8,1" << QList<Reply>{{stale, 1}, {real, 2}} << "*01-0007\r" << 0
        << qint64(0);
}

void TestExchange::frame_sooner_than_the_line_allows_is_stale() {
    QFETCH(bool, lineTiming);
    QFETCH(QString, settings);
    QFETCH(QList<Reply>, replies);
    QFETCH(QString, result);
    QFETCH(int, framesTooEarly);
    QFETCH(qint64, msTooSoon);
    Line line(replies);
    line.port.lineTiming = lineTiming;
    QVERIFY(line.port.setSettings(settings));
    ExchangeNotes notes;
    QCOMPARE(Comm_Send(line.port, line.clock, "01", "ZF", &notes), result);
    QCOMPARE(notes.framesTooEarly, framesTooEarly);
    QCOMPARE(notes.mostMsTooSoon, msTooSoon);
}

void TestExchange::early_frames_point_to_the_link_only_when_nothing_else_came_data() {
    QTest::addColumn<QStringList>("exchanges"); // each "stale", "stale+reply" or "reply"
    QTest::addColumn<bool>("onlyEarly");
    QTest::addColumn<qint64>("framesTooEarly");
    // A late reply of an earlier run is one stale frame: the check did its
    // job, and switching it off would be the wrong advice.
    QTest::newRow("one stale frame") << QStringList{"stale"} << false << qint64(1);
    QTest::newRow("stale in two exchanges, nothing taken")
        << QStringList{"stale", "stale"} << true << qint64(2);
    QTest::newRow("stale in two exchanges, one reply taken")
        << QStringList{"stale", "stale+reply"} << false << qint64(2);
    QTest::newRow("replies only") << QStringList{"reply", "reply"} << false << qint64(0);
}

void TestExchange::early_frames_point_to_the_link_only_when_nothing_else_came() {
    QFETCH(QStringList, exchanges);
    QFETCH(bool, onlyEarly);
    QFETCH(qint64, framesTooEarly);
    Line line;
    QVERIFY(line.port.setSettings("9600,N,8,1"));
    BusLine bus(line.port, line.clock);
    for (const QString& e : exchanges) {
        QList<Reply> replies;
        if (e.startsWith("stale"))
            replies.append({frame::reply("01-0007"), 1});
        if (e.endsWith("reply"))
            replies.append({frame::reply("01+0012"), 25});
        line.port.responder = [replies](const QByteArray&) { return replies; };
        bus.exchange("01", "ZF");
        line.clock.advance(1000);
    }
    QCOMPARE(bus.onlyEarlyFrames(), onlyEarly);
    QCOMPARE(bus.framesTooEarly(), framesTooEarly);
    QCOMPARE(bus.mostMsTooSoon(), framesTooEarly ? qint64(19 - 1) : qint64(0));
}

void TestExchange::flood_without_CR_is_bounded() {
    Line line({{QByteArray(1 << 20, 'U'), 1}});
    QCOMPARE(line.send(), QStringLiteral("EER 3\r"));
}

void TestExchange::closed_port_writes_nothing() {
    Line line({{frame::reply("0101"), 0}});
    line.port.close();
    const qint64 start = line.clock.now;
    QCOMPARE(line.send(), QStringLiteral("ERR 0\r"));
    QVERIFY(line.port.written.isEmpty());
    QCOMPARE(line.clock.now, start);
}

void TestExchange::non_printable_text_is_never_written() {
    Line line({{frame::reply("0101"), 0}});
    for (const QString& command : {QStringLiteral("TY\r"), QStringLiteral("ID型号"),
                                   QStringLiteral("TY\x7f"), QStringLiteral("DL\t1")})
        QCOMPARE(line.send(QStringLiteral("01"), command), QStringLiteral("ERR 0\r"));
    QCOMPARE(line.send(QStringLiteral("0\n"), QStringLiteral("AD")), QStringLiteral("ERR 0\r"));
    QVERIFY(line.port.written.isEmpty());
}

void TestExchange::vanished_device_ends_the_wait() {
    Line line;
    line.port.responder = [&](const QByteArray&) {
        line.port.close(); // the adapter is pulled during the exchange
        return QList<Reply>{};
    };
    QCOMPARE(line.send(), QStringLiteral("ERR 0\r"));
    QVERIFY(line.port.readCount <= 2);
}

QTEST_APPLESS_MAIN(TestExchange)
#include "tst_exchange.moc"
