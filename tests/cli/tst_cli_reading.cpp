// tarnwick-cli as a script runs it: a separate process on the simulated bus,
// through the real serial layer, judged by its output and exit status.

#include "support/cli_process.h"
#include "support/simulator_process.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
const QByteArray kBus = R"({"transmitters": [
    {"address": "07", "baud": 4800, "model": "PT-A", "id": "SN7", "unit": 3, "decimals": 2,
     "rangeLow": "+000.00", "rangeHigh": "+250.00", "trim4mA": "+0012", "trim20mA": "-0007",
     "faults": {"OL": "silent", "OH": "bad-checksum"}},
    {"address": "12", "baud": 1200, "model": "PT-B", "unit": 0, "decimals": 1},
    {"address": "31", "baud": 9600, "model": "PT-C", "unit": 6, "decimals": 4},
    {"address": "44", "baud": 9600, "model": "PT-L", "decimals": 2, "faults": {"RP0": "late"}},
    {"address": "52", "baud": 9600, "model": "PT-E", "id": "", "faults": {"DH": "empty-data"}},
    {"address": "53", "baud": 9600, "model": "M-53-mmmmmmmmmmmmmmmmmmmmmmmmmmmm", "unit": 5},
    {"address": "61", "baud": 9600, "model": "PT-F", "unit": 7},
    {"address": "62", "baud": 9600, "model": "PT-G", "unit": 12}]})";
} // namespace

class TestCliReading : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void read_json_marks_failures();
    void trace_goes_to_stderr_and_the_file();
    void unit_code_without_a_name_data();
    void unit_code_without_a_name();
    void inventory_json_holds_the_bus();
    void poll_csv();
    void json_everywhere_data();
    void json_everywhere();
    void inventory_table_lines_up();
    void poll_keeps_a_fixed_schedule();
    void poll_retries_a_failed_read();
    void poll_asks_for_a_unit_until_it_answers();
    void ctrl_c_stops_a_search_data();
    void ctrl_c_stops_a_search();
    void links_without_line_timing_data();
    void links_without_line_timing();

private:
    SimulatorProcess m_sim{{}, kBus};
    QTemporaryDir m_files; // configuration files of the monitor's rows
    QString file(const QString& name) const { return m_files.filePath(name); }
    QStringList onBus(const QStringList& args) const {
        return QStringList{QStringLiteral("--port"), m_sim.devicePath()} + args;
    }
};

