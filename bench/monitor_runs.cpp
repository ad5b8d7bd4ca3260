#include "monitor_runs.h"

#include "support/mosquitto_broker.h"
#include "support/simulator_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

const QByteArray kRatesBus = R"({"transmitters": [
    {"address": "01", "baud": 9600}, {"address": "02", "baud": 4800},
    {"address": "03", "baud": 2400}, {"address": "04", "baud": 1200}]})";

double childrenCpuMs() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000 +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000;
}

// One exchange as the simulator traced it: the request arrived (a
// pseudo-terminal delivers it at once; the simulator starts its reply once
// the request would have crossed the line and the turnaround passed), and the
// reply's last character out, so the span is what the wire needs.
struct Exchange {
    QString address;
    QString command;
    qint64 heardNs = 0;
    qint64 sentNs = 0;
};

QList<Exchange> exchangesOf(const QStringList& trace) {
    QList<Exchange> exchanges;
    std::optional<Exchange> open;
    for (const QString& line : trace) {
        const QString kind = line.section(' ', 2, 2);
        const qint64 ns = line.section(' ', 0, 0).toLongLong();
        if (kind == QLatin1String("heard")) {
            const QString frame = line.section(' ', 3).section(QStringLiteral(" -- "), 0, 0);
            open = Exchange{frame.mid(1, 2), frame.mid(3, frame.size() - 7), ns, 0};
        } else if (kind == QLatin1String("sent") && open) {
            open->sentNs = ns;
            exchanges.append(*open);
            open.reset();
        }
    }
    return exchanges;
}

struct LoggedReading {
    qint64 handedNs = 0;
    qint64 ackedNs = -1;
};

} // namespace

void monitorRuns(const AddFigure& add, int seconds) {
    std::printf("tarnwick-cli monitor\n");
    MosquittoBroker broker;
    SimulatorProcess sim({}, kRatesBus);
    if (!broker.start() || !sim.start()) {
        add(QStringLiteral("monitor"), QStringLiteral("broker or simulator did not start"),
            QStringLiteral("-"), false);
        return;
    }
    QTemporaryDir dir;
    const QString ackLog = dir.filePath(QStringLiteral("acks"));
    QProcess monitor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARNWICK_MONITOR_ACK_LOG"), ackLog);
    monitor.setProcessEnvironment(env);
    monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double cpu0 = childrenCpuMs();
    QElapsedTimer wall;
    wall.start();
    monitor.start(QStringLiteral(TARNWICK_CLI_PATH),
                  {QStringLiteral("--port"), sim.devicePath(), QStringLiteral("monitor"),
                   QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03"),
                   QStringLiteral("04"), QStringLiteral("-i"), QStringLiteral("0"),
                   QStringLiteral("--mqtt"), broker.url(), QStringLiteral("--topic"),
                   QStringLiteral("bench")});
    monitor.waitForStarted();
    QThread::sleep(seconds);
    ::kill(pid_t(monitor.processId()), SIGTERM);
    monitor.waitForFinished(30'000);
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    const double cpuMs = childrenCpuMs() - cpu0;
    QThread::msleep(200);

    // The log: each reading handed to the client, and its acknowledgement.
    QMap<QString, LoggedReading> readings; // by "topic seq"
    QFile log(ackLog);
    if (!log.open(QIODevice::ReadOnly)) {
        add(QStringLiteral("monitor"), QStringLiteral("no acknowledgement log"),
            QStringLiteral("-"), false);
        return;
    }
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() != 4)
            continue;
        LoggedReading& r = readings[QString::fromUtf8(f[2] + ' ' + f[3])];
        (f[0] == "handed" ? r.handedNs : r.ackedNs) = f[1].toLongLong();
    }
    if (readings.size() < 2) {
        add(QStringLiteral("monitor"), QStringLiteral("no readings"), QStringLiteral("-"), false);
        return;
    }

    // Throughput from the first reading handed to the last: the exchanges
    // whose replies ended in between, against the time they needed on the
    // wire; a rate switch is allowed nothing.
    QList<qint64> handed;
    for (const LoggedReading& r : readings)
        handed.append(r.handedNs);
    std::sort(handed.begin(), handed.end());
    const qint64 firstNs = handed.first();
    const qint64 lastNs = handed.last();
    const QList<Exchange> exchanges = exchangesOf(sim.traceLines());
    double wireNs = 0;
    for (const Exchange& e : exchanges)
        if (e.sentNs > firstNs && e.sentNs <= lastNs)
            wireNs += double(e.sentNs - e.heardNs);
    const double spanS = double(lastNs - firstNs) / 1e9;
    const double perSecond = double(handed.size() - 1) / spanS;
    const double share = wireNs / double(lastNs - firstNs);
    add(QStringLiteral("monitor -i 0, 4 rates: readings/s, wire allowance / time taken"),
        QString::asprintf("%.1f/s, %.3f", perSecond, share), QStringLiteral(">= 0.95"),
        share >= 0.95);

    // Latency: from the last character of the reply a reading came in to the
    // broker's acknowledgement of its publication.
    QList<double> temperature;
    QList<double> pressure;
    int unacknowledged = 0;
    for (auto it = readings.cbegin(); it != readings.cend(); ++it) {
        if (it->ackedNs < 0) {
            ++unacknowledged;
            continue;
        }
        const QString topic = it.key().section(' ', 0, 0);
        const QString address = topic.section('/', 1, 1);
        const bool isTemperature = topic.endsWith(QLatin1String("temperature"));
        const QString command = isTemperature ? QStringLiteral("RT0") : QStringLiteral("RP0");
        // The simulator reads its clock for the trace just after writing the
        // last character, so the tool may hand the reading on a little
        // before that time.
        constexpr qint64 kTraceSlackNs = 2'000'000;
        qint64 replyNs = -1;
        for (const Exchange& e : exchanges)
            if (e.address == address && e.command == command &&
                e.sentNs <= it->handedNs + kTraceSlackNs)
                replyNs = e.sentNs;
        if (replyNs < 0)
            continue;
        (isTemperature ? temperature : pressure).append(double(it->ackedNs - replyNs) / 1e6);
    }
    // A pressure is published with its cycle's temperature, one exchange
    // later: its figure is shown beside, not judged.
    const double p99 = percentile(temperature, 0.99);
    add(QStringLiteral("monitor reply to broker acknowledgement, loopback (median, p99)"),
        QString::asprintf("%.2f ms, %.2f ms over %lld readings (a pressure, from its own reply: "
                          "%.1f ms, %.1f ms); %d unacknowledged at the stop",
                          percentile(temperature, 0.5), p99, (long long)temperature.size(),
                          percentile(pressure, 0.5), percentile(pressure, 0.99), unacknowledged),
        QStringLiteral("p99 < 5 ms"), !temperature.isEmpty() && p99 < 5);
    const double cpuShare = cpuMs / wallMs;
    add(QStringLiteral("monitor CPU share, -i 0 to a broker"),
        QString::asprintf("%.2f %%", cpuShare * 100), QStringLiteral("< 5 %"), cpuShare < 0.05);
}
