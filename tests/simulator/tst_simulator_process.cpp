// The built tarnwick-sim end to end: started as its own process, talked to on
// its pseudo-terminal as the tool would, watched through its trace.

#include "link/frame.h"
#include "support/line_end.h"
#include "support/simulator_process.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kPatienceMs = 3000;
constexpr int kQuietMs = 400;

struct TraceLine {
    qint64 ns = 0;
    int baud = 0;
    QString direction;
    QString frame;
    QString note;
};

// "<ns> <baud> heard|sent <frame>[ -- <note>]"
TraceLine parse(const QString& line) {
    static const QRegularExpression format(
        QStringLiteral("^(\\d+) (\\d+) (heard|sent) (.*?)(?: -- (.*))?$"));
    const QRegularExpressionMatch m = format.match(line);
    if (!m.hasMatch())
        return {};
    return {m.captured(1).toLongLong(), m.captured(2).toInt(), m.captured(3), m.captured(4),
            m.captured(5)};
}

// The lines of the trace about one frame, in order.
QList<TraceLine> about(const QStringList& lines, const QString& frame) {
    QList<TraceLine> found;
    for (const QString& line : lines) {
        const TraceLine t = parse(line);
        if (t.frame == frame)
            found << t;
    }
    return found;
}

// The trace once it holds count lines about frame. A line is written right
// after its frame goes out, so it can trail the reply the test has just read.
QStringList traceWith(const SimulatorProcess& sim, const QString& frame, int count = 1) {
    const QDeadlineTimer deadline(kPatienceMs);
    QStringList lines = sim.traceLines();
    while (about(lines, frame).size() < count && !deadline.hasExpired()) {
        QTest::qSleep(10);
        lines = sim.traceLines();
    }
    return lines;
}

} // namespace

class TestSimulatorProcess : public QObject {
    Q_OBJECT

private slots:
    void answers_on_its_line_and_traces_each_frame();
    void faults_set_by_control_shape_the_reply();
    void unplug_and_replug_keep_the_link();
    void random_faults_and_unplugs_from_the_command_line();
    void a_bad_bus_file_stops_it_with_a_message();
    void bad_arguments_stop_it_with_a_message_data();
    void bad_arguments_stop_it_with_a_message();
    void a_bus_file_sets_the_transmitters();
    void terminating_it_removes_the_link();
};

void TestSimulatorProcess::answers_on_its_line_and_traces_each_frame() {
    SimulatorProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(QFileInfo(sim.devicePath()).isSymLink());
    LineEnd tool;
    QVERIFY(tool.open(sim.devicePath(), B9600));

    tool.write(QByteArrayLiteral("$01AD04\r"));
    QCOMPARE(tool.readReply(kPatienceMs), QByteArray("*010100\r"));
    // 07 listens at 4800 only.
    tool.write(QByteArrayLiteral("$07AD02\r"));
    QCOMPARE(tool.readFor(kQuietMs), QByteArray());
    QVERIFY(tool.setSpeed(B4800));
    tool.write(QByteArrayLiteral("$07AD02\r"));
    QCOMPARE(tool.readReply(kPatienceMs), QByteArray("*070700\r"));
    tool.write(QByteArrayLiteral("$07AD0F\r"));
    QCOMPARE(tool.readFor(kQuietMs), QByteArray());

    const QStringList trace = traceWith(sim, QStringLiteral("$07AD0F\\r"));
    const QList<TraceLine> probe = about(trace, QStringLiteral("$01AD04\\r"));
    QCOMPARE(probe.size(), 1);
    QCOMPARE(probe[0].baud, 9600);
    QCOMPARE(probe[0].direction, QStringLiteral("heard"));
    const QList<TraceLine> reply = about(trace, QStringLiteral("*010100\\r"));
    QCOMPARE(reply.size(), 1);
    QCOMPARE(reply[0].direction, QStringLiteral("sent"));
    // Not before the 16 characters could have crossed a 9600 baud line.
    QVERIFY2(reply[0].ns - probe[0].ns >= 16'000'000, qPrintable(trace.join('\n')));

    const QList<TraceLine> seven = about(trace, QStringLiteral("$07AD02\\r"));
    QCOMPARE(seven.size(), 2);
    QCOMPARE(seven[0].baud, 9600);
    QCOMPARE(seven[0].note, QStringLiteral("no answer: 07 listens at 4800 baud"));
    QCOMPARE(seven[1].baud, 4800);
    QCOMPARE(seven[1].note, QString());
    QCOMPARE(about(trace, QStringLiteral("$07AD0F\\r")).value(0).note,
             QStringLiteral("ignored: bad checksum"));
    for (int i = 1; i < trace.size(); ++i)
        QVERIFY(parse(trace[i]).ns >= parse(trace[i - 1]).ns);
}

