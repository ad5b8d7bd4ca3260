#include "cli_runs.h"

#include "support/simulator_process.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

struct ProcessRun {
    double wallMs = 0;
    double cpuMs = 0;
    int exitCode = -1;
};

double childrenCpuMs() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000 +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000;
}

ProcessRun runCli(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    const double cpu0 = childrenCpuMs();
    QElapsedTimer wall;
    wall.start();
    p.start(QStringLiteral(TARNWICK_CLI_PATH), args);
    p.waitForFinished(600'000);
    ProcessRun r;
    r.wallMs = double(wall.nsecsElapsed()) / 1e6;
    r.cpuMs = childrenCpuMs() - cpu0;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

// How far each cycle of poll started from the slot it ran in (start + n x
// interval; a cycle after an overrun runs in a later slot), from the times of
// its CSV rows; nothing when the run failed.
std::optional<QList<double>> pollScheduleErrorsMs(const QString& device, int cycles,
                                                  int intervalMs) {
    QProcess p;
    p.start(QStringLiteral(TARNWICK_CLI_PATH),
            {QStringLiteral("--port"), device, QStringLiteral("--no-line-timing"),
             QStringLiteral("poll"), QStringLiteral("01"), QStringLiteral("--baud"),
             QStringLiteral("9600"), QStringLiteral("--count"), QString::number(cycles),
             QStringLiteral("--interval"), QString::number(intervalMs), QStringLiteral("--csv")});
    if (!p.waitForFinished(cycles * intervalMs + 60'000) || p.exitCode() != 0)
        return std::nullopt;
    QList<qint64> times;
    for (const QString& line :
         QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).mid(1))
        times.append(
            QDateTime::fromString(line.section(',', 0, 0), Qt::ISODateWithMs).toMSecsSinceEpoch());
    if (times.size() != cycles)
        return std::nullopt;
    QList<double> errors;
    for (const qint64 t : times) {
        const qint64 since = t - times[0];
        const qint64 slot = (since + intervalMs / 2) / intervalMs;
        errors.append(double(qAbs(since - slot * intervalMs)));
    }
    return errors;
}

const QByteArray kRatesBus = R"({"transmitters": [
    {"address": "01", "baud": 9600}, {"address": "02", "baud": 4800},
    {"address": "03", "baud": 2400}, {"address": "04", "baud": 1200}]})";

} // namespace

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

double percentile(QList<double> v, double p) {
    std::sort(v.begin(), v.end());
    if (v.isEmpty())
        return 0;
    const int i = std::clamp(int(p * double(v.size() - 1) + 0.5), 0, int(v.size() - 1));
    return v[i];
}

qint64 wireCharacters(const QStringList& lines) {
    qint64 n = 0;
    for (const QString& l : lines) {
        const QString frame = l.section(' ', 3).section(QStringLiteral(" -- "), 0, 0);
        n += frame.size() - frame.count(QLatin1Char('\\')) - 2 * frame.count(QStringLiteral("\\x"));
    }
    return n;
}

void cliRuns(const AddFigure& add) {
    std::printf("tarnwick-cli as a process\n");
    QList<double> startWall;
    QList<double> startCpu;
    for (int i = 0; i < 20; ++i) {
        const ProcessRun r = runCli({QStringLiteral("--version")});
        startWall.append(r.wallMs);
        startCpu.append(r.cpuMs);
    }
    const double startMs = median(startWall);
    const double startCpuMs = median(startCpu);
    add(QStringLiteral("cli start-up (--version), median of 20"),
        QString::asprintf("%.1f ms", startMs), QStringLiteral("< 30 ms"), startMs < 30);

    SimulatorProcess rates({}, kRatesBus);
    if (!rates.start()) {
        add(QStringLiteral("cli read"), QStringLiteral("simulator did not start"),
            QStringLiteral("-"), false);
        return;
    }
    for (const auto& [baud, address] :
         QList<QPair<int, QString>>{{9600, "01"}, {4800, "02"}, {2400, "03"}, {1200, "04"}}) {
        const int before = int(rates.traceLines().size());
        const ProcessRun r =
            runCli({QStringLiteral("--port"), rates.devicePath(), QStringLiteral("read"), address,
                    QStringLiteral("--baud"), QString::number(baud)});
        QThread::msleep(200); // the trace is written just after each reply
        const double wireMs =
            double(wireCharacters(rates.traceLines().mid(before))) * 10000.0 / baud;
        const double ratio = (r.wallMs - startMs) / wireMs;
        add(QStringLiteral("cli read at %1 baud").arg(baud),
            QString::asprintf("%.0f ms - %.0f ms start-up, wire %.0f ms, ratio %.3f%s", r.wallMs,
                              startMs, wireMs, ratio, r.exitCode == 0 ? "" : " (exit != 0)"),
            QStringLiteral("ratio <= 1.10"), r.exitCode == 0 && ratio <= 1.10);
    }

    SimulatorProcess silent({}, R"({"transmitters": []})");
    if (!silent.start()) {
        add(QStringLiteral("cli search"), QStringLiteral("simulator did not start"),
            QStringLiteral("-"), false);
        return;
    }
    const ProcessRun r =
        runCli({QStringLiteral("--port"), silent.devicePath(), QStringLiteral("search"),
                QStringLiteral("--address"), QStringLiteral("1-20"), QStringLiteral("--baud"),
                QStringLiteral("9600")});
    const double timeoutsMs = 20 * 60.0;
    const double searchMs = r.wallMs - startMs;
    add(QStringLiteral("cli search 1-20 at 9600 / sum of time-outs"),
        QString::asprintf("%.0f ms / %.0f ms = %.3f", searchMs, timeoutsMs, searchMs / timeoutsMs),
        QStringLiteral("<= 1.02"), r.exitCode == 1 && searchMs / timeoutsMs <= 1.02);
    const double share = (r.cpuMs - startCpuMs) / searchMs;
    add(QStringLiteral("cli search CPU share"), QString::asprintf("%.2f %%", share * 100),
        QStringLiteral("< 2 %"), share < 0.02);

    // The schedule alone: a simulator that answers at once, so every cycle
    // fits its slot and only the timing of the slots is measured.
    SimulatorProcess untimed({QStringLiteral("--no-line-timing")}, kRatesBus);
    const std::optional<QList<double>> errors =
        untimed.start() ? pollScheduleErrorsMs(untimed.devicePath(), 1000, 20) : std::nullopt;
    if (!errors) {
        add(QStringLiteral("cli poll schedule error"), QStringLiteral("the run failed"),
            QStringLiteral("-"), false);
        return;
    }
    const double worst = *std::max_element(errors->begin(), errors->end());
    add(QStringLiteral("cli poll schedule error over 1000 cycles of 20 ms (median, worst)"),
        QString::asprintf("%.0f ms, %.0f ms", median(*errors), worst),
        QStringLiteral("median <= 2 ms, worst <= 20 ms"), median(*errors) <= 2 && worst <= 20);
}
