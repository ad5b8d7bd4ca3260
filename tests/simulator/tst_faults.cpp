// Faults on demand: what each one does to the bytes of a reply, checked
// against the tool's own reply check, and which command a fault applies to.

#include "link/frame.h"
#include "simulator/faults.h"
#include "simulator/random_faults.h"

#include <QTest>

#include <algorithm>
#include <map>

using sim::FaultKind;

Q_DECLARE_METATYPE(FaultKind)

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void each_fault_shapes_the_reply_data();
    void each_fault_shapes_the_reply();
    void lower_case_checksum_of_digits_only_changes_nothing();
    void fault_names_are_read_exactly_data();
    void fault_names_are_read_exactly();
    void longest_matching_command_wins();
    void random_faults_follow_rate_and_series_data();
    void random_faults_follow_rate_and_series();
};

void TestFaults::each_fault_shapes_the_reply_data() {
    QTest::addColumn<FaultKind>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("toolSees");
    // "07V2.13" has the checksum 4F: a letter, so its case can differ.
    const QByteArray body = "07V2.13";
    QCOMPARE(frame::checksum(body), QByteArray("4F"));
    QTest::newRow("none") << FaultKind::None << QByteArray("*07V2.134F\r")
                          << QByteArray("*07V2.13\r");
    QTest::newRow("bad checksum") << FaultKind::BadChecksum << QByteArray("*07V2.134E\r")
                                  << frame::kFrameError;
    QTest::newRow("lower case") << FaultKind::LowerCaseChecksum << QByteArray("*07V2.134f\r")
                                << frame::kFrameError;
    QTest::newRow("noise") << FaultKind::Noise << QByteArray("\x00\xA5#*07V2.134F\r", 14)
                           << frame::kFrameError;
    QTest::newRow("trailing") << FaultKind::Trailing << QByteArray("*07V2.134F\r#!")
                              << frame::kFrameError;
    // A verified reply without data: what the tool's callers must cope with.
    QTest::newRow("empty data") << FaultKind::EmptyData << QByteArray("*0707\r")
                                << QByteArray("*07\r");
    QTest::newRow("late") << FaultKind::Late << QByteArray("*07V2.134F\r")
                          << QByteArray("*07V2.13\r");
    QTest::newRow("split") << FaultKind::Split << QByteArray("*07V2.134F\r")
                           << QByteArray("*07V2.13\r");
    QTest::newRow("silent") << FaultKind::Silent << QByteArray() << frame::kNoReply;
}

void TestFaults::each_fault_shapes_the_reply() {
    QFETCH(FaultKind, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, toolSees);
    const sim::ShapedReply shaped = sim::shapeReply("07V2.13", kind);
    QCOMPARE(shaped.bytes, bytes);
    QCOMPARE(frame::replyText(shaped.bytes), toolSees);
    QCOMPARE(shaped.late, kind == FaultKind::Late);
    QCOMPARE(shaped.split, kind == FaultKind::Split);
    // Whatever follows the CR.
    QCOMPARE(shaped.trailing, shaped.bytes.size() - shaped.bytes.indexOf('\r') - 1);
    QCOMPARE(shaped.note.isEmpty(), kind == FaultKind::None);
}

void TestFaults::lower_case_checksum_of_digits_only_changes_nothing() {
    // A probe's reply always has the checksum 00.
    const sim::ShapedReply shaped = sim::shapeReply("0707", FaultKind::LowerCaseChecksum);
    QCOMPARE(shaped.bytes, QByteArray("*070700\r"));
    QVERIFY2(shaped.note.contains(QLatin1String("no effect")), qPrintable(shaped.note));
}

void TestFaults::fault_names_are_read_exactly_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<int>("lateMs"); // -1: no lateness
    QTest::newRow("plain late") << "late" << true << -1;
    QTest::newRow("late:15") << "late:15" << true << 15;
    QTest::newRow("late:10000") << "late:10000" << true << 10000;
    QTest::newRow("late:10001") << "late:10001" << false << -1;
    QTest::newRow("late: without number") << "late:" << false << -1;
    QTest::newRow("late:-1") << "late:-1" << false << -1;
    QTest::newRow("late:1.5") << "late:1.5" << false << -1;
    QTest::newRow("late:4294967311, past int") << "late:4294967311" << false << -1;
    QTest::newRow("Arabic-Indic digit") << QStringLiteral("late:\u0661") << false << -1;
    QTest::newRow("silent:5") << "silent:5" << false << -1;
}