void TestCliReading::initTestCase() {
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
    for (const auto& [name, text] :
         {std::pair{"unknown.conf", "# a monitor\ninterval=500\ncolour=blue\n"},
          std::pair{"flag.conf", "ha-discovery=true\nsearch=maybe\n"},
          std::pair{"password.conf", "mqtt=mqtt://127.0.0.1:1\npassword=hunter2\n"},
          std::pair{"badvalue.conf", "\n\nqueue = none\n"}}) {
        QFile f(file(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
}

void TestCliReading::commands_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("onTheBus");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("outputLines");
    QTest::addColumn<QString>("errorHolds");

    QTest::newRow("search finds only what it probes")
        << QStringList{"search", "--address", "5-12", "--baud", "1200,4800"} << true << 0
        << QStringList{"07 4800", "12 1200"} << QString();
    QTest::newRow("search of a silent range finds nothing")
        << QStringList{"search", "-a", "40-42", "-b", "9600"} << true << 1 << QStringList{}
        << QStringLiteral("no transmitter answered");
    QTest::newRow("search json")
        << QStringList{"--json", "search", "--address", "31", "--baud", "9600"} << true << 0
        << QStringList{"[",     "    {", "        \"address\": \"31\",", "        \"baud\": 9600",
                       "    }", "]"}
        << QString();
    QTest::newRow("read at 1200 found by auto")
        << QStringList{"read", "12"} << true << 0
        << QStringList{"address     12", "baud        1200", "model       PT-B"} << QString();
    QTest::newRow("read at 9600 given") << QStringList{"read", "31", "--baud", "9600"} << true << 0
                                        << QStringList{"address     31", "baud        9600",
                                                       "unit        6 Unknown", "decimals    4"}
                                        << QString();
    QTest::newRow("read with a silent and a corrupt reply")
        << QStringList{"read", "7", "--baud", "4800"} << true << 1
        << QStringList{"unit        3 Bar", "outputLow   (failed: no reply)",
                       "outputHigh  (failed: invalid reply)", "trim4mA     +0012"}
        << QStringLiteral("07 OL: no reply");
    // No data is no number; a text may be blank.
    QTest::newRow("read with an empty range reply and a blank id")
        << QStringList{"read", "52", "--baud", "9600"} << true << 1
        << QStringList{"rangeHigh   (failed: no data)", "id          ", "model       PT-E"}
        << QStringLiteral("52 DH: no data");
    // A code the tool has no name for is no unit, and the read failed.
    QTest::newRow("read of unit code 7")
        << QStringList{"read", "61", "--baud", "9600"} << true << 1
        << QStringList{"unit        \"7\" (not a code)", "model       PT-F"}
        << QStringLiteral("61 UT: not a code");
    QTest::newRow("read at the wrong rate")
        << QStringList{"read", "07", "--baud", "9600"} << true << 1
        << QStringList{"model       (failed: no reply)"} << QString();
    QTest::newRow("read of a silent address")
        << QStringList{"read", "55"} << true << 1 << QStringList{}
        << QStringLiteral("no answer from 55 at any rate");
    QTest::newRow("send") << QStringList{"send", "07", "UT", "--baud", "4800"} << true << 0
                          << QStringList{"*073"} << QString();
    QTest::newRow("send to a silent command")
        << QStringList{"send", "07", "OL", "--baud", "4800"} << true << 1 << QStringList{"ERR 0"}
        << QStringLiteral("no reply");
    QTest::newRow("send refuses a non-ASCII text")
        << QStringList{"send", "07", "UT\u00e9"} << true << 2 << QStringList{}
        << QStringLiteral("printable ASCII");
    QTest::newRow("send refuses \"$\", which starts a frame")
        << QStringList{"send", "07", "ID$1"} << true << 2 << QStringList{}
        << QStringLiteral("holds \"$\", which a transmitter takes as the start of a new request; "
                          "nothing sent");
    // Polling starts with what answers and keeps probing the rest; only a
    // bus where nothing answers ends it at the start.
    QTest::newRow("poll goes on without a missing transmitter")
        << QStringList{"poll", "31", "55", "-c", "2", "-i", "0", "--csv"} << true << 1
        << QStringList{"time,address,unit,pressure,temperature,pressureState,temperatureState"}
        << QStringLiteral("55: 0 cycles, 0 readings, failures: none; 0 missed slots; 0 retries; "
                          "missing for 2 cycles");
    QTest::newRow("poll where nothing answers")
        << QStringList{"poll", "55", "-c", "2"} << true << 1 << QStringList{}
        << QStringLiteral("no answer from 55 at any rate");
    // What came is shown beside the window's marker.
    QTest::newRow("send of a command whose reply is invalid")
        << QStringList{"send", "07", "OH", "-b", "4800"} << true << 1 << QStringList{"EER 3"}
        << QStringLiteral("07 OH: invalid reply (bad checksum): \"*07");
    QTest::newRow("help of a command that does not exist")
        << QStringList{"help", "bogus"} << false << 2 << QStringList{}
        << QStringLiteral("no command bogus");
    QTest::newRow("search takes auto as read does")
        << QStringList{"search", "-a", "31", "-b", "auto"} << true << 0 << QStringList{"31 9600"}
        << QString();
    QTest::newRow("an unknown parameter of a raw address is named")
        << QStringList{"--port", "tcp://127.0.0.1:1?baud=4800&x=1", "read", "01"} << false << 2
        << QStringList{} << QStringLiteral("unknown parameter \"x\"");
    // A script whose variable is misspelt must not reach com1's bus.
    QTest::newRow("an empty TARNWICK_PORT")
        << QStringList{"TARNWICK_PORT=", "read", "01"} << false << 2 << QStringList{}
        << QStringLiteral("TARNWICK_PORT is empty");
    QTest::newRow("send refuses a blank text")
        << QStringList{"send", "07", "  "} << true << 2 << QStringList{} << QStringLiteral("empty");
    QTest::newRow("send of a store needs --yes, in any letter case")
        << QStringList{"send", "07", "wf", "-b", "4800"} << true << 2
        << QStringList{"would send $07wf16\\r to 07: store the present settings in the factory "
                       "data area"}
        << QStringLiteral("add --yes");
    QTest::newRow("send of a move needs --yes") << QStringList{"send", "07", "AD08"} << true << 2
                                                << QStringList{} << QStringLiteral("add --yes");
    QTest::newRow("a port that does not exist")
        << QStringList{"--port", "/dev/tarnwick-no-such-port", "read", "01"} << false << 2
        << QStringList{}
        << QStringLiteral("cannot open /dev/tarnwick-no-such-port: no such device");
    QTest::newRow("a port name alone is looked for here, then under /dev")
        << QStringList{"-p", "tarnwick-no-such-port", "read", "01"} << false << 2 << QStringList{}
        << QStringLiteral("cannot open /dev/tarnwick-no-such-port: no such device (no "
                          "tarnwick-no-such-port in the current folder");
    QTest::newRow("an empty port") << QStringList{"--port", "", "read", "01"} << false << 2
                                   << QStringList{} << QStringLiteral("--port is empty");
    QTest::newRow("a port of an unknown kind")
        << QStringList{"--port", "foo://host:1", "read", "01"} << false << 2 << QStringList{}
        << QStringLiteral("is no port: only rfc2217:// and tcp:// addresses are known");
    QTest::newRow("help COMMAND") << QStringList{"help", "read"} << false << 0
                                  << QStringList{"Usage: tarnwick-cli [global options] read "
                                                 "[options] ADDR"}
                                  << QString();
    QTest::newRow("an unknown command") << QStringList{"frobnicate"} << true << 2 << QStringList{}
                                        << QStringLiteral("unknown command");
    QTest::newRow("completion for a shell it does not know")
        << QStringList{"completion", "fish"} << false << 2 << QStringList{}
        << QStringLiteral("\"fish\"");
    QTest::newRow("an address out of range")
        << QStringList{"read", "100"} << true << 2 << QStringList{} << QStringLiteral("\"100\"");
    QTest::newRow("a rate that is none") << QStringList{"read", "07", "--baud", "19200"} << true
                                         << 2 << QStringList{} << QStringLiteral("--baud");
    // The monitor refuses what it cannot use before it opens the port.
    const QList<std::pair<QStringList, QString>> monitorRefusals{
        {{"--mqtt", "http://127.0.0.1"},
         "--mqtt \"http://127.0.0.1\": give mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"},
        {{"--mqtt", "mqtt://127.0.0.1:70000"}, "port 70000 is out of range (1 to 65535)"},
        {{"--queue", "0"}, "--queue \"0\": give 1 to 10000000 readings"},
        {{"--offline-after", "0"}, "--offline-after \"0\": give 1 to 1000 cycles"},
        {{"--config", file("unknown.conf")}, file("unknown.conf") + ":3: unknown key \"colour\""},
        {{"--config", file("flag.conf")}, file("flag.conf") + ":2: search: give true or false"},
        {{"--config", file("password.conf")},
         file("password.conf") + ":2: password belongs in the credentials file"},
        {{"--config", file("badvalue.conf")},
         file("badvalue.conf") + ":3: queue \"none\": give 1 to 10000000 readings"},
        {{"--mqtt", "mqtt://127.0.0.1:1", "--credentials", file("none")},
         file("none") + ": cannot be read"},
        {{"--mqtt", "mqtt://127.0.0.1:1", "--state-dir", "/proc/tarnwick-state"},
         "--state-dir /proc/tarnwick-state: cannot make the folder"},
        {{"--interval", "-1"}, "--interval \"-1\": give milliseconds"},
        {{"--topic", "plant/#"}, "give a topic without wildcards"},
        {{"--ha-discovery", "--ha-prefix", "home/+"},
         "--ha-prefix \"home/+\": give a topic without wildcards"},
        {{}, "monitor needs an address"}};
    for (const auto& [options, error] : monitorRefusals)
        QTest::addRow("monitor %s", qPrintable(options.join(' ')))
            << QStringList{"monitor"} + (options.isEmpty() ? options : options + QStringList{"07"})
            << true << 2 << QStringList{} << error;
    // A port not there at the start is worth another try by a service
    // manager; a port name that is wrong is not.
    QTest::newRow("monitor without its adapter")
        << QStringList{"--port", "/dev/ttyUSB-tarnwick-missing", "monitor", "07"} << false << 1
        << QStringList{} << QStringLiteral("cannot open /dev/ttyUSB-tarnwick-missing");
    QTest::newRow("monitor of a port of no kind")
        << QStringList{"--port", "foo://x", "monitor", "07"} << false << 2 << QStringList{}
        << QStringLiteral("is no port");
    QTest::newRow("version") << QStringList{"--version"} << false << 0
                             << QStringList{"tarnwick-cli 1.34"} << QString();
}

void TestCliReading::commands() {
    QFETCH(QStringList, args);
    QFETCH(bool, onTheBus);
    QFETCH(int, exitCode);
    QFETCH(QStringList, outputLines);
    QFETCH(QString, errorHolds);

    // "NAME=value" first: the run's environment.
    std::optional<QByteArray> variable;
    if (args.first().contains(QLatin1Char('='))) {
        variable = args.takeFirst().toUtf8();
        qputenv(variable->left(variable->indexOf('=')), variable->mid(variable->indexOf('=') + 1));
    }
    const CliRun r = runCli(onTheBus ? onBus(args) : args);
    if (variable)
        qunsetenv(variable->left(variable->indexOf('=')));
    QVERIFY2(
        r.exitCode == exitCode,
        qPrintable(
            QStringLiteral("exit %1, stdout:\n%2\nstderr:\n%3").arg(r.exitCode).arg(r.out, r.err)));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : outputLines)
        QVERIFY2(lines.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + r.out));
    if (outputLines.isEmpty() && args.first() == QLatin1String("search"))
        QCOMPARE(r.out, QString());
    QVERIFY2(r.err.contains(errorHolds), qPrintable(r.err));
    // No text of the window (Chinese) reaches a script.
    for (const QChar c : r.err)
        QVERIFY2(c.unicode() < 0x80, qPrintable(r.err));
}

