// tarnwick-cli's writing commands as a script runs them, each against a fresh
// simulated bus, judged by the transmitters' state afterwards and by the
// frames the bus heard.

#include "support/cli_process.h"
#include "support/simulator_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
const QByteArray kBus = R"({"transmitters": [
    {"address": "07", "baud": 4800, "model": "PT-A", "id": "SN7", "unit": 3, "decimals": 2,
     "rangeLow": "-010.00", "rangeHigh": "+250.00", "output4mA": "+000.00",
     "output20mA": "+200.00", "trim4mA": "+0012", "trim20mA": "-0007"},
    {"address": "12", "baud": 1200, "model": "PT-B", "id": "SN12", "unit": 0, "decimals": 1}]})";

// The command texts the bus heard for an address, checksum and CR cut off.
QStringList heard(const QStringList& trace, const QString& address) {
    static const QRegularExpression frame(
        QStringLiteral(" heard \\$(\\d\\d)(.*)[0-9A-F]{2}\\\\r( --.*)?$"));
    QStringList commands;
    for (const QString& line : trace) {
        const QRegularExpressionMatch m = frame.match(line);
        if (m.hasMatch() && m.captured(1) == address)
            commands.append(m.captured(2));
    }
    return commands;
}
} // namespace

class TestCliWriting : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_sim.reset(); }
    void writes_data();
    void writes();
    void silent_write_stops_the_rest();
    void write_outcomes_data();
    void write_outcomes();
    void unplug_in_the_middle_of_apply();
    void interrupted_runs_data();
    void interrupted_runs();
    void dry_run_sends_no_write_data();
    void dry_run_sends_no_write();
    void apply_clones_a_transmitter();
    void long_texts_at_every_rate();

private:
    QJsonObject state(const QString& address) {
        return QJsonDocument::fromJson(m_sim->control("state " + address).toUtf8()).object();
    }
    QStringList onBus(const QStringList& args) const {
        return QStringList{QStringLiteral("--port"), m_sim->devicePath()} + args;
    }
    std::unique_ptr<SimulatorProcess> m_sim;
};

void TestCliWriting::init() {
    m_sim = std::make_unique<SimulatorProcess>(QStringList{}, kBus);
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
}

