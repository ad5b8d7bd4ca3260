#include "device_server_runs.h"

#include "support/ser2net_process.h"
#include "support/simulator_process.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

const QByteArray kBus = R"({"transmitters": [
    {"address": "01", "baud": 9600}, {"address": "04", "baud": 1200}]})";
constexpr int kReads = 5;
constexpr int kExchangesOfARead = 14;

// Wall time of one run of tarnwick-cli, or a negative number when it failed.
double runMs(const QStringList& args) {
    QProcess p;
    QElapsedTimer wall;
    wall.start();
    p.start(QStringLiteral(TARNWICK_CLI_PATH), args);
    if (!p.waitForFinished(120'000) || p.exitCode() != 0)
        return -1;
    return double(wall.nsecsElapsed()) / 1e6;
}

void measure(const AddFigure& add, bool charDelay) {
    SimulatorProcess simulator({}, kBus);
    if (!simulator.start())
        return add(QStringLiteral("device server"), QStringLiteral("simulator did not start"),
                   QStringLiteral("-"), false);
    Ser2net server(ser2netPath(), simulator.devicePath(), freeLoopbackPort(), charDelay);
    if (!server.start())
        return add(QStringLiteral("device server"), QStringLiteral("ser2net did not start"),
                   QStringLiteral("-"), false);
    const QStringList port{QStringLiteral("--port"), server.address()};
    const QDeadlineTimer listening(10'000);
    while (runMs(port + QStringList{"send", "01", "AD", "-b", "9600"}) < 0 &&
           !listening.hasExpired())
        QThread::msleep(100);
    QList<double> start;
    for (int i = 0; i < 5; ++i)
        start.append(runMs({QStringLiteral("--version")}));
    // Connecting and setting the line once per run; the same for a local
    // port's open, so it is measured apart: one "AD" exchange.
    const double openMs = median(start);
    const QString setting =
        charDelay ? QStringLiteral("ser2net defaults") : QStringLiteral("chardelay off");
    for (const auto& [baud, address] : QList<QPair<int, QString>>{{9600, "01"}, {1200, "04"}}) {
        QList<double> ratios;
        QList<double> addedMs;
        for (int i = 0; i < kReads; ++i) {
            const int before = int(simulator.traceLines().size());
            const double ms =
                runMs(port + QStringList{"read", address, "-b", QString::number(baud)});
            QThread::msleep(200); // the trace is written just after each reply
            const double wireMs =
                double(wireCharacters(simulator.traceLines().mid(before))) * 10000.0 / baud;
            if (ms < 0)
                return add(QStringLiteral("device server read at %1").arg(baud),
                           QStringLiteral("the read failed"), QStringLiteral("-"), false);
            ratios.append((ms - openMs) / wireMs);
            addedMs.append((ms - openMs - wireMs) / kExchangesOfARead);
        }
        const double ratio = median(ratios);
        add(QStringLiteral("full read at %1 through ser2net (%2) / wire time")
                .arg(baud)
                .arg(setting),
            QString::asprintf("%.3f (median of %d)", ratio, kReads),
            charDelay ? QStringLiteral("-") : QStringLiteral("<= 1.15"),
            charDelay || ratio <= 1.15);
        add(QStringLiteral("time added per exchange at %1 (%2)").arg(baud).arg(setting),
            QString::asprintf("median %.1f ms, worst %.1f ms", median(addedMs),
                              *std::max_element(addedMs.begin(), addedMs.end())),
            QStringLiteral("-"), true);
    }
}

} // namespace

void deviceServerRuns(const AddFigure& add) {
    std::printf("tarnwick-cli through a serial device server\n");
    if (ser2netPath().isEmpty())
        return add(QStringLiteral("device server"), QStringLiteral("ser2net is not installed"),
                   QStringLiteral("-"), false);
    measure(add, false);
    measure(add, true);
}