void TestCliReading::json_everywhere_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorHolds"); // the error object's text; empty: none
    QTest::addColumn<QString>("stdoutHolds");

    // Every failed run ends with the error object, its text the last failure.
    QTest::newRow("read") << QStringList{"read", "31", "-b", "9600"} << 0 << QString() << QString();
    QTest::newRow("read with failed exchanges")
        << QStringList{"read", "07"} << 1 << "07: 2 of 14 reads failed (no reply, invalid reply)"
        << QString();
    QTest::newRow("send to a silent command")
        << QStringList{"send", "07", "OL", "-b", "4800"} << 1 << "07 OL: no reply" << QString();
    QTest::newRow("poll with a failed read")
        << QStringList{"poll", "44", "-b", "9600", "-c", "1"} << 1 << "1 reads failed" << QString();
    // A value refusal prints its document, as a --yes refusal does.
    QTest::newRow("set refused") << QStringList{"set", "31", "rangeHigh=abc"} << 2
                                 << "is not a number"
                                 << "\"sent\": false";
    QTest::newRow("read of a silent address")
        << QStringList{"read", "55"} << 1 << "no answer from 55" << QString();
    QTest::newRow("search finding nothing") << QStringList{"search", "-a", "40", "-b", "9600"} << 1
                                            << "no transmitter answered" << QString();
    QTest::newRow("send") << QStringList{"send", "07", "UT"} << 0 << QString() << QString();
    QTest::newRow("send refused without --yes")
        << QStringList{"send", "07", "LD"} << 2 << "add --yes" << QString();
    QTest::newRow("dry run of send")
        << QStringList{"-n", "send", "07", "LD"} << 0 << QString() << QString();
    QTest::newRow("dry run of set")
        << QStringList{"--dry-run", "set", "31", "unit=2"} << 0 << QString() << QString();
    QTest::newRow("store factory refused")
        << QStringList{"store", "31", "factory"} << 2 << "add --yes" << QString();
    QTest::newRow("an unknown command")
        << QStringList{"frobnicate"} << 2 << "unknown command" << QString();
    QTest::newRow("a usage error of a command")
        << QStringList{"read"} << 2 << "read takes ADDR" << QString();
    QTest::newRow("an unknown option")
        << QStringList{"read", "07", "--frob"} << 2 << "frob" << QString();
    QTest::newRow("--csv with --json")
        << QStringList{"poll", "31", "--csv"} << 2 << "--csv" << QString();
    QTest::newRow("a port that does not exist")
        << QStringList{"--port", "/dev/tarnwick-no-such-port", "read", "01"} << 2
        << "no such device" << QString();
}

