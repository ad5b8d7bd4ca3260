// The soak's figures for tarnwick-cli, which runs as a process of its own: its
// CSV cycles matched with the requests the simulator heard, fault by fault,
// and the time from each replug to the first reading after it.
//
//   tarnwick-soak-cli --clock-sample
//       prints "<wall ns> <monotonic ns>": the script takes one at the start
//       and one at the end, to put the CSV's wall-clock times on the trace's
//       monotonic clock.
//   tarnwick-soak-cli --trace FILE --csv FILE --clock FILE
//       prints the rows of the CLI's table.

#include "monotonic_clock.h"
#include "soak_report.h"
#include "soak_trace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QMap>

#include <cstdio>
#include <limits>
#include <optional>

namespace {

// One CSV line: when the transmitter's reads of the cycle started, on the
// monotonic clock, and whether each reading came.
struct Cycle {
    qint64 startNs = 0;
    bool pressure = false;
    bool temperature = false;
};

struct ClockSample {
    qint64 wallNs = 0;
    qint64 monoNs = 0;
};

QStringList linesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The wall clock may be slewed during an hour's run: the offset is taken
// as a straight line between the samples.
qint64 toMonotonic(qint64 wallNs, const QList<ClockSample>& samples) {
    const ClockSample& a = samples.first();
    const ClockSample& b = samples.last();
    const double offsetA = double(a.wallNs - a.monoNs);
    const double offsetB = double(b.wallNs - b.monoNs);
    const double span = double(b.wallNs - a.wallNs);
    const double share = span > 0 ? double(wallNs - a.wallNs) / span : 0.0;
    return wallNs - qint64(offsetA + (offsetB - offsetA) * share);
}

QList<Cycle> readCycles(const QStringList& csv, const QList<ClockSample>& clock) {
    QList<Cycle> cycles;
    for (const QString& line : csv) {
        // time,address,unit,pressure,temperature, then the states of both
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() < 5)
            continue;
        const QDateTime time = QDateTime::fromString(fields[0], Qt::ISODateWithMs);
        if (!time.isValid())
            continue; // the heading line
        cycles.append({toMonotonic(time.toMSecsSinceEpoch() * 1000000, clock), !fields[3].isEmpty(),
                       !fields[4].isEmpty()});
    }
    return cycles;
}

void row(const QString& figure, const QString& measured, const QString& goal, bool met) {
    std::printf("| %s | %s | %s | %s |\n", qPrintable(figure), qPrintable(measured),
                qPrintable(goal), met ? "yes" : "NO");
}

// The fault drawn for the first request of command heard in (fromNs, toNs],
// looking from heard[from] on; "not sent" when none came, "unplugged" when
// the adapter went in between.
QString injectedFor(const SoakTrace& trace, qsizetype from, const QString& command, qint64 fromNs,
                    qint64 toNs) {
    for (const LineEvent& e : trace.events)
        if (e.what == QLatin1String("unplug") && e.ns > fromNs && e.ns <= toNs)
            return QStringLiteral("unplugged");
    for (qsizetype h = from; h < trace.heard.size() && trace.heard[h].ns <= toNs; ++h)
        if (trace.heard[h].ns > fromNs && trace.heard[h].command == command)
            return trace.heard[h].injected;
    return QStringLiteral("not sent");
}

