// The bus: which frames a transmitter takes, who hears a request at which
// rate, collisions, and when the replies are due.

#include "link/frame.h"
#include "simulator/bus.h"
#include "simulator/bus_file.h"
#include "simulator/outgoing_reply.h"

#include <QTest>

#include <set>

using sim::Bus;
using sim::FaultKind;

namespace {

// 01 at 9600, 07 at 4800, 12 at 1200.
Bus defaultBus() {
    return Bus(sim::defaultBus());
}

// One transmitter, 05, at this rate and turnaround.
Bus busOfOne(int baud, int turnaroundMs) {
    sim::Transmitter t("05", baud, sim::Settings{}, "V1.00", 0, 0);
    t.setTurnaroundMs(turnaroundMs);
    return Bus({t});
}

} // namespace

class TestBus : public QObject {
    Q_OBJECT

private slots:
    void requests_are_taken_only_when_exact_data();
    void requests_are_taken_only_when_exact();
    void splitter_cuts_at_each_cr_and_bounds_junk();

    void unanswered_frames_say_why_data();
    void unanswered_frames_say_why();
    void the_reply_echoes_the_address_the_request_reached();
    void baud_change_rides_on_the_reply();

    void replies_take_the_time_of_the_line();
    void reply_timing_data();
    void reply_timing();
    void colliding_replies_go_out_one_after_the_other();
    void outgoing_reply_gives_the_characters_that_are_due_data();
    void outgoing_reply_gives_the_characters_that_are_due();
    void a_silent_transmitter_does_not_act_on_the_request();
    void random_faults_fill_in_where_no_fault_is_set();
};

void TestBus::requests_are_taken_only_when_exact_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("command"); // "<none>": not taken
    QTest::newRow("probe") << QByteArray("$01AD04\r") << QByteArray("AD");
    QTest::newRow("with payload") << frame::request("07", "DL+000.00") << QByteArray("DL+000.00");
    QTest::newRow("junk before the start")
        << QByteArray("\x00\xFFz", 3) + frame::request("12", "RP0") << QByteArray("RP0");
    QTest::newRow("lower-case checksum") << QByteArray("$07ZF1b\r") << QByteArray("<none>");
    QTest::newRow("wrong checksum") << QByteArray("$01AD05\r") << QByteArray("<none>");
    QTest::newRow("too short") << QByteArray("$013\r") << QByteArray("<none>");
    QTest::newRow("address 00") << frame::request("00", "AD") << QByteArray("<none>");
    QTest::newRow("no CR") << QByteArray("$01AD04") << QByteArray("<none>");
}

void TestBus::requests_are_taken_only_when_exact() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, command);
    QString why;
    const std::optional<sim::Request> request = sim::parseRequest(frame, &why);
    QCOMPARE(request ? request->command : QByteArray("<none>"), command);
    QCOMPARE(why.isEmpty(), bool(request));
}

void TestBus::splitter_cuts_at_each_cr_and_bounds_junk() {
    sim::FrameSplitter splitter;
    QCOMPARE(splitter.feed("$01AD"), QList<QByteArray>());
    QCOMPARE(splitter.feed("04\r$07"), QList<QByteArray>{"$01AD04\r"});
    QCOMPARE(splitter.feed("AD02\r\r"), (QList<QByteArray>{"$07AD02\r", "\r"}));

    // Junk without a CR comes out in bounded pieces instead of piling up.
    const QList<QByteArray> junk = splitter.feed(QByteArray(600, 'x'));
    QCOMPARE(junk.size(), 2);
    QCOMPARE(junk[0].size(), sim::FrameSplitter::kMaxFrame);
    QCOMPARE(splitter.feed("\r").value(0).size(), 600 - 2 * sim::FrameSplitter::kMaxFrame + 1);
}

void TestBus::unanswered_frames_say_why_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("note");
    QTest::newRow("bad checksum") << QByteArray("$01AD05\r") << 9600
                                  << QStringLiteral("ignored: bad checksum");
    QTest::newRow("rate nobody uses") << frame::request("01", "AD") << 38400
                                      << QStringLiteral("no answer: no transmitter listens at "
                                                        "38400 baud");
    QTest::newRow("nobody there") << frame::request("05", "AD") << 9600
                                  << QStringLiteral("no answer: no transmitter at 05");
    QTest::newRow("other rate") << frame::request("07", "AD") << 9600
                                << QStringLiteral("no answer: 07 listens at 4800 baud");
    QTest::newRow("unknown command") << frame::request("01", "XX") << 9600
                                     << QStringLiteral("no answer: 01 does not answer this "
                                                       "command");
}

void TestBus::unanswered_frames_say_why() {
    QFETCH(QByteArray, frame);
    QFETCH(int, baud);
    QFETCH(QString, note);
    Bus bus = defaultBus();
    const sim::Hearing heard = bus.hear(frame, baud, 0);
    QVERIFY(heard.replies.empty());
    QCOMPARE(heard.note, note);
}