void TestCliReading::json_everywhere() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, errorHolds);
    QFETCH(QString, stdoutHolds);
    // -j anywhere on the command line, after the command's arguments too.
    const CliRun r = runCli(args.contains("--port") ? args << "-j" : onBus(args << "-j"));
    QVERIFY2(r.exitCode == exitCode, qPrintable(describe(r)));
    QVERIFY2(r.out.contains(stdoutHolds), qPrintable(describe(r)));
    QJsonParseError error;
    if (!r.out.isEmpty()) {
        QJsonDocument::fromJson(r.out.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(describe(r)));
    }
    // stderr: one JSON object a line; the error, when there is one, last.
    const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        QJsonDocument::fromJson(line.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(describe(r)));
    }
    const QJsonObject last =
        lines.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(lines.last().toUtf8()).object();
    QCOMPARE(last.contains("error"), !errorHolds.isEmpty());
    if (!errorHolds.isEmpty()) {
        QVERIFY2(last["error"].toString().contains(errorHolds), qPrintable(describe(r)));
        QCOMPARE(last["exit"].toInt(), exitCode);
    }
}

void TestCliReading::inventory_table_lines_up() {
    for (const bool wide : {false, true}) {
        QStringList args{"inventory", "-a", "31,53", "-b", "9600"};
        if (wide)
            args << "--wide";
        const CliRun r = runCli(onBus(args));
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[2].contains(wide ? "M-53-mmmmmmmmmmmmmmmmmmmmmmmmmmmm SIM53"
                                        : "M-53-mmmmmmmmmmmmmmmmmmmmmmmmmmmm mBar"),
                 qPrintable(r.out));
        QCOMPARE(lines[0].contains("temperature"), wide);
        // Every column starts at the same place on every line.
        QRegularExpressionMatchIterator heading = QRegularExpression("\\S+").globalMatch(lines[0]);
        while (heading.hasNext()) {
            const qsizetype at = heading.next().capturedStart();
            for (const QString& row : lines.mid(1))
                QVERIFY2(row.size() > at && row[at] != ' ' && (at == 0 || row[at - 1] == ' '),
                         qPrintable(r.out));
        }
    }
}

