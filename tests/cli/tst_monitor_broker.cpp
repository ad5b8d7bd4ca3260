// tarnwick-cli monitor against a real broker: mosquitto on a loopback port
// with its persistence store, a subscriber with a persistent session that
// sees what a consumer of the readings sees, and the simulated bus behind
// the monitor. The broker goes away and comes back, the monitor ends in each
// way a service does, and a broker refuses its credentials or shows a
// certificate it must not trust.

#include "support/mosquitto_broker.h"
#include "support/simulator_process.h"

#include <QFile>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

namespace {

// Generous: it covers the monitor's reconnect back-off and a loaded machine.
constexpr int kPatienceMs = 30'000;

// Each reading topic of the built-in bus (01 at 9600 baud, 07 at 4800) and
// the request that takes its readings.
const QList<std::pair<QString, QString>> kReadings{{"01/pressure", "$01RP0"},
                                                   {"01/temperature", "$01RT0"},
                                                   {"07/pressure", "$07RP0"},
                                                   {"07/temperature", "$07RT0"}};

// The seq numbers each reading topic carried; a message delivered twice (a
// QoS 1 resend) counts once.
QMap<QString, QSet<int>> readingSeqs(const MqttMessages& messages) {
    QMap<QString, QSet<int>> seqs;
    for (const MqttMessage& m : messages) {
        if (m.topic.endsWith(QLatin1String("/pressure")) ||
            m.topic.endsWith(QLatin1String("/temperature")))
            seqs[m.topic] << m.json().value(QLatin1String("seq")).toInt();
    }
    return seqs;
}

int highest(const QSet<int>& seqs) {
    return seqs.isEmpty() ? 0 : *std::max_element(seqs.begin(), seqs.end());
}

// Readings that never arrived: the numbers from 1 to each topic's highest
// that did not come.
int missingReadings(const MqttMessages& messages, QString* detail) {
    int missing = 0;
    detail->clear();
    const auto seqs = readingSeqs(messages);
    for (auto it = seqs.begin(); it != seqs.end(); ++it) {
        QStringList gaps;
        for (int seq = 1; seq <= highest(*it); ++seq) {
            if (!it->contains(seq))
                gaps << QString::number(seq);
        }
        missing += int(gaps.size());
        *detail += QStringLiteral("%1: up to %2, missing [%3]\n")
                       .arg(it.key())
                       .arg(highest(*it))
                       .arg(gaps.join(QLatin1Char(' ')));
    }
    return missing;
}

QList<QJsonObject> statuses(const MqttMessages& messages, const QString& prefix) {
    QList<QJsonObject> found;
    for (const MqttMessage& m : messages) {
        if (m.topic == prefix + QLatin1String("/status"))
            found << m.json();
    }
    return found;
}

// Every status received, one a line, for a failed check's message.
QString statusLines(const MqttMessages& messages, const QString& prefix) {
    QString lines;
    for (const MqttMessage& m : messages) {
        if (m.topic == prefix + QLatin1String("/status"))
            lines += QStringLiteral("%1 %2\n").arg(m.retained ? "retained" : "live",
                                                   QString::fromUtf8(m.payload));
    }
    return lines;
}

// tarnwick-cli monitor as a service manager runs it: stopped by a signal,
// its output in files so that nothing it prints can hold it up.
class Monitor {
public:
    Monitor() {
        m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("out")));
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("err")));
    }
    bool start(const QStringList& args) {
        m_process.start(QStringLiteral(TARNWICK_CLI_PATH), args);
        return m_process.waitForStarted();
    }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    // Its exit code once it has ended: -1 when a signal ended it, -2 when it
    // is still running.
    int waitForExit(int msecs) {
        if (!m_process.waitForFinished(msecs))
            return -2;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QString err() const { return read(QStringLiteral("err")); }
    QString describe() const {
        return QStringLiteral("monitor %1, stderr:\n%2\nstdout:\n%3\n")
            .arg(m_process.state() == QProcess::NotRunning
                     ? QStringLiteral("exit %1").arg(m_process.exitCode())
                     : QStringLiteral("running"))
            .arg(err(), read(QStringLiteral("out")).right(2000));
    }

private:
    QString read(const QString& name) const {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace

class TestMonitorBroker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void nothing_is_lost_while_the_broker_restarts();
    void a_full_queue_drops_the_newest_readings_and_counts_them();
    void readings_kept_in_the_state_folder_outlive_a_kill();
    void the_end_of_a_run_is_told_data();
    void the_end_of_a_run_is_told();
    void credentials_data();
    void credentials();
    void tls_data();
    void tls();

private:
    struct Run {
        QString prefix;
        QString monitorId;
        QString subscriberId;
        // The bus's requests for each reading topic before the run, as
        // requestsHeard() counts them.
        QMap<QString, int> heardBefore;
    };
    // Topics and sessions of their own for each run, so nothing retained or
    // queued by an earlier one is taken for its messages.
    Run nextRun() {
        ++m_runs;
        const QString prefix = QStringLiteral("tarnwick-test/run%1").arg(m_runs);
        return {prefix, QStringLiteral("tarnwick-monitor-%1").arg(m_runs),
                QStringLiteral("tarnwick-watch-%1").arg(m_runs), requestsHeard(prefix)};
    }
    QStringList monitorArgs(const MosquittoBroker& broker, const Run& run,
                            const QStringList& extra = {}) const {
        return QStringList{"--port",   m_sim.devicePath(), "monitor",    "01",
                           "07",       "--mqtt",           broker.url(), "--topic",
                           run.prefix, "--client-id",      run.monitorId} +
               extra;
    }
    // The requests the bus has heard so far for each reading topic under
    // prefix; the simulator's trace holds those of every run.
    QMap<QString, int> requestsHeard(const QString& prefix) const;
    // Waits until every reading topic carries a reading taken after this call:
    // one whose seq is beyond the requests of its kind the run has made so
    // far.
    bool waitForReadingsFromNow(MqttSubscriber& sub, const Run& run) const;
    // A run that connects, publishes readings and stops on SIGTERM.
    void expectReadings(const MosquittoBroker& broker, const QStringList& extra,
                        const QStringList& subscriberLogin = {});
    // A run the broker turns away: exit 2, stderr naming why.
    void expectRefusal(const MosquittoBroker& broker, const QStringList& extra,
                       const QString& reason);

    SimulatorProcess m_sim;
    TestCertificates m_certs;
    MosquittoBroker m_broker;
    MosquittoBroker m_passwordBroker;
    MosquittoBroker m_tlsBroker;
    // Its certificate comes from the right authority but names another host.
    MosquittoBroker m_elsewhereBroker;
    int m_runs = 0;
};

QMap<QString, int> TestMonitorBroker::requestsHeard(const QString& prefix) const {
    QMap<QString, int> heard;
    const QStringList trace = m_sim.traceLines();
    for (const auto& [topic, request] : kReadings)
        heard[prefix + QLatin1Char('/') + topic] =
            int(trace.filter(QStringLiteral(" heard ") + request).size());
    return heard;
}

bool TestMonitorBroker::waitForReadingsFromNow(MqttSubscriber& sub, const Run& run) const {
    QMap<QString, int> made = requestsHeard(run.prefix);
    for (auto it = made.begin(); it != made.end(); ++it)
        *it -= run.heardBefore.value(it.key());
    return sub.waitUntil(
        [&](const MqttMessages& messages) {
            const auto seqs = readingSeqs(messages);
            for (auto it = made.begin(); it != made.end(); ++it) {
                if (highest(seqs.value(it.key())) <= it.value())
                    return false;
            }
            return true;
        },
        kPatienceMs);
}

void TestMonitorBroker::initTestCase() {
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
    QVERIFY2(m_certs.make(), qPrintable(m_certs.errorString()));
    QVERIFY2(m_passwordBroker.addUser("tarnwick", "right-pass") &&
                 m_passwordBroker.addUser("watcher", "watcher-pass"),
             qPrintable(m_passwordBroker.errorString()));
    m_tlsBroker.setTls({m_certs.caFile(), m_certs.serverCertFile(), m_certs.serverKeyFile()});
    m_elsewhereBroker.setTls(
        {m_certs.caFile(), m_certs.elsewhereCertFile(), m_certs.elsewhereKeyFile()});
    for (MosquittoBroker* broker : {&m_broker, &m_passwordBroker, &m_tlsBroker, &m_elsewhereBroker})
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
}

void TestMonitorBroker::nothing_is_lost_while_the_broker_restarts() {
    const Run run = nextRun();
    MqttSubscriber sub(m_broker, run.prefix, run.subscriberId);
    QVERIFY2(sub.start(), qPrintable(sub.diagnostics()));
    Monitor monitor;
    QVERIFY(monitor.start(monitorArgs(m_broker, run, {"-i", "200"})));
    QVERIFY2(waitForReadingsFromNow(sub, run), qPrintable(monitor.describe() + sub.diagnostics()));

    m_broker.stop();
    QTest::qWait(3000);
    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
    QVERIFY2(waitForReadingsFromNow(sub, run), qPrintable(monitor.describe() + sub.diagnostics()));
    // A reading sent again late still counts; only one that never comes is
    // lost.
    QString gaps;
    QVERIFY2(
        sub.waitUntil(
            [&](const MqttMessages& messages) { return missingReadings(messages, &gaps) == 0; },
            kPatienceMs),
        qPrintable(gaps));
    // mosquitto sends the will of a session it restores, so the monitor must
    // say it is online again once it is back in.
    QVERIFY2(sub.waitUntil(
                 [&](const MqttMessages& messages) {
                     const auto all = statuses(messages, run.prefix);
                     const auto online = [](const QJsonObject& status) {
                         return status.value("state") == QStringLiteral("online");
                     };
                     return std::count_if(all.begin(), all.end(), online) >= 2 &&
                            online(all.last()) && all.last().value("dropped") == 0;
                 },
                 kPatienceMs),
             qPrintable(statusLines(sub.messages(), run.prefix)));

    monitor.signal(SIGTERM);
    QCOMPARE(monitor.waitForExit(kPatienceMs), 143);
}

void TestMonitorBroker::a_full_queue_drops_the_newest_readings_and_counts_them() {
    const Run run = nextRun();
    MqttSubscriber sub(m_broker, run.prefix, run.subscriberId);
    QVERIFY2(sub.start(), qPrintable(sub.diagnostics()));
    Monitor monitor;
    QVERIFY(monitor.start(monitorArgs(m_broker, run, {"-i", "100", "--queue", "5"})));
    QVERIFY2(waitForReadingsFromNow(sub, run), qPrintable(monitor.describe() + sub.diagnostics()));

    m_broker.stop();
    QTest::qWait(4000);
    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
    QVERIFY2(waitForReadingsFromNow(sub, run), qPrintable(monitor.describe() + sub.diagnostics()));

    // The status that counts them may trail the readings.
    int missing = -1;
    int dropped = -1;
    QString gaps;
    const bool agree = sub.waitUntil(
        [&](const MqttMessages& messages) {
            missing = missingReadings(messages, &gaps);
            const auto all = statuses(messages, run.prefix);
            dropped = all.isEmpty() ? -1 : all.last().value("dropped").toInt(-1);
            return missing == dropped;
        },
        kPatienceMs);
    QVERIFY2(agree, qPrintable(QStringLiteral("%1 readings missing, the status says %2 dropped\n%3")
                                   .arg(missing)
                                   .arg(dropped)
                                   .arg(gaps)));
    QVERIFY2(dropped > 0, qPrintable(gaps));

    monitor.signal(SIGTERM);
    QCOMPARE(monitor.waitForExit(kPatienceMs), 143);
}

// A restart of the service while the broker is away: what the killed run
// took is delivered by the next one, each reading with its run and seq.
void TestMonitorBroker::readings_kept_in_the_state_folder_outlive_a_kill() {
    const Run run = nextRun();
    MqttSubscriber sub(m_broker, run.prefix, run.subscriberId);
    QVERIFY2(sub.start(), qPrintable(sub.diagnostics()));
    QTemporaryDir state;
    const QStringList args = monitorArgs(m_broker, run, {"-i", "200", "--state-dir", state.path()});
    Monitor first;
    QVERIFY(first.start(args));
    QVERIFY2(waitForReadingsFromNow(sub, run), qPrintable(first.describe() + sub.diagnostics()));

    // Readings taken while the broker is away, then the monitor killed.
    m_broker.stop();
    const QString pressure = run.prefix + QStringLiteral("/01/pressure");
    const int heardAtStop = requestsHeard(run.prefix).value(pressure);
    QTRY_VERIFY_WITH_TIMEOUT(requestsHeard(run.prefix).value(pressure) >= heardAtStop + 5,
                             kPatienceMs);
    first.signal(SIGKILL);
    QCOMPARE(first.waitForExit(kPatienceMs), -1);
    // Its pressure readings: one a request, but the full read's and the one
    // the kill may have cut short.
    const int taken =
        requestsHeard(run.prefix).value(pressure) - run.heardBefore.value(pressure) - 2;

    Monitor second;
    QVERIFY(second.start(args));
    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
    // The readings of both runs, by run.
    QMap<QString, QSet<int>> runs;
    const bool delivered = sub.waitUntil(
        [&](const MqttMessages& messages) {
            runs.clear();
            for (const MqttMessage& m : messages)
                if (m.topic == pressure)
                    runs[m.json().value("run").toString()] << m.json().value("seq").toInt();
            return runs.size() == 2 && highest(runs.first()) >= taken && highest(runs.last()) >= 2;
        },
        kPatienceMs);
    QStringList seen;
    for (auto it = runs.cbegin(); it != runs.cend(); ++it)
        seen << QStringLiteral("%1: %2 readings up to %3")
                    .arg(it.key())
                    .arg(it->size())
                    .arg(highest(*it));
    QVERIFY2(delivered,
             qPrintable(seen.join('\n') + QStringLiteral("\nat least %1 taken\n").arg(taken) +
                        second.describe()));
    // Runs are named by their start time: the killed one sorts first.
    for (const QSet<int>& seqs : runs)
        QCOMPARE(seqs.size(), highest(seqs));

    second.signal(SIGTERM);
    QCOMPARE(second.waitForExit(kPatienceMs), 143);
}

void TestMonitorBroker::the_end_of_a_run_is_told_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << QStringLiteral("stopped");
    QTest::newRow("Ctrl-C") << int(SIGINT) << 130 << QStringLiteral("stopped");
    // The socket closes with the process, so the broker sends the will at
    // once rather than after the keep-alive.
    QTest::newRow("SIGKILL") << int(SIGKILL) << -1 << QStringLiteral("connection lost");
}