void TestFaults::fault_names_are_read_exactly() {
    QFETCH(QString, name);
    QFETCH(bool, taken);
    QFETCH(int, lateMs);
    const std::optional<sim::Fault> fault = sim::faultFromName(name);
    QCOMPARE(fault.has_value(), taken);
    if (!fault)
        return;
    QCOMPARE(fault->lateMs.value_or(-1), lateMs);
    // Written back as it was given: the trace and the state show the lateness.
    QCOMPARE(sim::faultName(*fault), name);
    QCOMPARE(sim::shapeReply("07V2.13", *fault).note, QStringLiteral("fault ") + name);
}

void TestFaults::longest_matching_command_wins() {
    sim::FaultTable table;
    table.set("*", FaultKind::Silent);
    table.set("RP", FaultKind::Noise);
    table.set("RP0", sim::Fault(FaultKind::Late, 15));
    table.set("AD", FaultKind::BadChecksum);
    QCOMPARE(table.forCommand("RP0").kind, FaultKind::Late);
    QCOMPARE(table.forCommand("RP0").lateMs, std::optional<int>(15));
    QCOMPARE(table.forCommand("RP1").kind, FaultKind::Noise);
    QCOMPARE(table.forCommand("AD42").kind, FaultKind::BadChecksum); // with payload
    QCOMPARE(table.forCommand("TY").kind, FaultKind::Silent);

    // A plain late fault replaces the one with lateness.
    table.set("RP0", FaultKind::Late);
    QVERIFY(!table.forCommand("RP0").lateMs);
    table.set("RP0", FaultKind::None);
    QCOMPARE(table.forCommand("RP0").kind, FaultKind::Noise);
    table.clear();
    QVERIFY(table.isEmpty());
    QCOMPARE(table.forCommand("RP0").kind, FaultKind::None);

    // Every second hearing of each command text is silent, the others not.
    table.set("RP0", FaultKind::EverySecond);
    QList<FaultKind> taken;
    for (const char* command : {"RP0", "RP0", "RT0", "RP0", "RP0"})
        taken.append(table.take(command).kind);
    QCOMPARE(taken, (QList<FaultKind>{FaultKind::None, FaultKind::Silent, FaultKind::None,
                                      FaultKind::None, FaultKind::Silent}));
}

void TestFaults::random_faults_follow_rate_and_series_data() {
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("atLeast");
    QTest::addColumn<int>("atMost");
    QTest::newRow("never") << 0.0 << 0 << 0;
    QTest::newRow("one in ten") << 0.1 << 70 << 130;
    QTest::newRow("always") << 1.0 << 1000 << 1000;
    QTest::newRow("above 1 is always") << 3.0 << 1000 << 1000;
}

void TestFaults::random_faults_follow_rate_and_series() {
    QFETCH(double, rate);
    QFETCH(int, atLeast);
    QFETCH(int, atMost);
    sim::RandomFaults once(rate, 42);
    sim::RandomFaults again(rate, 42);
    sim::RandomFaults other(rate, 43);
    QList<FaultKind> first;
    QList<FaultKind> second;
    QList<FaultKind> third;
    std::map<FaultKind, int> kinds;
    for (int i = 0; i < 1000; ++i) {
        first << once.draw();
        second << again.draw();
        third << other.draw();
        if (first.back() != FaultKind::None)
            ++kinds[first.back()];
    }
    QCOMPARE(first, second); // a series repeats its run
    QCOMPARE(first == third, rate == 0.0);
    int faults = 0;
    for (const auto& [kind, n] : kinds) {
        QVERIFY(std::find(sim::RandomFaults::kKinds.begin(), sim::RandomFaults::kKinds.end(),
                          kind) != sim::RandomFaults::kKinds.end());
        faults += n;
    }
    QVERIFY2(faults >= atLeast && faults <= atMost, qPrintable(QString::number(faults)));
    // All kinds come up, each about as often as the others.
    if (faults == 1000) {
        QCOMPARE(kinds.size(), sim::RandomFaults::kKinds.size());
        for (const auto& [kind, n] : kinds)
            QVERIFY2(n > 80 && n < 170, qPrintable(sim::faultKindName(kind)));
    }
}

QTEST_APPLESS_MAIN(TestFaults)
#include "tst_faults.moc"