void TestCliWriting::writes_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stateOf");
    // "key=value" of the state afterwards; "userArea.model=..." looks inside.
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("heardWrites"); // the frames to stateOf, reads left out

    QTest::newRow("set the range group")
        << QStringList{"set", "07", "rangeHigh=100", "unit=psi", "decimals=1", "rangeLow=-5"} << 0
        << "07" << QStringList{"unit=4", "decimals=1", "rangeLow=-005.0", "rangeHigh=+100.0"}
        << QStringList{"UT4", "DP1", "DL-005.0", "DH+100.0"};
    QTest::newRow("set the output group with the transmitter's decimals")
        << QStringList{"set", "07", "outputLow=1", "outputHigh=100", "trim4mA=-12", "trim20mA=7"}
        << 0 << "07"
        << QStringList{"output4mA=+01.00", "output20mA=+100.00", "trim4mA=-0012", "trim20mA=+0007"}
        << QStringList{"OL+01.00", "OH+100.00", "ZF-0012", "FF+0007"};
    QTest::newRow("set the texts")
        << QStringList{"set", "12", "model=PT-Z", "id=SN 99"} << 0 << "12"
        << QStringList{"id=SN 99", "model=PT-Z"} << QStringList{"IDSN 99", "TYPT-Z"};
    QTest::newRow("set refuses a fractional trim before any frame")
        << QStringList{"set", "07", "unit=1", "trim4mA=12.5"} << 2 << "07"
        << QStringList{"unit=3", "trim4mA=+0012"} << QStringList{};
    QTest::newRow("move to a free address and rate")
        << QStringList{"move", "12", "--to", "05", "--rate", "9600"} << 0 << "05"
        << QStringList{"baud=9600", "model=PT-B", "id=SN12"} << QStringList{};
    QTest::newRow("move to where it is already does nothing")
        << QStringList{"move", "12", "--to", "12", "--rate", "1200"} << 0 << "12"
        << QStringList{"baud=1200"} << QStringList{};
    // Each key is read first; only what differs is written, and once the
    // unit or the decimals are, every later key too.
    QTest::newRow("set of values already held sends only reads")
        << QStringList{"set", "07", "unit=3", "decimals=2", "rangeHigh=250"} << 0 << "07"
        << QStringList{"unit=3", "rangeHigh=+250.00"} << QStringList{};
    QTest::newRow("set writes only the key that differs")
        << QStringList{"set", "07", "unit=3", "rangeHigh=200", "outputHigh=200"} << 0 << "07"
        << QStringList{"rangeHigh=+200.00"} << QStringList{"DH+200.00"};
    QTest::newRow("a differing unit is written with every later key")
        << QStringList{"set", "07", "unit=kPa", "decimals=2", "rangeHigh=250"} << 0 << "07"
        << QStringList{"unit=0", "rangeHigh=+250.00"} << QStringList{"UT0", "DP2", "DH+250.00"};
    QTest::newRow("--all writes every key given")
        << QStringList{"set", "07", "unit=3", "rangeHigh=250", "--all"} << 0 << "07"
        << QStringList{"unit=3"} << QStringList{"UT3", "DH+250.00"};
    QTest::newRow("set refuses \"$\" in a text before any frame")
        << QStringList{"set", "12", "id=PT$12*34"} << 2 << "12" << QStringList{"id=SN12"}
        << QStringList{};
    QTest::newRow("set refuses a value single precision would change")
        << QStringList{"set", "07", "rangeHigh=16777217"} << 2 << "07"
        << QStringList{"rangeHigh=+250.00"} << QStringList{};
    QTest::newRow("move to a taken address is refused")
        << QStringList{"move", "12", "--to", "7"} << 1 << "12"
        << QStringList{"baud=1200", "id=SN12"} << QStringList{};
    QTest::newRow("store user") << QStringList{"store", "07", "user"} << 0 << "07"
                                << QStringList{"userArea.model=PT-A"} << QStringList{"WU"};
    QTest::newRow("store factory without --yes")
        << QStringList{"store", "07", "factory"} << 2 << "07" << QStringList{} << QStringList{};
    QTest::newRow("store factory --yes")
        << QStringList{"store", "07", "factory", "--yes"} << 0 << "07"
        << QStringList{"factoryArea.id=SN7"} << QStringList{"WF"};
    QTest::newRow("restore-factory without --yes")
        << QStringList{"restore-factory", "07"} << 2 << "07" << QStringList{} << QStringList{};
    QTest::newRow("restore-factory --yes") << QStringList{"restore-factory", "07", "--yes"} << 0
                                           << "07" << QStringList{} << QStringList{"LD"};
    QTest::newRow("zero without --yes")
        << QStringList{"zero", "07"} << 2 << "07" << QStringList{"zeroOffset=0"} << QStringList{};
    QTest::newRow("zero --yes") << QStringList{"zero", "07", "--yes"} << 0 << "07" << QStringList{}
                                << QStringList{"SZ"};
}