void TestCliReading::trace_goes_to_stderr_and_the_file() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("trace.txt"));
    const CliRun r =
        runCli(onBus({"--trace", "--trace-file", file, "read", "31", "--baud", "9600"}));
    QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
    QFile trace(file);
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(trace.readAll());
    for (const QString& where : {r.err, written})
        QVERIFY2(where.contains(QStringLiteral(" -> $31TY")) &&
                     where.contains(QStringLiteral(" <- *31PT-C")),
                 qPrintable(where));
}

void TestCliReading::read_json_marks_failures() {
    const CliRun r = runCli(onBus({"--json", "read", "07", "--baud", "4800"}));
    QCOMPARE(r.exitCode, 1);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o["address"].toString(), QStringLiteral("07"));
    QCOMPARE(o["baud"].toInt(), 4800);
    QCOMPARE(o["model"].toString(), QStringLiteral("PT-A"));
    QCOMPARE(o["unit"]["code"].toInt(), 3);
    QCOMPARE(o["unit"]["name"].toString(), QStringLiteral("Bar"));
    QCOMPARE(o["decimals"].toInt(), 2);
    QCOMPARE(o["rangeHigh"].toString(), QStringLiteral("+250.00"));
    QCOMPARE(o["rangeHighValue"].toDouble(), 250.0);
    QVERIFY(o["outputLow"].isNull());
    QVERIFY(o["outputLowValue"].isNull());
    QVERIFY(o["temperatureValue"].isDouble());
    QVERIFY(o["outputHigh"].isNull());
    const QJsonArray errors = o["errors"].toArray();
    QCOMPARE(errors.size(), 2);
    QCOMPARE(errors[0]["command"].toString(), QStringLiteral("OL"));
    QCOMPARE(errors[1]["error"].toString(), QStringLiteral("invalid reply"));
    // Reading never writes: every frame to 07 is a bare read or the rate probe.
    const QRegularExpression bareRead(QStringLiteral(
        "heard \\$07(TY|DL|DH|UT|ID|VR|DP|OL|OH|ZF|FF|RP0|RT0|AD)[0-9A-F]{2}\\\\r( --.*)?$"));
    const QStringList heard = m_sim.traceLines().filter(QStringLiteral("heard $07"));
    QVERIFY(heard.size() >= 14);
    for (const QString& line : heard)
        QVERIFY2(bareRead.match(line).hasMatch(), qPrintable(line));

    // No data is no number: null and an error; a blank id is a value.
    const CliRun blank = runCli(onBus({"--json", "read", "52", "--baud", "9600"}));
    QCOMPARE(blank.exitCode, 1);
    const QJsonObject b = QJsonDocument::fromJson(blank.out.toUtf8()).object();
    QVERIFY(b["rangeHigh"].isNull());
    QCOMPARE(b["id"], QJsonValue(QString()));
    QCOMPARE(b["errors"].toArray().size(), 1);
    QCOMPARE(b["errors"][0]["error"].toString(), QStringLiteral("no data"));
}

void TestCliReading::unit_code_without_a_name_data() {
    QTest::addColumn<QString>("address");
    QTest::newRow("code 7, one past the last name") << "61";
    QTest::newRow("code 12, two digits") << "62";
}