void TestMonitorBroker::the_end_of_a_run_is_told() {
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    const Run run = nextRun();
    MqttSubscriber sub(m_broker, run.prefix, run.subscriberId);
    QVERIFY2(sub.start(), qPrintable(sub.diagnostics()));
    Monitor monitor;
    QVERIFY(monitor.start(monitorArgs(m_broker, run)));
    const QString status = run.prefix + QStringLiteral("/status");
    QVERIFY2(sub.waitFor([&](const MqttMessage& m) { return m.topic.endsWith("/pressure"); },
                         kPatienceMs),
             qPrintable(monitor.describe() + sub.diagnostics()));

    monitor.signal(signal);
    QCOMPARE(monitor.waitForExit(kPatienceMs), exitCode);
    const auto told = [&](const MqttMessage& m) {
        return m.topic == status && m.json().value("state") == QStringLiteral("offline") &&
               m.json().value("reason") == reason;
    };
    QVERIFY2(sub.waitFor(told, kPatienceMs), qPrintable(monitor.describe() + sub.diagnostics()));
    // A consumer that comes later is told the same.
    const auto kept = sub.retained(status);
    QVERIFY2(kept && kept->retained && told(*kept),
             qPrintable(kept ? kept->payload : QByteArray("nothing retained")));
}