void TestSimulatorProcess::faults_set_by_control_shape_the_reply() {
    SimulatorProcess sim({QStringLiteral("--fault"), QStringLiteral("01:VR:trailing"),
                          QStringLiteral("--fault"), QStringLiteral("01:RT0:late:150")});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    LineEnd tool;
    QVERIFY(tool.open(sim.devicePath(), B9600));
    const QByteArray version = frame::request("01", "VR");

    tool.write(version);
    const QByteArray trailing = "*01V2.1349\r#!";
    QCOMPARE(tool.readBytes(trailing.size(), kPatienceMs), trailing);

    QCOMPARE(sim.control(QStringLiteral("fault 01 VR late")), QStringLiteral("ok"));
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    tool.write(version);
    QCOMPARE(tool.readReply(kPatienceMs), QByteArray("*01V2.1349\r"));
    // Past the tool's 60 ms at 9600 baud, by the 40 ms margin.
    // Timers and clocks count whole milliseconds: allow two of them.
    QVERIFY2(sinceWrite.elapsed() >= 98, qPrintable(QString::number(sinceWrite.elapsed())));
    const QString reply = QStringLiteral("*01V2.1349\\r");
    const QList<TraceLine> sent = about(traceWith(sim, reply), reply);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].note, QStringLiteral("fault late"));

    QVERIFY(sim.control(QStringLiteral("state 01")).contains(QLatin1String("\"VR\":\"late\"")));

    // Late by 150 ms past the tool's 60: the first character leaves then.
    sinceWrite.restart();
    tool.write(frame::request("01", "RT0"));
    QByteArray temperature = tool.readBytes(1, kPatienceMs);
    const qint64 first = sinceWrite.elapsed();
    QVERIFY2(first >= 60 + 150 - 2 && first < 60 + 150 + 1000, qPrintable(QString::number(first)));
    if (!temperature.contains('\r'))
        temperature += tool.readReply(kPatienceMs);
    QVERIFY2(frame::replyText(temperature).startsWith("*01+"), temperature.constData());
}

void TestSimulatorProcess::unplug_and_replug_keep_the_link() {
    SimulatorProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    LineEnd tool;
    QVERIFY(tool.open(sim.devicePath(), B9600));

    QCOMPARE(sim.control(QStringLiteral("unplug")), QStringLiteral("ok"));
    QVERIFY(tool.hungUp(kPatienceMs));
    QVERIFY(!QFileInfo::exists(sim.devicePath()));
    QVERIFY(!QFileInfo(sim.devicePath()).isSymLink());

    QCOMPARE(sim.control(QStringLiteral("replug")), QStringLiteral("ok"));
    QVERIFY(tool.open(sim.devicePath(), B9600));
    tool.write(frame::request("01", "AD"));
    QCOMPARE(tool.readReply(kPatienceMs), QByteArray("*010100\r"));
}

void TestSimulatorProcess::random_faults_and_unplugs_from_the_command_line() {
    SimulatorProcess sim({QStringLiteral("--random-faults"), QStringLiteral("1"),
                          QStringLiteral("--series"), QStringLiteral("3"),
                          QStringLiteral("--unplug-every"), QStringLiteral("1.5")});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    LineEnd tool;
    QVERIFY(tool.open(sim.devicePath(), B9600));
    tool.write(frame::request("01", "RP0"));
    const QList<TraceLine> heard =
        about(traceWith(sim, QStringLiteral("$01RP033\\r")), QStringLiteral("$01RP033\\r"));
    QCOMPARE(heard.size(), 1);
    QVERIFY2(heard[0].note.contains(QLatin1String("01 random fault ")), qPrintable(heard[0].note));

    // Unplugged after 1.5 s, back on a new device 0.75 s later; both traced.
    const QDeadlineTimer deadline(3 * kPatienceMs);
    QStringList events;
    while (events.size() < 2 && !deadline.hasExpired()) {
        QTest::qSleep(50);
        events = sim.traceLines().filter(QRegularExpression(QStringLiteral("^\\d+ \\d+ event ")));
    }
    QVERIFY(events.size() >= 2);
    QCOMPARE(events[0].section(QLatin1Char(' '), 3), QStringLiteral("unplug"));
    QVERIFY2(events[1].section(QLatin1Char(' '), 3).startsWith(QLatin1String("replug ")),
             qPrintable(events[1]));
    const double downMs = double(events[1].section(QLatin1Char(' '), 0, 0).toLongLong() -
                                 events[0].section(QLatin1Char(' '), 0, 0).toLongLong()) /
                          1e6;
    QVERIFY2(downMs >= 700 && downMs < 1500, qPrintable(QString::number(downMs)));
    QVERIFY(tool.open(sim.devicePath(), B9600));
}

