// The bus: which frames a transmitter takes, who hears a request at which
// rate, collisions, and when the replies are due.

#include "link/frame.h"
#include "simulator/bus.h"
#include "simulator/bus_file.h"

#include <QTest>

#include <set>

using sim::Bus;
using sim::FaultKind;

namespace {

// 01 at 9600, 07 at 4800, 12 at 1200.
Bus defaultBus() {
    return Bus(sim::defaultBus());
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
    void late_replies_come_after_the_tools_wait();
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
    // 8 characters each way, 10 bits a character.
    QCOMPARE(sim::lineDelayMs(8, 8, 9600), 17);
    QCOMPARE(sim::lineDelayMs(8, 8, 1200), 134);

    Bus bus = defaultBus();
    const QByteArray request = frame::request("12", "TY");
    const sim::Hearing heard = bus.hear(request, 1200, 0);
    const sim::ScheduledReply& reply = heard.replies.at(0);
    QCOMPARE(reply.delayMs, sim::lineDelayMs(request.size(), reply.bytes.size(), 1200));
    // Still inside the tool's 300 ms at 1200 baud, or a full read would fail.
    QVERIFY(reply.delayMs < sim::toolTimeoutMs(1200));

    bus.setLineTiming(false);
    QCOMPARE(bus.hear(request, 1200, 0).replies.at(0).delayMs, 0);
}

void TestBus::late_replies_come_after_the_tools_wait() {
    Bus bus = defaultBus();
    bus.setLineTiming(false);
    bus.transmitters()[1].faults().set("RP0", FaultKind::Late);
    const sim::Hearing heard = bus.hear(frame::request("07", "RP0"), 4800, 0);
    QCOMPARE(heard.replies.at(0).delayMs, 140);
    QCOMPARE(heard.replies.at(0).note, QStringLiteral("fault late"));
    QCOMPARE(frame::replyText(heard.replies.at(0).bytes).left(3), QByteArray("*07"));
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
    QCOMPARE(own.replies[0].delayMs, sim::lateReplyDelayMs(9600));
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
        QCOMPARE(reply.delayMs == sim::lateReplyDelayMs(9600), *named == FaultKind::Late);
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