void TestBus::the_reply_echoes_the_address_the_request_reached() {
    Bus bus = defaultBus();
    const sim::Hearing heard = bus.hear(frame::request("01", "AD42"), 9600, 0);
    QCOMPARE(heard.replies.at(0).bytes, frame::reply("0142"));
    QVERIFY(bus.hear(frame::request("01", "AD"), 9600, 0).replies.empty());
    QCOMPARE(bus.hear(frame::request("42", "AD"), 9600, 0).replies.at(0).bytes,
             QByteArray("*424200\r"));
}

void TestBus::baud_change_rides_on_the_reply() {
    Bus bus = defaultBus();
    const sim::Hearing heard = bus.hear(frame::request("01", "BD1"), 9600, 0);
    QCOMPARE(heard.replies.at(0).bytes, frame::reply("011"));
    QCOMPARE(heard.replies.at(0).baudAfter, std::optional<int>(2400));
    // Whoever writes the reply changes the rate after it; until then the
    // transmitter still listens at the old one.
    QCOMPARE(bus.transmitters()[0].baud(), 9600);
}

void TestBus::replies_take_the_time_of_the_line() {
    // 8 characters, 10 bits a character.
    QCOMPARE(sim::lineTimeUs(8, 9600), 8333);
    QCOMPARE(sim::lineTimeUs(8, 1200), 66666);

    Bus bus = defaultBus();
    const QByteArray request = frame::request("12", "TY");
    const sim::Hearing heard = bus.hear(request, 1200, 0);
    const sim::ScheduledReply& reply = heard.replies.at(0);
    // Without turnaround the CR goes out once request and reply have crossed
    // the line, give or take the rounding of one character's time.
    const qint64 both = sim::lineTimeUs(request.size() + reply.bytes.size(), 1200);
    QVERIFY2(qAbs(reply.lastUs() - both) < 100, qPrintable(QString::number(reply.lastUs())));
    // Still inside the tool's 300 ms at 1200 baud, or a full read would fail.
    QVERIFY(reply.lastUs() < sim::toolTimeoutMs(1200) * 1000);
}

void TestBus::reply_timing_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("turnaround");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("lineTiming");
    QTest::addColumn<qint64>("firstUs");
    QTest::addColumn<qint64>("charUs");
    // The request "$05VR..\r" has 8 characters; at 1200 baud that is 66.7 ms,
    // and the first reply character takes another 8.3 ms.
    QTest::newRow("9600") << 9600 << 0 << "none" << true << qint64(9375) << qint64(1041);
    QTest::newRow("1200, turnaround 25")
        << 1200 << 25 << "none" << true << qint64(100000) << qint64(8333);
    // A request of the probe's size: the tool's deadline is the rate's time-out.
    QTest::newRow("late:15 at 1200, turnaround not added")
        << 1200 << 25 << "late:15" << true << qint64(315000) << qint64(8333);
    QTest::newRow("plain late at 4800, whole")
        << 4800 << 25 << "late" << true << qint64(140000) << qint64(0);
    QTest::newRow("no line timing, no turnaround")
        << 1200 << 25 << "none" << false << qint64(0) << qint64(0);
    QTest::newRow("no line timing, plain late")
        << 4800 << 0 << "late" << false << qint64(140000) << qint64(0);
    QTest::newRow("no line timing, split a byte a millisecond")
        << 2400 << 0 << "split" << false << qint64(0) << qint64(1000);
}

void TestBus::reply_timing() {
    QFETCH(int, baud);
    QFETCH(int, turnaround);
    QFETCH(QString, fault);
    QFETCH(bool, lineTiming);
    QFETCH(qint64, firstUs);
    QFETCH(qint64, charUs);
    Bus bus = busOfOne(baud, turnaround);
    bus.setLineTiming(lineTiming);
    bus.transmitters()[0].faults().set("VR", sim::faultFromName(fault).value());
    const QByteArray request = frame::request("05", "VR");
    QCOMPARE(request.size(), 8);
    const sim::Hearing heard = bus.hear(request, baud, 0);
    const sim::ScheduledReply& reply = heard.replies.at(0);
    QCOMPARE(reply.timing.firstUs, firstUs);
    QCOMPARE(reply.timing.charUs, charUs);
    QCOMPARE(reply.split, fault == QLatin1String("split"));
}

void TestBus::colliding_replies_go_out_one_after_the_other() {
    const QByteArray json = R"({"transmitters": [
        {"address": "30", "baud": 1200, "model": "A"},
        {"address": "30", "baud": 1200, "model": "BB"}]})";
    QString error;
    Bus bus(sim::busFromJson(json, &error).value());
    const QByteArray request = frame::request("30", "TY");
    sim::Hearing heard = bus.hear(request, 1200, 0);
    QCOMPARE(heard.replies.size(), std::size_t(2));
    const sim::ScheduledReply& first = heard.replies[0];
    const sim::ScheduledReply& second = heard.replies[1];
    QCOMPARE(first.bytes, frame::reply("30A"));
    QCOMPARE(first.timing.firstUs, sim::lineTimeUs(request.size() + 1, 1200));
    // The second starts a character after the first's CR, at the line's pace.
    QCOMPARE(second.timing.firstUs, first.lastUs() + first.timing.charUs);

    // A first reply late by a second leaves the line free until then.
    bus.transmitters()[0].faults().set("TY", sim::faultFromName("late:1000").value());
    heard = bus.hear(request, 1200, 0);
    QCOMPARE(heard.replies[1].timing.firstUs, sim::lineTimeUs(request.size() + 1, 1200));
    QVERIFY(heard.replies[1].lastUs() < heard.replies[0].timing.firstUs);
}