void TestCliReading::unit_code_without_a_name() {
    QFETCH(QString, address);
    const CliRun r = runCli(onBus({"--json", "read", address, "--baud", "9600"}));
    QVERIFY2(r.exitCode == 1, qPrintable(describe(r)));
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QVERIFY2(o["unit"]["code"].isNull() && o["unit"]["name"].isNull(), qPrintable(r.out));
    QCOMPARE(o["errors"].toArray().size(), 1);
    QCOMPARE(o["errors"][0]["command"].toString(), QStringLiteral("UT"));
    // Its pressures are logged without a unit rather than in one it is not.
    const CliRun polled =
        runCli(onBus({"poll", address, "--baud", "9600", "-c", "2", "-i", "0", "--csv"}));
    const QStringList rows = polled.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1);
    QCOMPARE(rows.size(), 2);
    for (const QString& row : rows)
        QVERIFY2(row.section(',', 1, 2) == address + QLatin1Char(','), qPrintable(row));
}

void TestCliReading::inventory_json_holds_the_bus() {
    const CliRun r = runCli(onBus({"--json", "inventory", "--address", "7,12,31"}));
    QCOMPARE(r.exitCode, 1); // 07 answers OL and OH badly
    const QJsonArray list = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QStringList seen;
    for (const QJsonValue& v : list)
        seen << v["address"].toString() + QLatin1Char('@') + QString::number(v["baud"].toInt()) +
                    QLatin1Char(' ') + v["model"].toString();
    QCOMPARE(seen, (QStringList{"31@9600 PT-C", "07@4800 PT-A", "12@1200 PT-B"}));
    QCOMPARE(list[2]["decimals"].toInt(), 1);
}

void TestCliReading::poll_csv() {
    // Three transmitters at three rates, each row naming its transmitter and
    // unit.
    const CliRun r = runCli(onBus({"poll", "31", "12", "-a", "7", "-c", "2", "--csv", "-i", "0"}));
    QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], QStringLiteral("time,address,unit,pressure,temperature,pressureState,"
                                      "temperatureState"));
    const QRegularExpression row(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\S*,"
                       "(\\d\\d),(\\w+),[+-][0-9.]+,[+-][0-9.]+,ok,ok$"));
    QStringList seen;
    for (int i = 1; i < 7; ++i) {
        const QRegularExpressionMatch m = row.match(lines[i]);
        QVERIFY2(m.hasMatch(), qPrintable(lines[i]));
        seen << m.captured(1) + ' ' + m.captured(2);
    }
    QCOMPARE(seen,
             (QStringList{"31 Unknown", "12 kPa", "07 Bar", "31 Unknown", "12 kPa", "07 Bar"}));
    QVERIFY2(r.err.contains(QStringLiteral("12: 2 cycles, 4 readings, failures: none")),
             qPrintable(r.err));

    // Each pressure reply comes after its time-out, while the temperature is
    // asked for: it must not be taken for the temperature.
    const CliRun late =
        runCli(onBus({"poll", "44", "--baud", "9600", "--count", "3", "--csv", "--interval", "0"}));
    const QStringList cycles = late.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1);
    QCOMPARE(cycles.size(), 3);
    const QRegularExpression onlyTemperature(QStringLiteral(",,[+-]\\d\\d\\.\\d,no reply,ok$"));
    for (const QString& cycle : cycles)
        QVERIFY2(onlyTemperature.match(cycle).hasMatch(), qPrintable(cycle));
    // JSON rows carry the numbers beside the texts, and each read's state.
    const CliRun json = runCli(onBus({"--json", "poll", "44", "-b", "9600", "-c", "1"}));
    const QJsonObject o =
        QJsonDocument::fromJson(json.out.section(QLatin1Char('\n'), 0, 0).toUtf8()).object();
    QVERIFY2(o["pressure"].isNull() && o["pressureValue"].isNull() &&
                 o["pressureState"] == QStringLiteral("no reply"),
             qPrintable(json.out));
    QVERIFY2(o["temperatureValue"].toDouble() == o["temperature"].toString().toDouble() &&
                 o["temperatureState"] == QStringLiteral("ok"),
             qPrintable(json.out));
}

namespace {
// The times of a poll's CSV rows, in milliseconds since the epoch.
QList<qint64> rowTimes(const QString& csv) {
    QList<qint64> times;
    for (const QString& line : csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1))
        times.append(
            QDateTime::fromString(line.section(',', 0, 0), Qt::ISODateWithMs).toMSecsSinceEpoch());
    return times;
}
} // namespace