void TestMonitorBroker::credentials_data() {
    QTest::addColumn<QByteArray>("file");
    // Handed over by a service manager: $CREDENTIALS_DIRECTORY/mqtt.
    QTest::addColumn<bool>("handedOver");
    QTest::addColumn<bool>("accepted");
    const QByteArray right("username=tarnwick\npassword=right-pass\n");
    QTest::newRow("right") << right << false << true;
    QTest::newRow("wrong password")
        << QByteArray("username=tarnwick\npassword=wrong-pass\n") << false << false;
    QTest::newRow("none where anonymous clients are refused") << QByteArray() << false << false;
    QTest::newRow("handed over by the service manager") << right << true << true;
    // The fallback of a unit for a broker without passwords.
    QTest::newRow("handed over, naming no user") << QByteArray("# anonymous\n") << true << false;
}

void TestMonitorBroker::credentials() {
    QFETCH(QByteArray, file);
    QFETCH(bool, handedOver);
    QFETCH(bool, accepted);
    QStringList extra;
    QTemporaryDir dir;
    if (!file.isEmpty()) {
        QFile credentials(dir.filePath(handedOver ? "mqtt" : "credentials"));
        QVERIFY(credentials.open(QIODevice::WriteOnly));
        QVERIFY(credentials.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(credentials.write(file) == file.size());
        if (!handedOver)
            extra << QStringLiteral("--credentials") << credentials.fileName();
    }
    const auto restore = qScopeGuard([] { qunsetenv("CREDENTIALS_DIRECTORY"); });
    if (handedOver)
        qputenv("CREDENTIALS_DIRECTORY", dir.path().toLocal8Bit());
    if (accepted)
        expectReadings(m_passwordBroker, extra, {"watcher", "watcher-pass"});
    else
        expectRefusal(m_passwordBroker, extra, QStringLiteral("refus|authori[sz]"));
}

void TestMonitorBroker::tls_data() {
    QTest::addColumn<bool>("elsewhere");
    QTest::addColumn<QString>("authority");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the broker's authority") << false << QStringLiteral("test") << true;
    QTest::newRow("another authority") << false << QStringLiteral("other") << false;
    QTest::newRow("a certificate for another name") << true << QStringLiteral("test") << false;
    // Without --ca only the system's authorities are trusted; the test's is
    // not among them.
    QTest::newRow("no --ca") << false << QString() << false;
}

void TestMonitorBroker::tls() {
    QFETCH(bool, elsewhere);
    QFETCH(QString, authority);
    QFETCH(bool, accepted);
    MosquittoBroker& broker = elsewhere ? m_elsewhereBroker : m_tlsBroker;
    QStringList extra;
    if (!authority.isEmpty())
        extra << QStringLiteral("--ca")
              << (authority == QLatin1String("test") ? m_certs.caFile() : m_certs.otherCaFile());
    if (accepted)
        expectReadings(broker, extra);
    else
        expectRefusal(broker, extra, QStringLiteral("certificat|tls|ssl|verif|handshake"));
}

void TestMonitorBroker::expectReadings(const MosquittoBroker& broker, const QStringList& extra,
                                       const QStringList& subscriberLogin) {
    const Run run = nextRun();
    MqttSubscriber sub(broker, run.prefix, run.subscriberId);
    if (!subscriberLogin.isEmpty())
        sub.setCredentials(subscriberLogin[0], subscriberLogin[1]);
    QVERIFY2(sub.start(), qPrintable(sub.diagnostics()));
    Monitor monitor;
    QVERIFY(monitor.start(monitorArgs(broker, run, extra)));
    QVERIFY2(sub.waitFor([&](const MqttMessage& m) { return m.topic.endsWith("/pressure"); },
                         kPatienceMs),
             qPrintable(monitor.describe() + sub.diagnostics()));
    monitor.signal(SIGTERM);
    QCOMPARE(monitor.waitForExit(kPatienceMs), 143);
}

void TestMonitorBroker::expectRefusal(const MosquittoBroker& broker, const QStringList& extra,
                                      const QString& reason) {
    Monitor monitor;
    QVERIFY(monitor.start(monitorArgs(broker, nextRun(), extra)));
    QVERIFY2(monitor.waitForExit(kPatienceMs) == 2, qPrintable(monitor.describe()));
    QVERIFY2(monitor.err().contains(
                 QRegularExpression(reason, QRegularExpression::CaseInsensitiveOption)),
             qPrintable(monitor.describe()));
}

QTEST_MAIN(TestMonitorBroker)
#include "tst_monitor_broker.moc"