void TestBus::outgoing_reply_gives_the_characters_that_are_due_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("charUs"); // the first character is due at 1000 us
    QTest::addColumn<bool>("split");
    QTest::addColumn<int>("trailing");
    QTest::addColumn<QList<qint64>>("looks"); // when the writer looks, in us
    QTest::addColumn<QByteArrayList>("pieces");
    // A late look takes every character whose time has come.
    QTest::newRow("in time") << QByteArray("ABCDE") << qint64(500) << false << 0
                             << QList<qint64>{999, 1000, 2100, 2499, 9000}
                             << QByteArrayList{"", "A", "BC", "", "DE"};
    QTest::newRow("split, one byte a write")
        << QByteArray("ABC") << qint64(500) << true << 0 << QList<qint64>{9000, 9000, 9000}
        << QByteArrayList{"A", "B", "C"};
    QTest::newRow("trailing junk with the CR")
        << QByteArray("AB\r#!") << qint64(500) << false << 2 << QList<qint64>{1600, 1999, 2000}
        << QByteArrayList{"AB", "", "\r#!"};
}

void TestBus::outgoing_reply_gives_the_characters_that_are_due() {
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, charUs);
    QFETCH(bool, split);
    QFETCH(int, trailing);
    QFETCH(QList<qint64>, looks);
    QFETCH(QByteArrayList, pieces);
    sim::OutgoingReply out({0, bytes, {1000, charUs}, {}, {}, split, trailing});
    for (qsizetype i = 0; i < looks.size(); ++i)
        QCOMPARE(out.takeDue(looks[i]), pieces[i]);
    QVERIFY(out.done());
}

void TestBus::a_silent_transmitter_does_not_act_on_the_request() {
    Bus bus = defaultBus();
    bus.transmitters()[0].faults().set("*", FaultKind::Silent);
    const sim::Hearing heard = bus.hear(frame::request("01", "AD42"), 9600, 0);
    QVERIFY(heard.replies.empty());
    QCOMPARE(heard.note, QStringLiteral("no answer: 01 is silent (fault)"));
    QCOMPARE(bus.transmitters()[0].address(), QByteArray("01"));
}

void TestBus::random_faults_fill_in_where_no_fault_is_set() {
    Bus bus = defaultBus();
    bus.transmitters()[0].faults().set("RT0", FaultKind::Late);
    bus.setRandomFaults(sim::RandomFaults(1.0, 11));
    // A fault of the transmitter's own wins, and the note tells them apart.
    const sim::Hearing own = bus.hear(frame::request("01", "RT0"), 9600, 0);
    QCOMPARE(own.replies.size(), std::size_t(1));
    QCOMPARE(own.replies[0].timing.firstUs, sim::lateReplyDelayMs(9600) * 1000);
    QVERIFY2(!own.note.contains(QLatin1String("random")), qPrintable(own.note));

    std::set<QString> kinds;
    for (int i = 0; i < 200; ++i) {
        const sim::Hearing drawn = bus.hear(frame::request("01", "RP0"), 9600, 0);
        const qsizetype at = drawn.note.indexOf(QLatin1String("01 random fault "));
        QVERIFY2(at >= 0, qPrintable(drawn.note));
        const QString kind = drawn.note.mid(at + 16);
        kinds.insert(kind);
        // The reply is shaped as the note says.
        const std::optional<FaultKind> named = sim::faultKindFromName(kind);
        QVERIFY2(named.has_value(), qPrintable(kind));
        QCOMPARE(drawn.replies.empty(), *named == FaultKind::Silent);
        if (drawn.replies.empty())
            continue;
        const sim::ScheduledReply& reply = drawn.replies[0];
        QCOMPARE(reply.split, *named == FaultKind::Split);
        // Drawn lateness is the plain one.
        QCOMPARE(reply.timing.firstUs == sim::lateReplyDelayMs(9600) * 1000,
                 *named == FaultKind::Late);
        const bool broken = *named == FaultKind::BadChecksum || *named == FaultKind::Noise ||
                            *named == FaultKind::Trailing;
        if (*named != FaultKind::LowerCaseChecksum)
            QCOMPARE(frame::replyText(reply.bytes) == frame::kFrameError, broken);
        if (*named == FaultKind::EmptyData)
            QCOMPARE(reply.bytes, frame::reply("01"));
    }
    QCOMPARE(kinds.size(), sim::RandomFaults::kKinds.size());
}

QTEST_APPLESS_MAIN(TestBus)
#include "tst_bus.moc"