void TestCliReading::poll_keeps_a_fixed_schedule() {
    // 200 cycles 100 ms apart at 9600 baud: the last starts 199 intervals
    // after the first, plus one for each slot the summary says was missed
    // (a loaded machine may delay a cycle past its slot), with no drift from
    // the time each cycle takes.
    // 400 exchanges with 60 ms time-outs: a loaded machine may hold the
    // simulator past one, and that read fails as it should. Such a run is
    // made again, three in all; a fault of the tool fails every one.
    const QRegularExpression heldUp(
        QStringLiteral("31: 200 cycles, \\d+ readings, failures: \\d+ (no reply|invalid reply)"
                       "(, \\d+ (no reply|invalid reply))?;"));
    CliRun r;
    for (int run = 1; run <= 3; ++run) {
        r = runCli(onBus({"poll", "31", "-b", "9600", "-c", "200", "-i", "100", "--csv"}));
        if (r.exitCode != 1 || !heldUp.match(r.err).hasMatch())
            break;
        qInfo("run %d: a read failed on a loaded machine; made again", run);
    }
    QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
    const QList<qint64> times = rowTimes(r.out);
    QCOMPARE(times.size(), 200);
    const QRegularExpressionMatch fastSummary =
        QRegularExpression(QStringLiteral("31: 200 cycles, 400 readings, failures: none; "
                                          "(\\d+) missed slots"))
            .match(r.err);
    QVERIFY2(fastSummary.hasMatch(), qPrintable(r.err));
    const qint64 expectedSpan = (199 + fastSummary.captured(1).toLongLong()) * 100;
    const qint64 span = times.last() - times.first();
    QVERIFY2(qAbs(span - expectedSpan) <= 99,
             qPrintable(QStringLiteral("%1 ms, expected %2").arg(span).arg(expectedSpan)));

    // At 1200 baud a cycle takes longer than 100 ms: the slots it overruns
    // are counted and skipped, never caught up in a burst.
    const CliRun slow =
        runCli(onBus({"poll", "12", "-b", "1200", "-c", "4", "-i", "100", "--csv"}));
    QVERIFY2(slow.exitCode == 0, qPrintable(describe(slow)));
    const QList<qint64> slowTimes = rowTimes(slow.out);
    QCOMPARE(slowTimes.size(), 4);
    qint64 skipped = 0;
    for (int i = 1; i < slowTimes.size(); ++i) {
        const qint64 gap = slowTimes[i] - slowTimes[i - 1];
        QVERIFY2(gap >= 200, qPrintable(QString::number(gap)));
        skipped += (gap + 50) / 100 - 1;
    }
    const QRegularExpression missed(QStringLiteral("12: 4 cycles, 8 readings, failures: none; "
                                                   "(\\d+) missed slots"));
    const QRegularExpressionMatch m = missed.match(slow.err);
    QVERIFY2(m.hasMatch(), qPrintable(slow.err));
    QCOMPARE(m.captured(1).toLongLong(), skipped);
}

void TestCliReading::poll_retries_a_failed_read() {
    // 31 ignores every second "RP0": without retries half the pressures are
    // lost, with one retry none is.
    QCOMPARE(m_sim.control("fault 31 RP0 every-second"), QStringLiteral("ok"));
    const CliRun bare = runCli(onBus({"poll", "31", "-b", "9600", "-c", "4", "-i", "0", "--csv"}));
    const CliRun retried = runCli(
        onBus({"poll", "31", "-b", "9600", "-c", "4", "-i", "0", "--csv", "--retries", "1"}));
    QCOMPARE(m_sim.control("fault 31 RP0 none"), QStringLiteral("ok"));
    QVERIFY2(bare.exitCode == 1 && bare.err.contains("failures: 2 no reply"),
             qPrintable(describe(bare)));
    QVERIFY2(retried.exitCode == 0 && retried.err.contains("4 cycles, 8 readings, failures: none"),
             qPrintable(describe(retried)));
    // Each read that failed once and was sent again is counted.
    const QRegularExpressionMatch retries =
        QRegularExpression(QStringLiteral("missed slots; (\\d+) retries")).match(retried.err);
    QVERIFY2(retries.hasMatch() && retries.captured(1).toInt() >= 1, qPrintable(retried.err));
    QVERIFY2(bare.err.contains("missed slots; 0 retries"), qPrintable(bare.err));
    QCOMPARE(retried.out.count(QRegularExpression(",,")), 0);
}

