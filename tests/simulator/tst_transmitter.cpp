// The transmitter model on its own: what each command answers and changes,
// the data areas and the live readings.

#include "simulator/transmitter.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using sim::Settings;
using sim::Transmitter;

namespace {

Settings sample() {
    return {"PDS301",  "A2309142", 0,       2,       "+000.00", "+250.00",
            "+000.00", "+250.00",  "+0000", "+0012", 0};
}

Transmitter transmitter() {
    return Transmitter("01", 9600, sample(), "V2.13", 100.0, 23.5);
}

// The data of the answer, or "<none>" when the transmitter stays quiet.
QByteArray answer(Transmitter& t, const QByteArray& command, double seconds = 0) {
    const auto a = t.handle(command, seconds);
    return a ? a->data : QByteArray("<none>");
}

} // namespace

class TestTransmitter : public QObject {
    Q_OBJECT

private slots:
    void text_writes_store_the_payload_exactly_data();
    void text_writes_store_the_payload_exactly();
    void codes_are_taken_only_within_their_range_data();
    void codes_are_taken_only_within_their_range();
    void address_probe_and_change_data();
    void address_probe_and_change();
    void baud_change_is_announced_not_applied_data();
    void baud_change_is_announced_not_applied();
    void unknown_commands_get_no_reply_data();
    void unknown_commands_get_no_reply();

    void data_areas_keep_snapshots_and_restore_the_factory_one();

    void pressure_format_data();
    void pressure_format();
    void readings_drift_near_their_base_in_the_set_format();
    void zeroing_takes_the_present_pressure_as_zero();
};

void TestTransmitter::text_writes_store_the_payload_exactly_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("payload");
    // Not reformatted, not checked: the tool decides what it sends.
    QTest::newRow("model") << QByteArray("TY") << QByteArray("PT 100-X");
    QTest::newRow("id") << QByteArray("ID") << QByteArray("0");
    QTest::newRow("range low") << QByteArray("DL") << QByteArray("-005.0");
    QTest::newRow("4 mA") << QByteArray("OL") << QByteArray("+.5000");
    QTest::newRow("4 mA trim") << QByteArray("ZF") << QByteArray("-0001");
    QTest::newRow("20 mA trim") << QByteArray("FF") << QByteArray("+5000");
}

void TestTransmitter::text_writes_store_the_payload_exactly() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, payload);
    Transmitter t = transmitter();
    QCOMPARE(answer(t, command + payload), payload);
    QCOMPARE(answer(t, command), payload);
}

void TestTransmitter::codes_are_taken_only_within_their_range_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("data"); // "<none>": refused
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("unit 3") << QByteArray("UT3") << QByteArray("3") << QByteArray("3");
    QTest::newRow("unit 7") << QByteArray("UT7") << QByteArray("<none>") << QByteArray("0");
    QTest::newRow("unit -1") << QByteArray("UT-1") << QByteArray("<none>") << QByteArray("0");
    QTest::newRow("unit letter") << QByteArray("UTx") << QByteArray("<none>") << QByteArray("0");
    QTest::newRow("decimals 4") << QByteArray("DP4") << QByteArray("4") << QByteArray("4");
    QTest::newRow("decimals 02") << QByteArray("DP02") << QByteArray("2") << QByteArray("2");
    QTest::newRow("decimals 5") << QByteArray("DP5") << QByteArray("<none>") << QByteArray("2");
}

void TestTransmitter::codes_are_taken_only_within_their_range() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, after);
    Transmitter t = transmitter();
    QCOMPARE(answer(t, command), data);
    QCOMPARE(answer(t, command.left(2)), after);
}

void TestTransmitter::address_probe_and_change_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("address");
    QTest::newRow("probe") << QByteArray("AD") << QByteArray("01") << QByteArray("01");
    QTest::newRow("change") << QByteArray("AD42") << QByteArray("42") << QByteArray("42");
    QTest::newRow("00") << QByteArray("AD00") << QByteArray("<none>") << QByteArray("01");
    QTest::newRow("one digit") << QByteArray("AD5") << QByteArray("<none>") << QByteArray("01");
    QTest::newRow("three digits") << QByteArray("AD100") << QByteArray("<none>")
                                  << QByteArray("01");
}

void TestTransmitter::address_probe_and_change() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, address);
    Transmitter t = transmitter();
    QCOMPARE(answer(t, command), data);
    QCOMPARE(t.address(), address);
}

void TestTransmitter::baud_change_is_announced_not_applied_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("baudAfter"); // 0: no reply
    QTest::newRow("1200") << QByteArray("BD0") << 1200;
    QTest::newRow("4800") << QByteArray("BD2") << 4800;
    QTest::newRow("9600") << QByteArray("BD3") << 9600;
    QTest::newRow("index 4") << QByteArray("BD4") << 0;
    QTest::newRow("no index") << QByteArray("BD") << 0;
    QTest::newRow("two digits") << QByteArray("BD02") << 0;
}