void printCliReport(const SoakTrace& trace, const QList<Cycle>& cycles) {
    if (cycles.isEmpty()) {
        row("CSV cycles read", "0", "(reference)", false);
        return;
    }
    // A cycle's exchanges are those heard from its start to the next one's.
    // The wall clock's time is put on the monotonic one through two samples,
    // so a start may come out a little late: a millisecond of slack.
    constexpr qint64 kSlackNs = 1'000'000;
    // injected kind -> outcome -> exchanges
    QMap<QString, QMap<QString, int>> table;
    int unexpected = 0;
    qsizetype h = 0;
    for (qsizetype i = 0; i < cycles.size(); ++i) {
        const qint64 fromNs = cycles[i].startNs - kSlackNs;
        const qint64 toNs = i + 1 < cycles.size() ? cycles[i + 1].startNs - kSlackNs
                                                  : std::numeric_limits<qint64>::max();
        while (h < trace.heard.size() && trace.heard[h].ns <= fromNs)
            ++h;
        const std::pair<QString, bool> exchanges[] = {
            {QStringLiteral("RP0"), cycles[i].pressure},
            {QStringLiteral("RT0"), cycles[i].temperature}};
        for (const auto& [command, read] : exchanges) {
            const QString injected = injectedFor(trace, h, command, fromNs, toNs);
            const QString outcome = read ? QStringLiteral("reading") : QStringLiteral("failed");
            ++table[injected][outcome];
            unexpected += outcomeExpected(injected, outcome) ? 0 : 1;
        }
    }
    for (auto kind = table.cbegin(); kind != table.cend(); ++kind) {
        const int readings = kind->value(QStringLiteral("reading"));
        const int failed = kind->value(QStringLiteral("failed"));
        QStringList goal;
        for (const char* o : {"reading", "failed"})
            if (outcomeExpected(kind.key(), QLatin1String(o)))
                goal << QLatin1String(o);
        row(QStringLiteral("injected %1: %2 exchanges, CLI showed")
                .arg(kind.key())
                .arg(readings + failed),
            QStringLiteral("%1 reading, %2 failed").arg(readings).arg(failed), goal.join(" or "),
            (!readings || outcomeExpected(kind.key(), QStringLiteral("reading"))) &&
                (!failed || outcomeExpected(kind.key(), QStringLiteral("failed"))));
    }
    row("exchanges showing something other than their fault calls for", QString::number(unexpected),
        "0", unexpected == 0);

    // Reopening is tried once a second, so a reading should follow a replug
    // within about two cycles of that.
    int replug = 0;
    for (const LineEvent& e : trace.events) {
        if (e.what != QLatin1String("replug"))
            continue;
        ++replug;
        if (e.ns > cycles.last().startNs) {
            row(QStringLiteral("replug %1").arg(replug), "after the last cycle", "(reference)",
                true);
            continue;
        }
        std::optional<qint64> resumed;
        for (const Cycle& c : cycles)
            if (c.startNs > e.ns && (c.pressure || c.temperature)) {
                resumed = c.startNs - e.ns;
                break;
            }
        row(QStringLiteral("replug %1: readings resumed by themselves after").arg(replug),
            resumed ? QString::asprintf("%.0f ms", double(*resumed) / 1e6)
                    : QStringLiteral("never"),
            "< 2000 ms", resumed && *resumed < 2000000000);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption sampleOption("clock-sample", "Print the wall and monotonic clocks.");
    const QCommandLineOption traceOption("trace", "The simulator's trace.", "FILE");
    const QCommandLineOption csvOption("csv", "tarnwick-cli poll's CSV output.", "FILE");
    const QCommandLineOption clockOption("clock", "Clock samples taken with --clock-sample.",
                                         "FILE");
    parser.addOptions({sampleOption, traceOption, csvOption, clockOption});
    parser.addHelpOption();
    parser.process(app);
    if (parser.isSet(sampleOption)) {
        const qint64 mono = monotonicNs();
        std::printf("%lld %lld\n", QDateTime::currentMSecsSinceEpoch() * 1000000LL,
                    static_cast<long long>(mono));
        return 0;
    }
    QList<ClockSample> clock;
    for (const QString& line : linesOf(parser.value(clockOption))) {
        const QStringList v = line.split(QLatin1Char(' '));
        if (v.size() == 2)
            clock.append({v[0].toLongLong(), v[1].toLongLong()});
    }
    if (clock.isEmpty() || !parser.isSet(traceOption) || !parser.isSet(csvOption)) {
        std::fprintf(stderr, "usage: tarnwick-soak-cli --trace FILE --csv FILE --clock FILE\n");
        return 2;
    }
    printCliReport(readSoakTrace(linesOf(parser.value(traceOption))),
                   readCycles(linesOf(parser.value(csvOption)), clock));
    return 0;
}
