#include "cli/write_run.h"

#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "link/frame.h"
#include "link/reply_value.h"
#include "protocol/commands.h"

#include <QJsonArray>

namespace {
QString stateName(WriteState state) {
    // In the order of WriteState.
    static const char* const names[] = {"applied", "failed", "skipped"};
    return QLatin1String(names[int(state)]);
}
} // namespace

bool WriteRun::allApplied() const {
    for (const WriteResult& r : results)
        if (r.state != WriteState::Applied)
            return false;
    return true;
}

QStringList WriteRun::keys(WriteState state) const {
    QStringList k;
    for (const WriteResult& r : results)
        if (r.state == state)
            k.append(r.write.key);
    return k;
}

int WriteRun::exitCode() const {
    return allApplied() ? kExitOk : kExitFailed;
}

QJsonObject WriteRun::toJson() const {
    QJsonArray writes;
    for (const WriteResult& r : results) {
        QJsonObject w{{QStringLiteral("key"), r.write.key},
                      {QStringLiteral("sent"),
                       r.state == WriteState::Skipped ? QJsonValue() : QJsonValue(r.write.command)},
                      {QStringLiteral("state"), stateName(r.state)}};
        if (!r.reply.isEmpty()) {
            w.insert(QStringLiteral("reply"), r.reply.chopped(1));
            w.insert(QStringLiteral("value"), r.reply.startsWith(QLatin1Char('*'))
                                                  ? QJsonValue(replyValue(r.reply))
                                                  : QJsonValue());
        }
        if (!r.problem.isEmpty())
            w.insert(QStringLiteral("error"), r.problem);
        writes.append(w);
    }
    return {{QStringLiteral("address"), address},
            {QStringLiteral("writes"), writes},
            {QStringLiteral("applied"), QJsonArray::fromStringList(keys(WriteState::Applied))},
            {QStringLiteral("failed"), QJsonArray::fromStringList(keys(WriteState::Failed))},
            {QStringLiteral("skipped"), QJsonArray::fromStringList(keys(WriteState::Skipped))}};
}

QStringList WriteRun::toText() const {
    QStringList lines;
    for (const WriteResult& r : results) {
        QString outcome;
        if (r.state == WriteState::Applied)
            outcome = QStringLiteral("applied: %1").arg(replyValue(r.reply));
        else if (r.state == WriteState::Failed)
            outcome = QStringLiteral("FAILED: %1").arg(r.problem);
        else
            outcome = QStringLiteral("not sent");
        lines.append(QStringLiteral("%1 %2 %3 %4")
                         .arg(address, r.write.key.leftJustified(10),
                              r.write.command.leftJustified(12), outcome));
    }
    return lines;
}

QString answeredCheck(const Exchanged& reply) {
    return reply.answered() ? QString() : replyProblem(reply.kind);
}

QString doneCheck(const Exchanged& reply) {
    if (TransmitterConnection::isDone(reply))
        return QString();
    const QString problem = answeredCheck(reply);
    return !problem.isEmpty()
               ? problem
               : QStringLiteral("answered \"%1\", not \"%2\"").arg(reply.value(), kDoneReplyValue);
}

WriteRun runWrites(const QString& address, const QList<PlannedWrite>& writes,
                   const SendWrite& send) {
    WriteRun run;
    run.address = address;
    bool go = true;
    for (const PlannedWrite& w : writes) {
        WriteResult result{w, WriteState::Skipped, {}, {}};
        if (go && stopRequested()) {
            run.stopped = true;
            go = false;
        }
        if (go) {
            send(w, result);
            result.state = result.problem.isEmpty() ? WriteState::Applied : WriteState::Failed;
            go = result.state == WriteState::Applied;
        }
        run.results.append(result);
    }
    return run;
}

QString requestFrameText(const QString& address, const QString& command) {
    const QByteArray f = frame::request(address.toLatin1(), command.toLatin1());
    return QString::fromLatin1(f.chopped(1)) + QStringLiteral("\\r");
}

void printWriteRun(const WriteRun& run, bool json, const QJsonObject& extra) {
    if (json) {
        QJsonObject o = run.toJson();
        for (auto it = extra.begin(); it != extra.end(); ++it)
            o.insert(it.key(), it.value());
        printJson(o);
    } else {
        printLine(run.toText().join(QLatin1Char('\n')));
    }
    // A single write's line already says it all.
    if (run.allApplied() || run.results.size() < 2)
        return;
    const QStringList applied = run.keys(WriteState::Applied);
    printNote(
        QStringLiteral("%1: %2; applied: %3; not applied: %4")
            .arg(run.address,
                 run.stopped ? QStringLiteral("stopped by Ctrl-C")
                             : QStringLiteral("stopped at the first write not accepted"),
                 applied.isEmpty() ? QStringLiteral("nothing") : applied.join(QStringLiteral(", ")),
                 (run.keys(WriteState::Failed) + run.keys(WriteState::Skipped))
                     .join(QStringLiteral(", "))));
}

void printDryRun(const QString& address, const QList<PlannedWrite>& writes, bool json) {
    QStringList lines;
    QJsonArray frames;
    for (const PlannedWrite& w : writes) {
        const QString frame =
            requestFrameText(w.address.isEmpty() ? address : w.address, w.command);
        lines.append(QStringLiteral("would send %1  (%2)").arg(frame, w.key));
        frames.append(QJsonObject{{QStringLiteral("key"), w.key},
                                  {QStringLiteral("command"), w.command},
                                  {QStringLiteral("frame"), frame}});
    }
    if (json)
        printJson(QJsonObject{{QStringLiteral("address"), address},
                              {QStringLiteral("dryRun"), true},
                              {QStringLiteral("frames"), frames}});
    else
        printLine(lines.join(QLatin1Char('\n')));
    printNote(QStringLiteral("dry run: nothing was sent"));
}