void TestCliWriting::writes() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stateOf);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, heardWrites);

    const CliRun r = runCli(onBus(args));
    QVERIFY2(r.exitCode == exitCode, qPrintable(describe(r)));
    const QJsonObject s = state(stateOf);
    for (const QString& item : expected) {
        const QString key = item.section('=', 0, 0);
        const QString want = item.section('=', 1);
        const QJsonValue v =
            key.contains('.') ? s[key.section('.', 0, 0)][key.section('.', 1)] : s[key];
        QCOMPARE(v.isString() ? v.toString() : QString::number(v.toDouble()), want);
    }
    static const QRegularExpression read(QStringLiteral("^(AD|DP|ID|TY|UT|DL|DH|OL|OH|ZF|FF)$"));
    QStringList writes = heard(m_sim->traceLines(), stateOf);
    writes.removeIf([](const QString& c) { return read.match(c).hasMatch(); });
    if (!args.contains(QStringLiteral("move")))
        QCOMPARE(writes, heardWrites);
    if (args.first() == QLatin1String("move") && stateOf == QLatin1String("12") && exitCode == 0) {
        QVERIFY2(r.out.contains(QStringLiteral("nothing to do")), qPrintable(r.out));
        QCOMPARE(writes, QStringList{});
    } else if (args.first() == QLatin1String("move") && exitCode == 0) {
        QVERIFY2(r.out.contains(QStringLiteral("12 is now 05 at 9600 baud")), qPrintable(r.out));
    }
    if (args.first() == QLatin1String("move") && exitCode != 0) {
        // Probes at the taken address, at 12's 1200, then 9600 and 4800 where
        // 07 answers; nothing written anywhere.
        QCOMPARE(heard(m_sim->traceLines(), "07"), (QStringList{"AD", "AD", "AD"}));
        QCOMPARE(writes, QStringList{});
    }
}

void TestCliWriting::silent_write_stops_the_rest() {
    QCOMPARE(m_sim->control("fault 07 DL silent"), QStringLiteral("ok"));
    const CliRun r = runCli(onBus(
        {"set", "07", "--baud", "4800", "unit=1", "rangeLow=1", "rangeHigh=2", "outputLow=3"}));
    QVERIFY2(r.exitCode == 1, qPrintable(describe(r)));
    // The unit is compared first and differs, so every later key is written;
    // the silent write is read back once, which is silent too.
    QCOMPARE(heard(m_sim->traceLines(), "07"), (QStringList{"DP", "UT", "UT1", "DL+01.00", "DL"}));
    QCOMPARE(state("07")["unit"].toInt(), 1);
    QCOMPARE(state("07")["rangeHigh"].toString(), QStringLiteral("+250.00"));
    QVERIFY2(r.out.contains(QRegularExpression(
                 "rangeLow +DL\\+01\\.00 +UNKNOWN: no reply; read back: no reply")),
             qPrintable(r.out));
    QVERIFY2(r.out.contains(QRegularExpression("outputLow +OL\\+03\\.00 +not sent")),
             qPrintable(r.out));
    QVERIFY2(r.err.contains("applied: unit; unknown: rangeLow; not sent: rangeHigh, outputLow"),
             qPrintable(r.err));
}