void TestCliReading::poll_asks_for_a_unit_until_it_answers() {
    // 31's unit is silent at the start and answers from the second ask on.
    QCOMPARE(m_sim.control("fault 31 UT silent"), QStringLiteral("ok"));
    const auto unitAsks = [this] {
        return m_sim.traceLines().filter(QStringLiteral("heard $31UT")).size();
    };
    const qsizetype asksBefore = unitAsks();
    QProcess p;
    p.start(QStringLiteral(TARNWICK_CLI_PATH),
            onBus({"poll", "31", "-b", "9600", "-c", "5", "-i", "300", "--csv"}));
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(unitAsks() - asksBefore >= 2, 10'000);
    QCOMPARE(m_sim.control("fault 31 UT none"), QStringLiteral("ok"));
    QVERIFY(p.waitForFinished(20'000));
    const QStringList rows =
        QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).mid(1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    // Rows without the unit, then with it; a row went out without its unit,
    // so the run failed.
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(rows.size(), 5);
    qsizetype withoutUnit = 0;
    while (withoutUnit < rows.size() && rows[withoutUnit].section(',', 2, 2).isEmpty())
        ++withoutUnit;
    QVERIFY2(withoutUnit >= 1 && withoutUnit < rows.size(), qPrintable(rows.join('\n')));
    for (const QString& row : rows.mid(withoutUnit))
        QCOMPARE(row.section(',', 2, 2), QStringLiteral("Unknown"));
    // Asked at the start, before each row without it, and once more.
    QCOMPARE(unitAsks() - asksBefore, withoutUnit + 2);
    QVERIFY2(err.contains("31 UT: no reply; its rows carry no unit until it answers") &&
                 err.contains("31 UT: Unknown; its rows carry it from now on"),
             qPrintable(err));
}

void TestCliReading::ctrl_c_stops_a_search_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("Ctrl-C") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
}

void TestCliReading::ctrl_c_stops_a_search() {
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QProcess p;
    p.start(QStringLiteral(TARNWICK_CLI_PATH),
            onBus({"search", "--baud", "4800,1200", "--address", "1-99"}));
    QVERIFY(p.waitForStarted());
    QString out;
    QTRY_VERIFY_WITH_TIMEOUT(
        (out += QString::fromUtf8(p.readAllStandardOutput())).contains("07 4800"), 30'000);
    ::kill(pid_t(p.processId()), signal);
    // The probe in flight ends, then the search: long before 12 at 1200 baud.
    QVERIFY(p.waitForFinished(5'000));
    QCOMPARE(p.exitCode(), exitCode);
    out += QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(out, QStringLiteral("07 4800\n"));
}

void TestCliReading::links_without_line_timing_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    // The simulator answers at once; on a timed port every reply is too early.
    QTest::newRow("timed port") << QStringList{"--port", "DEVICE"} << 1;
    QTest::newRow("--no-line-timing") << QStringList{"--port", "DEVICE", "--no-line-timing"} << 0;
    QTest::newRow("com2 marked in the settings file") << QStringList{"--port", "com2"} << 0;
    QTest::newRow("com3 not marked") << QStringList{"--port", "com3"} << 1;
}

void TestCliReading::links_without_line_timing() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    SimulatorProcess untimed({QStringLiteral("--no-line-timing")}, kBus);
    QVERIFY2(untimed.start(), qPrintable(untimed.errorString()));
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarnwick");
    QVERIFY(QDir().mkpath(folder));
    QFile settings(folder + QStringLiteral("/Tarnwick.conf"));
    QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    settings.write(QStringLiteral("[Ports]\ncom2=%1\ncom2.lineTiming=false\ncom3=%1\n")
                       .arg(untimed.devicePath())
                       .toUtf8());
    settings.close();

    args.replaceInStrings(QStringLiteral("DEVICE"), untimed.devicePath());
    // At 1200 baud a reply comes long before the line could carry it even
    // when a loaded machine holds the simulator up for a while.
    const CliRun r = runCli(args + QStringList{"read", "12", "--baud", "1200"});
    QVERIFY2(r.exitCode == exitCode, qPrintable(r.out + r.err));
    QCOMPARE(r.out.contains(QStringLiteral("model       PT-B")), exitCode == 0);
    QCOMPARE(r.err.contains(QStringLiteral("lineTiming=false")), exitCode != 0);
    // The command line never writes the window's settings.
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(!settings.readAll().contains("CommPort"));
}

QTEST_GUILESS_MAIN(TestCliReading)
#include "tst_cli_reading.moc"
