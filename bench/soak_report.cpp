#include "soak_report.h"

#include <QFile>
#include <QMap>

#include <cmath>
#include <cstdio>

// What the window must show for an answer with each fault: a lower-case
// checksum without letters changes nothing, a late reply is lost to its own
// exchange but must not spoil the next one, and an exchange cut by an unplug
// may have been over before.
bool outcomeExpected(const QString& injected, const QString& outcome) {
    static const QMap<QString, QStringList> kExpected{
        {"none", {"reading"}},
        {"split", {"reading"}},
        {"silent", {"no reply"}},
        {"late", {"no reply"}},
        {"not sent", {"no reply"}},
        {"unplugged", {"no reply", "reading"}},
        {"bad-checksum", {"frame error"}},
        {"noise", {"frame error"}},
        {"trailing", {"frame error"}},
        {"lower-case-checksum", {"frame error", "reading"}},
        {"empty-data", {"no data"}},
    };
    const QStringList allowed = kExpected.value(injected);
    if (outcome == QLatin1String("failed"))
        return allowed.size() > (allowed.contains(QStringLiteral("reading")) ? 1 : 0);
    return allowed.contains(outcome);
}

void printSoakReport(const SoakRun& run, QFile* tickLog) {
    const SoakTrace& trace = run.trace;
    const QList<Tick>& ticks = run.ticks;
    const QList<Replug>& replugs = run.replugs;
    const qint64 pollStartNs = run.pollStartNs;
    const qint64 pollEndNs = run.pollEndNs;
    const double minutes = run.minutes;
    const Resources& atStart = run.atStart;
    const Resources& atOneMinute = run.atOneMinute;
    const Resources& atEnd = run.atEnd;
    const double rssAtEnd = run.rssAtEnd;
    // Each tick's request lies between the end of the previous tick and its
    // own end; none when the port was closed.
    QMap<QString, QMap<QString, int>> table;
    int unexpected = 0;
    qsizetype h = 0;
    qint64 previousEnd = pollStartNs;
    QStringList outcomes{"reading", "no reply", "frame error", "no data"};
    for (const Tick& t : ticks) {
        while (h < trace.heard.size() && trace.heard[h].ns <= previousEnd)
            ++h;
        QString injected = QStringLiteral("not sent");
        if (h < trace.heard.size() && trace.heard[h].ns <= t.endNs)
            injected = trace.heard[h].injected;
        // A reply lost with the adapter is no fault of the answer.
        for (const LineEvent& e : trace.events)
            if (e.what == QLatin1String("unplug") && e.ns > previousEnd && e.ns <= t.endNs)
                injected = QStringLiteral("unplugged");
        ++table[injected][t.outcome];
        if (!outcomeExpected(injected, t.outcome))
            ++unexpected;
        if (tickLog)
            tickLog->write(
                QStringLiteral("%1,%2,%3,%4\n")
                    .arg(t.endNs)
                    .arg(QString::fromLatin1(t.temperature ? "RT0" : "RP0"), injected, t.outcome)
                    .toLatin1());
        previousEnd = t.endNs;
    }

    int exchanges = 0;
    QMap<QString, int> others;
    for (const HeardRequest& r : trace.heard) {
        if (r.ns < pollStartNs || r.ns > pollEndNs)
            continue;
        if (r.command == QLatin1String("RP0") || r.command == QLatin1String("RT0"))
            ++exchanges;
        else
            ++others[r.command.isEmpty() ? QStringLiteral("(no request)") : r.command];
    }

    std::printf("\n| figure | measured | goal | met |\n|---|---|---|---|\n");
    const auto row = [](const QString& figure, const QString& measured, const QString& goal,
                        bool met) {
        std::printf("| %s | %s | %s | %s |\n", qPrintable(figure), qPrintable(measured),
                    qPrintable(goal), met ? "yes" : "NO");
    };
    row("polling time", QString::asprintf("%.1f min", double(pollEndNs - pollStartNs) / 6e10),
        QString::asprintf("%.1f min", minutes), true);
    row("window ticks / RP0+RT0 exchanges in the trace",
        QStringLiteral("%1 / %2").arg(ticks.size()).arg(exchanges), "(reference)", true);
    for (auto kind = table.cbegin(); kind != table.cend(); ++kind) {
        QStringList shown;
        int total = 0;
        for (const QString& o : outcomes)
            if (const int n = kind->value(o)) {
                shown << QStringLiteral("%1 %2").arg(n).arg(o);
                total += n;
            }
        QStringList goal;
        for (const QString& o : outcomes)
            if (outcomeExpected(kind.key(), o))
                goal << o;
        bool met = true;
        for (const QString& o : outcomes)
            if (kind->value(o) && !outcomeExpected(kind.key(), o))
                met = false;
        row(QStringLiteral("injected %1: %2 ticks, window showed").arg(kind.key()).arg(total),
            shown.join(", "), goal.join(" or "), met);
    }
    row("ticks showing something other than their fault calls for", QString::number(unexpected),
        "0", unexpected == 0);
    const double rssOne = run.rssAtOneMinute;
    const double growth = rssOne > 0 ? (rssAtEnd - rssOne) / rssOne * 100 : 0;
    row("resident memory at 1 min / at the end",
        QString::asprintf("%.1f / %.1f MiB (%+.1f %%)", rssOne, rssAtEnd, growth), "within 5 %",
        std::abs(growth) <= 5);
    // Threads Qt started for the search and ended after their idle time take
    // their wakeup descriptors with them: the figure to hold is the one a
    // minute in.
    row("open file descriptors at start / 1 min / end",
        QStringLiteral("%1 / %2 / %3")
            .arg(atStart.fds.size())
            .arg(atOneMinute.fds.size())
            .arg(atEnd.fds.size()),
        "1 min = end", atOneMinute.fds.size() == atEnd.fds.size());
    row("threads at start / 1 min / end",
        QStringLiteral("%1 / %2 / %3")
            .arg(atStart.threads)
            .arg(atOneMinute.threads)
            .arg(atEnd.threads),
        "(reference)", true);
    QStringList otherFrames;
    int otherCount = 0;
    for (auto it = others.cbegin(); it != others.cend(); ++it) {
        otherFrames << QStringLiteral("%1 x%2").arg(it.key()).arg(it.value());
        otherCount += it.value();
    }
    row("frames other than RP0/RT0 heard since polling started",
        otherCount ? otherFrames.join(", ") : QStringLiteral("0"), "0", otherCount == 0);
    int unplugCount = 0;
    for (const LineEvent& e : trace.events)
        unplugCount += e.what == QLatin1String("unplug") ? 1 : 0;
    row("unplugs / replugs seen by the window's re-choice",
        QStringLiteral("%1 / %2").arg(unplugCount).arg(replugs.size()), "equal",
        unplugCount == replugs.size());
    for (int i = 0; i < replugs.size(); ++i) {
        const Replug& r = replugs[i];
        qint64 resumedNs = 0;
        for (const Tick& t : ticks)
            if (t.endNs > r.chosenNs && t.outcome == QLatin1String("reading")) {
                resumedNs = t.endNs;
                break;
            }
        row(QStringLiteral("replug %1: port chosen again, readings resumed after").arg(i + 1),
            resumedNs ? QString::asprintf("%.0f ms, %.0f ms", double(r.chosenNs - r.replugNs) / 1e6,
                                          double(resumedNs - r.replugNs) / 1e6)
                      : QStringLiteral("never"),
            "< 1000 ms", resumedNs && resumedNs - r.replugNs < 1000000000);
        row(QStringLiteral("replug %1: status panel 1 before the choice").arg(i + 1),
            r.panel1.isEmpty() ? QStringLiteral("(empty)") : r.panel1, "(reference)", true);
    }
}