void TestCliWriting::write_outcomes_data() {
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("words"); // "key=state" of the writes
    QTest::addColumn<QString>("stateOf");
    QTest::addColumn<QStringList>("expected"); // "key=value" of the state afterwards

    const QStringList set{"set", "07", "rangeHigh=100", "outputLow=1"};
    QTest::newRow("a late echo: stored, applied through the read-back")
        << QStringList{"fault 07 DH+ late:15"} << set << 0
        << QStringList{"rangeHigh=applied", "outputLow=applied"} << "07"
        << QStringList{"rangeHigh=+100.00", "output4mA=+01.00"};
    QTest::newRow("an empty echo: stored, applied through the read-back")
        << QStringList{"fault 07 DH+ empty-data"} << set << 0
        << QStringList{"rangeHigh=applied", "outputLow=applied"} << "07"
        << QStringList{"rangeHigh=+100.00"};
    QTest::newRow("a silent write: the read-back shows it not applied")
        << QStringList{"fault 07 DH+ silent"} << set << 1
        << QStringList{"rangeHigh=not applied", "outputLow=not sent"} << "07"
        << QStringList{"rangeHigh=+250.00", "output4mA=+000.00"};
    QTest::newRow("a silent write and a silent read-back: unknown")
        << QStringList{"fault 07 DH silent"} << set << 1
        << QStringList{"rangeHigh=unknown", "outputLow=not sent"} << "07"
        << QStringList{"rangeHigh=+250.00"};
    // The key could not be compared: it is written, as without comparing.
    QTest::newRow("a key whose read fails is written")
        << QStringList{"fault 07 DH empty-data", "fault 07 DH+ split"}
        << QStringList{"set", "07", "rangeHigh=250"} << 0 << QStringList{"rangeHigh=applied"}
        << "07" << QStringList{"rangeHigh=+250.00"};
    QTest::newRow("a data area with no reply has nothing to read back")
        << QStringList{"fault 07 WU silent"} << QStringList{"store", "07", "user"} << 1
        << QStringList{"store-user=unknown"} << "07" << QStringList{};
    QTest::newRow("a move whose address echo is late is found at the new address")
        << QStringList{"fault 12 AD05 late:15"} << QStringList{"move", "12", "--to", "05"} << 0
        << QStringList{"address=applied", "baud=applied", "model=applied"} << "05"
        << QStringList{"id=SN12", "baud=1200"};
    QTest::newRow("a move whose rate is not taken still answers at the old rate")
        << QStringList{"fault 12 BD silent"} << QStringList{"move", "12", "--rate", "9600"} << 1
        << QStringList{"address=applied", "baud=not applied", "model=not sent"} << "12"
        << QStringList{"baud=1200"};
}

void TestCliWriting::write_outcomes() {
    QFETCH(QStringList, faults);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, words);
    QFETCH(QString, stateOf);
    QFETCH(QStringList, expected);

    for (const QString& fault : faults)
        QCOMPARE(m_sim->control(fault), QStringLiteral("ok"));
    const CliRun r = runCli(onBus(QStringList{"--json"} + args));
    QVERIFY2(r.exitCode == exitCode, qPrintable(describe(r)));
    QMap<QString, QString> stateOfKey;
    for (const QJsonValue& w : QJsonDocument::fromJson(r.out.toUtf8())["writes"].toArray())
        stateOfKey.insert(w["key"].toString(), w["state"].toString());
    for (const QString& word : words)
        QVERIFY2(stateOfKey.value(word.section('=', 0, 0)) == word.section('=', 1),
                 qPrintable(word + describe(r)));
    const QJsonObject s = state(stateOf);
    for (const QString& item : expected) {
        const QJsonValue v = s[item.section('=', 0, 0)];
        QCOMPARE(v.isString() ? v.toString() : QString::number(v.toInt()), item.section('=', 1));
    }
}