void TestSimulatorProcess::a_bad_bus_file_stops_it_with_a_message() {
    SimulatorProcess sim({}, R"({"transmitters": [{"address": "1", "baud": 9600}]})");
    QVERIFY(!sim.start());
    QVERIFY2(!sim.errorString().isEmpty(), "no reason given");
}

void TestSimulatorProcess::bad_arguments_stop_it_with_a_message_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString turnaround = QStringLiteral("--turnaround MS: a whole number of milliseconds");
    QTest::newRow("--turnaround 1001") << QStringList{"--turnaround", "1001"} << turnaround;
    // Checked before the default bus is printed, which would carry it.
    QTest::newRow("--turnaround -1 with --print-default-bus")
        << QStringList{"--turnaround", "-1", "--print-default-bus"} << turnaround;
    const QString fault = QStringLiteral("expected ADDR:CMD:KIND, KIND one of: none");
    QTest::newRow("late:-1") << QStringList{"--fault", "07:RP0:late:-1"} << fault;
    QTest::newRow("kind missing") << QStringList{"--fault", "07:RP0"} << fault;
}

void TestSimulatorProcess::bad_arguments_stop_it_with_a_message() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QProcess process;
    process.start(QStringLiteral(TARNWICK_SIMULATOR_PATH), args);
    QVERIFY(process.waitForFinished(kPatienceMs));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(error.startsWith(QLatin1String("tarnwick-sim: ")) && error.contains(message),
             qPrintable(error));
}

void TestSimulatorProcess::a_bus_file_sets_the_transmitters() {
    // The command line's turnaround for those whose entry sets none.
    SimulatorProcess sim({QStringLiteral("--turnaround"), QStringLiteral("150")},
                         R"({"transmitters": [
        {"address": "30", "baud": 9600, "model": "A"},
        {"address": "30", "baud": 9600, "model": "B"},
        {"address": "31", "baud": 9600, "turnaround": 400}]})");
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    LineEnd tool;
    QVERIFY(tool.open(sim.devicePath(), B9600));
    // Both answer: their replies collide on the line, one after the other.
    tool.write(frame::request("30", "TY"));
    const QByteArray both = frame::reply("30A") + frame::reply("30B");
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    QByteArray got = tool.readBytes(1, kPatienceMs);
    QVERIFY2(sinceWrite.elapsed() >= 150, qPrintable(QString::number(sinceWrite.elapsed())));
    got += tool.readBytes(both.size() - got.size(), kPatienceMs);
    QCOMPARE(got, both);
    tool.write(frame::request("01", "AD"));
    QCOMPARE(tool.readFor(kQuietMs), QByteArray());

    // 8 characters of request at 9600 baud, then 400 ms of the file's own.
    sinceWrite.restart();
    tool.write(frame::request("31", "AD"));
    got = tool.readBytes(1, kPatienceMs);
    const qint64 first = sinceWrite.elapsed();
    QVERIFY2(first >= 400 + 8 - 2 && first < 400 + 8 + 1000, qPrintable(QString::number(first)));
    if (!got.contains('\r'))
        got += tool.readReply(kPatienceMs);
    QCOMPARE(got, QByteArray("*313100\r"));
}

void TestSimulatorProcess::terminating_it_removes_the_link() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("bus"));
    // A link left behind by a run that was killed is taken over.
    QVERIFY(QFile::link(QStringLiteral("/nonexistent"), link));
    QProcess process;
    process.start(QStringLiteral(TARNWICK_SIMULATOR_PATH), {QStringLiteral("--link"), link});
    QVERIFY(process.waitForReadyRead(kPatienceMs));
    QCOMPARE(process.readLine(), (QStringLiteral("device: ") + link + '\n').toUtf8());
    QVERIFY(QFileInfo(link).symLinkTarget().startsWith(QLatin1String("/dev/pts/")));

    // The end of its input is no reason to stop...
    process.closeWriteChannel();
    QVERIFY(!process.waitForFinished(300));
    // ...a termination signal is, and it cleans up.
    process.terminate();
    QVERIFY(process.waitForFinished(kPatienceMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestSimulatorProcess)
#include "tst_simulator_process.moc"