void TestTransmitter::baud_change_is_announced_not_applied() {
    QFETCH(QByteArray, command);
    QFETCH(int, baudAfter);
    Transmitter t = transmitter();
    const auto a = t.handle(command, 0);
    QCOMPARE(bool(a), baudAfter != 0);
    if (a) {
        QCOMPARE(a->data, command.mid(2));
        QCOMPARE(a->baudAfterReply, std::optional<int>(baudAfter));
    }
    // The rate changes once the acknowledgement is out, which is not the
    // model's business.
    QCOMPARE(t.baud(), 9600);
}

void TestTransmitter::unknown_commands_get_no_reply_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("unknown") << QByteArray("XX");
    QTest::newRow("pressure without channel") << QByteArray("RP");
    QTest::newRow("other channel") << QByteArray("RP1");
    QTest::newRow("version with payload") << QByteArray("VR1");
    QTest::newRow("store with payload") << QByteArray("WUX");
}

void TestTransmitter::unknown_commands_get_no_reply() {
    QFETCH(QByteArray, command);
    Transmitter t = transmitter();
    const Settings before = t.settings();
    QCOMPARE(answer(t, command), QByteArray("<none>"));
    QCOMPARE(t.settings(), before);
}

void TestTransmitter::data_areas_keep_snapshots_and_restore_the_factory_one() {
    Transmitter t = transmitter();
    t.handle("ZF-0100", 0);
    QCOMPARE(answer(t, "WF"), QByteArray("OK"));
    t.handle("ZF+0200", 0);
    QCOMPARE(answer(t, "WU"), QByteArray("OK"));
    QCOMPARE(t.userArea(), t.settings());
    // Snapshots, not views: later changes stay out of them.
    t.handle("ID NEW", 0);
    t.handle("SZ", 5);
    t.handle("AD33", 0);
    QCOMPARE(t.userArea().id, QByteArray("A2309142"));
    QCOMPARE(t.userArea().trim4mA, QByteArray("+0200"));

    QCOMPARE(answer(t, "LD"), QByteArray("OK"));
    QCOMPARE(answer(t, "ZF"), QByteArray("-0100"));
    QCOMPARE(answer(t, "ID"), QByteArray("A2309142"));
    QCOMPARE(t.settings().zeroOffset, 0.0);
    // The address is no setting of the data areas: a restore must not lose
    // the transmitter from the tool that asked for it.
    QCOMPARE(t.address(), QByteArray("33"));
}

void TestTransmitter::pressure_format_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("2 decimals") << 12.34 << 2 << QByteArray("+012.34");
    QTest::newRow("negative") << -3.21 << 1 << QByteArray("-0003.2");
    QTest::newRow("no decimals") << 7.6 << 0 << QByteArray("+00008");
    QTest::newRow("4 decimals") << 0.07 << 4 << QByteArray("+0.0700");
    QTest::newRow("wider than the places") << 123456.0 << 0 << QByteArray("+123456");
    QTest::newRow("rounds to zero") << -0.004 << 2 << QByteArray("+000.00");
}

void TestTransmitter::pressure_format() {
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QByteArray, text);
    QCOMPARE(sim::formatPressure(value, decimals), text);
}

void TestTransmitter::readings_drift_near_their_base_in_the_set_format() {
    Transmitter t = transmitter();
    const QRegularExpression pressure(QStringLiteral("^[+-]\\d{3}\\.\\d{2}$"));
    const QRegularExpression temperature(QStringLiteral("^[+-]\\d{2,}\\.\\d$"));
    QSet<QByteArray> seen;
    for (int second = 0; second < 120; second += 3) {
        const QByteArray p = answer(t, "RP0", second);
        const QByteArray c = answer(t, "RT0", second);
        QVERIFY2(pressure.match(QString::fromLatin1(p)).hasMatch(), p.constData());
        QVERIFY2(temperature.match(QString::fromLatin1(c)).hasMatch(), c.constData());
        // Within a percent of the span around the base, and of a degree.
        QVERIFY2(qAbs(p.toDouble() - 100.0) < 2.5, p.constData());
        QVERIFY2(qAbs(c.toDouble() - 23.5) < 1.0, c.constData());
        seen.insert(p);
    }
    QVERIFY2(seen.size() > 10, "the pressure hardly moves");

    t.handle("DP0", 0);
    QVERIFY(QRegularExpression(QStringLiteral("^\\+\\d{5}$"))
                .match(QString::fromLatin1(answer(t, "RP0", 1)))
                .hasMatch());
}

void TestTransmitter::zeroing_takes_the_present_pressure_as_zero() {
    Transmitter t = transmitter();
    const QByteArray reply = answer(t, "SZ", 30);
    QVERIFY2(qAbs(reply.toDouble()) < 0.2, reply.constData());
    QVERIFY2(qAbs(answer(t, "RP0", 30.5).toDouble()) < 0.5, "not near zero after zeroing");
    QVERIFY(qAbs(t.settings().zeroOffset - 100.0) < 2.5);

    // Zeroing again keeps it near zero rather than shifting it twice.
    answer(t, "SZ", 31);
    QVERIFY(qAbs(answer(t, "RP0", 31).toDouble()) < 0.5);
    QVERIFY(qAbs(t.settings().zeroOffset - 100.0) < 2.5);
}

QTEST_APPLESS_MAIN(TestTransmitter)
#include "tst_transmitter.moc"