void TestCliWriting::unplug_in_the_middle_of_apply() {
    // 07's settings onto 12 at 1200 baud, where ten writes take seconds; the
    // adapter goes away during the third.
    const CliRun source = runCli(onBus({"--json", "read", "07", "--baud", "4800"}));
    QVERIFY2(source.exitCode == 0, qPrintable(describe(source)));
    const QJsonObject before = state("12");
    QProcess p;
    p.start(QStringLiteral(TARNWICK_CLI_PATH), onBus({"--json", "apply", "12", "-", "--baud",
                                                      "1200", "--with-trims", "--with-texts"}));
    QVERIFY(p.waitForStarted());
    p.write(source.out.toUtf8());
    p.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(
        heard(m_sim->traceLines(), "12").filter(QRegularExpression("^DL[+-]")).size() == 1, 20'000);
    QCOMPARE(m_sim->control("unplug"), QStringLiteral("ok"));
    QVERIFY(p.waitForFinished(20'000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(m_sim->control("replug"), QStringLiteral("ok"));

    // Every word matches the transmitter: applied is stored, not applied and
    // not sent are not, unknown may be either.
    static const QMap<QString, QString> stateKey{{"outputLow", "output4mA"},
                                                 {"outputHigh", "output20mA"}};
    const QJsonObject after = state("12");
    const QJsonDocument run = QJsonDocument::fromJson(p.readAllStandardOutput());
    QStringList seen;
    for (const QJsonValue& w : run["writes"].toArray()) {
        const QString key = w["key"].toString();
        const QString word = w["state"].toString();
        seen << word;
        const QJsonValue held = after[stateKey.value(key, key)];
        const QString text = held.isString() ? held.toString() : QString::number(held.toInt());
        const QString sent = w["sent"].toString().mid(2);
        const bool isSent = key.startsWith("range") || key.startsWith("output")
                                ? text.toDouble() == sent.toDouble()
                                : text == sent;
        if (word == "applied")
            QVERIFY2(isSent, qPrintable(key + " holds " + text));
        else if (word == "not applied")
            QVERIFY2(!isSent, qPrintable(key + " holds " + text));
        else if (word == "not sent")
            QVERIFY2(held == before[stateKey.value(key, key)], qPrintable(key + " holds " + text));
        else
            QCOMPARE(word, QStringLiteral("unknown"));
        // The loss is named, and with the device gone nothing is claimed as
        // read back.
        if (word == "unknown")
            QCOMPARE(w["error"].toString(), "port lost: " + m_sim->devicePath());
        QVERIFY2(!w.toObject().contains("readBack"), qPrintable(key));
    }
    QVERIFY2(seen.contains("applied") && seen.contains("not sent") &&
                 seen.indexOf("not sent") > seen.lastIndexOf("applied"),
             qPrintable(seen.join(", ")));
}

void TestCliWriting::interrupted_runs_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("trigger"); // a command heard by 12 (or 13 after a move)
    QTest::addColumn<QString>("action");  // "SIGINT", "SIGTERM" or the simulator's "unplug"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errHolds");
    QTest::addColumn<QString>("outHolds");
    QTest::addColumn<QString>("neverHeard"); // by 12, after the trigger
    QTest::addColumn<QString>("stateAfter"); // "ADDR key value"
    const QStringList set{"set",         "12",           "--baud",     "1200",
                          "unit=1",      "decimals=1",   "rangeLow=1", "rangeHigh=2",
                          "outputLow=0", "outputHigh=2", "id=SN 5",    "model=PT-Q"};
    // The write in flight is finished, the rest are not sent, and a script
    // learns from the status that the command was stopped.
    QTest::newRow("set, Ctrl-C") << set << "UT1"
                                 << "SIGINT" << 130 << "12: stopped by Ctrl-C; applied: unit"
                                 << ""
                                 << "TYPT-Q"
                                 << "12 model PT-B";
    QTest::newRow("set, SIGTERM") << set << "UT1"
                                  << "SIGTERM" << 143 << "12: stopped by SIGTERM; applied: unit"
                                  << ""
                                  << "TYPT-Q"
                                  << "12 model PT-B";
    // A read prints what it has; the rest is marked, never sent.
    QTest::newRow("read, SIGTERM")
        << QStringList{"read", "12", "--baud", "1200"} << "ID"
        << "SIGTERM" << 143 << "12: stopped by SIGTERM; not read: VR, DP, OL, OH, ZF, FF, RP0, RT0"
        << "temperature (not read)"
        << "RT0"
        << "";
    QTest::newRow("inventory, Ctrl-C") << QStringList{"inventory", "-a", "12", "-b", "1200"} << "ID"
                                       << "SIGINT" << 130 << "not read: VR"
                                       << "partly read"
                                       << "RT0"
                                       << "";
    // Once "AD" is out, a move sends its remaining steps: a transmitter left
    // at its new address with its old rate would be lost.
    QTest::newRow("move after its \"AD\", SIGTERM")
        << QStringList{"move", "12", "--to", "13", "--rate", "2400"} << "AD13"
        << "SIGTERM" << 143 << "the steps after \"AD\" are sent first"
        << ""
        << ""
        << "13 baud 2400";
    // A lost adapter is named as the cause; nothing is claimed as read.
    QTest::newRow("read, adapter unplugged") << QStringList{"read", "12", "--baud", "1200"} << "ID"
                                             << "unplug" << 1 << "12 RT0: port lost"
                                             << "temperature (failed: port lost)"
                                             << "RT0"
                                             << "";
}

void TestCliWriting::interrupted_runs() {
    QFETCH(QStringList, args);
    QFETCH(QString, trigger);
    QFETCH(QString, action);
    QFETCH(int, exitCode);
    QFETCH(QString, errHolds);
    QFETCH(QString, outHolds);
    QFETCH(QString, neverHeard);
    QFETCH(QString, stateAfter);
    QProcess p;
    p.start(QStringLiteral(TARNWICK_CLI_PATH), onBus(args));
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(heard(m_sim->traceLines(), "12").contains(trigger), 20'000);
    const qsizetype heardAtTrigger = heard(m_sim->traceLines(), "12").size();
    if (action == "unplug")
        QCOMPARE(m_sim->control("unplug"), QStringLiteral("ok"));
    else
        ::kill(pid_t(p.processId()), action == "SIGINT" ? SIGINT : SIGTERM);
    QVERIFY(p.waitForFinished(10'000));
    if (action == "unplug")
        QCOMPARE(m_sim->control("replug"), QStringLiteral("ok"));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == exitCode, qPrintable(QString::number(p.exitCode()) + out + err));
    QVERIFY2(err.contains(errHolds), qPrintable(err));
    QVERIFY2(out.contains(outHolds), qPrintable(out));
    if (!neverHeard.isEmpty())
        QVERIFY2(!heard(m_sim->traceLines(), "12").mid(heardAtTrigger).contains(neverHeard),
                 qPrintable(heard(m_sim->traceLines(), "12").join(", ")));
    if (!stateAfter.isEmpty()) {
        const QStringList s = stateAfter.split(' ');
        const QJsonValue v = state(s[0])[s[1]];
        QCOMPARE(v.isString() ? v.toString() : QString::number(v.toInt()), s[2]);
    }
}

void TestCliWriting::dry_run_sends_no_write_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("firstFrame");
    QTest::addColumn<QString>("alsoShown");
    QTest::newRow("set") << QStringList{"set", "07", "rangeLow=5", "unit=2"} << "would send $07UT2"
                         << QString();
    QTest::newRow("move") << QStringList{"move", "07", "--to", "08", "--rate", "1200"}
                          << "would send $07IDSN7" << QString();
    QTest::newRow("zero without --yes")
        << QStringList{"zero", "07"} << "would send $07SZ" << QString();
    QTest::newRow("apply from stdin")
        << QStringList{"apply", "07", "-"} << "would send $07UT0" << QString();
    // The plan names each key's present value, and what it would do.
    QTest::newRow("set with a key already held")
        << QStringList{"set", "07", "unit=3", "rangeHigh=100"} << "unchanged  (unit; present 3)\n"
        << "would send $07DH+100.00";
}

void TestCliWriting::dry_run_sends_no_write() {
    QFETCH(QStringList, args);
    QFETCH(QString, firstFrame);
    QFETCH(QString, alsoShown);
    const QByteArray document =
        runCli(onBus({"--json", "read", "12", "--baud", "1200"})).out.toUtf8();
    const int before = int(m_sim->traceLines().size());
    const CliRun r = runCli(onBus(QStringList{"--dry-run"} + args), document);
    QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
    QVERIFY2(r.out.startsWith(firstFrame), qPrintable(r.out));
    QVERIFY2(r.out.contains(alsoShown), qPrintable(r.out));
    // The checksum is there: the XOR of the address and command.
    QVERIFY2(r.out.contains(QRegularExpression("\\$07[A-Z]{2}\\S*[0-9A-F]{2}\\\\r")),
             qPrintable(r.out));
    static const QRegularExpression read(QStringLiteral("^(AD|DP|ID|TY|UT|DL|DH|OL|OH|ZF|FF)$"));
    const QStringList trace = m_sim->traceLines().mid(before);
    for (const char* address : {"07", "08"})
        for (const QString& c : heard(trace, address))
            QVERIFY2(read.match(c).hasMatch(), qPrintable(c));
}

void TestCliWriting::apply_clones_a_transmitter() {
    const CliRun source = runCli(onBus({"--json", "read", "07", "--baud", "4800"}));
    QVERIFY2(source.exitCode == 0, qPrintable(describe(source)));
    const CliRun r =
        runCli(onBus({"apply", "12", "-", "--with-trims", "--with-texts"}), source.out.toUtf8());
    QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
    const QJsonObject a = state("07");
    const QJsonObject b = state("12");
    // Pressures go out as the window formats them ("-010.00" as "-10.00"),
    // so they agree by value; codes, trims and texts as they are.
    for (const char* key : {"rangeLow", "rangeHigh", "output4mA", "output20mA"})
        QVERIFY2(a.value(QLatin1String(key)).toString().toDouble() ==
                     b.value(QLatin1String(key)).toString().toDouble(),
                 key);
    for (const char* key : {"unit", "decimals", "trim4mA", "trim20mA", "model", "id"})
        QVERIFY2(a.value(QLatin1String(key)) == b.value(QLatin1String(key)), key);
    QCOMPARE(b["baud"].toInt(), 1200);

    // 12 now answers "DH" with no data, to the write and to its read-back
    // alike: what became of that write is not known, and the apply stops.
    QCOMPARE(m_sim->control("fault 12 DH empty-data"), QStringLiteral("ok"));
    const CliRun again = runCli(onBus({"apply", "12", "-"}), source.out.toUtf8());
    QVERIFY2(again.exitCode == 1, qPrintable(describe(again)));
    QVERIFY2(again.err.contains("unknown: rangeHigh; not sent: outputLow, outputHigh"),
             qPrintable(again.err));
}

void TestCliWriting::long_texts_at_every_rate() {
    // 32-character texts are 38-character frames each way, longer on the
    // wire than the time-out at every rate but 9600.
    m_sim = std::make_unique<SimulatorProcess>(QStringList{}, R"({"transmitters": [
        {"address": "21", "baud": 9600}, {"address": "22", "baud": 4800},
        {"address": "23", "baud": 2400}, {"address": "24", "baud": 1200}]})");
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
    for (const QString address : {"21", "22", "23", "24"}) {
        const QString model = QStringLiteral("M-%1-").arg(address).leftJustified(32, 'm');
        const QString id = QStringLiteral("I-%1-").arg(address).leftJustified(32, 'i');
        const CliRun set = runCli(onBus({"set", address, "model=" + model, "id=" + id}));
        QVERIFY2(set.exitCode == 0, qPrintable(describe(set)));
        CliRun read = runCli(onBus({"--json", "read", address}));
        // A loaded machine may hold the simulator up past a deadline once; a
        // frame cut short by the time-out fails every time.
        if (read.exitCode != 0)
            read = runCli(onBus({"--json", "read", address}));
        QVERIFY2(read.exitCode == 0, qPrintable(describe(read)));
        const QJsonObject o = QJsonDocument::fromJson(read.out.toUtf8()).object();
        QCOMPARE(o["model"].toString(), model);
        QCOMPARE(o["id"].toString(), id);
    }
    // A move starts with the ID: one of 32 characters goes through at 1200.
    const CliRun move = runCli(onBus({"move", "24", "--to", "25", "--rate", "1200"}));
    QVERIFY2(move.exitCode == 0, qPrintable(describe(move)));
    QCOMPARE(state("25")["id"].toString(), QStringLiteral("I-24-").leftJustified(32, 'i'));
}

QTEST_GUILESS_MAIN(TestCliWriting)
#include "tst_cli_writing.moc"
