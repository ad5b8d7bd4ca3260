#include "cli/write_run.h"
#include "cli/reply_words.h"

#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "link/frame.h"
#include "link/reply_value.h"
#include "protocol/commands.h"

#include <QJsonArray>

QString writeStateName(WriteState state) {
    // In the order of WriteState.
    static const char* const names[] = {"applied", "not applied", "unknown", "not sent",
                                        "unchanged"};
    return QLatin1String(names[int(state)]);
}

bool WriteRun::allApplied() const {
    for (const WriteResult& r : results)
        if (r.state != WriteState::Applied && r.state != WriteState::Unchanged)
            return false;
    return true;
}

bool WriteRun::nothingToDo() const {
    for (const WriteResult& r : results)
        if (r.state != WriteState::Unchanged)
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
                       r.state == WriteState::NotSent || r.state == WriteState::Unchanged
                           ? QJsonValue()
                           : QJsonValue(r.write.command)},
                      {QStringLiteral("state"), writeStateName(r.state)}};
        if (r.write.present)
            w.insert(QStringLiteral("present"), *r.write.present);
        if (!r.write.notCompared.isEmpty())
            w.insert(QStringLiteral("notCompared"), r.write.notCompared);
        if (!r.reply.isEmpty()) {
            w.insert(QStringLiteral("reply"), r.reply.chopped(1));
            w.insert(QStringLiteral("value"), r.reply.startsWith(QLatin1Char('*'))
                                                  ? QJsonValue(replyValue(r.reply))
                                                  : QJsonValue());
        }
        if (!r.echoProblem.isEmpty())
            w.insert(QStringLiteral("echo"), r.echoProblem);
        if (r.readBackTried)
            w.insert(QStringLiteral("readBack"),
                     r.readBack ? QJsonValue(*r.readBack) : QJsonValue());
        if (!r.problem.isEmpty())
            w.insert(QStringLiteral("error"), r.problem);
        writes.append(w);
    }
    const auto list = [this](WriteState state) { return QJsonArray::fromStringList(keys(state)); };
    return {{QStringLiteral("address"), address},
            {QStringLiteral("writes"), writes},
            {QStringLiteral("applied"), list(WriteState::Applied)},
            {QStringLiteral("notApplied"), list(WriteState::NotApplied)},
            {QStringLiteral("unknown"), list(WriteState::Unknown)},
            {QStringLiteral("notSent"), list(WriteState::NotSent)},
            {QStringLiteral("unchanged"), list(WriteState::Unchanged)}};
}

QStringList WriteRun::toText() const {
    QStringList lines;
    for (const WriteResult& r : results) {
        QString outcome;
        switch (r.state) {
        case WriteState::Applied:
            outcome = r.readBackTried ? QStringLiteral("applied: %1 (read back; the echo: %2)")
                                            .arg(*r.readBack, r.echoProblem)
                                      : QStringLiteral("applied: %1").arg(replyValue(r.reply));
            break;
        case WriteState::NotApplied:
            outcome = QStringLiteral("NOT APPLIED: %1").arg(r.problem);
            break;
        case WriteState::Unknown:
            outcome = QStringLiteral("UNKNOWN: %1").arg(r.problem);
            break;
        case WriteState::NotSent:
            outcome = r.problem.isEmpty() ? QStringLiteral("not sent")
                                          : QStringLiteral("not sent: %1").arg(r.problem);
            break;
        case WriteState::Unchanged:
            outcome = QStringLiteral("unchanged: %1").arg(*r.write.present);
            break;
        }
        if (!r.write.notCompared.isEmpty())
            outcome += QStringLiteral(" (not compared: %1)").arg(r.write.notCompared);
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

namespace {
// Sends one write and tells what became of it, reading its key back when the
// echo does not tell.
void runWrite(const PlannedWrite& w, const SendWrite& send, const ReadBackWrite& readBack,
              WriteRun& run, WriteResult& result) {
    const SentWrite sent = send(w);
    if (sent.reply.kind == ReplyKind::PortLost) {
        // With the device gone nothing can be read back: a write that went
        // out may or may not have been stored, and one that did not is not.
        run.portLost = true;
        result.state = sent.reply.sent ? WriteState::Unknown : WriteState::NotSent;
        result.problem = QStringLiteral("port lost: %1").arg(run.device);
        return;
    }
    result.reply = sent.reply.reply;
    if (sent.reply.kind == ReplyKind::Data) {
        result.problem = sent.refusal;
        result.state = sent.refusal.isEmpty() ? WriteState::Applied : WriteState::NotApplied;
        return;
    }
    // No echo with data: the write may still have been stored (a late echo,
    // an adapter that went away after the request), so only the transmitter's
    // value afterwards tells.
    const QString echo = replyProblem(sent.reply.kind);
    result.echoProblem = echo;
    const std::optional<ReadBack> back = readBack ? readBack(w) : std::nullopt;
    if (!back) {
        result.state = WriteState::Unknown;
        result.problem = echo + QStringLiteral("; nothing to read back");
        return;
    }
    result.readBackTried = true;
    result.readBack = back->value;
    result.state = back->state;
    if (back->state != WriteState::Applied)
        result.problem = QStringLiteral("%1; read back: %2").arg(echo, back->problem);
}
} // namespace

WriteRun runWrites(const QString& address, const QString& device, const QList<PlannedWrite>& writes,
                   const SendWrite& send, const ReadBackWrite& readBack) {
    WriteRun run;
    run.address = address;
    run.device = device;
    bool go = true;
    bool mustFinish = false;
    for (const PlannedWrite& w : writes) {
        WriteResult result;
        result.write = w;
        if (go && stopRequested() && !run.stopped) {
            run.stopped = true;
            if (mustFinish)
                printNote(QStringLiteral("%1: %2; the steps after \"AD\" are sent first, so the "
                                         "transmitter is not left half moved")
                              .arg(address, stopReason()));
            else
                go = false;
        }
        if (go && w.unchanged) {
            result.state = WriteState::Unchanged;
        } else if (go) {
            runWrite(w, send, readBack, run, result);
            go = result.state == WriteState::Applied;
            mustFinish = mustFinish || (w.finishOnceSent && result.state != WriteState::NotSent);
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
    if (run.nothingToDo()) {
        if (!json)
            printLine(QStringLiteral("%1: nothing to do").arg(run.address));
        return;
    }
    // The first write not applied is what failed the run.
    for (const WriteResult& r : run.results)
        if (r.state != WriteState::Applied && r.state != WriteState::Unchanged) {
            noteFailure(QStringLiteral("%1 %2: %3")
                            .arg(run.address, r.write.key,
                                 r.problem.isEmpty() ? writeStateName(r.state) : r.problem));
            break;
        }
    // A single write's line already says it all.
    const bool unchanged = !run.keys(WriteState::Unchanged).isEmpty();
    if ((run.allApplied() && !unchanged) || run.results.size() < 2)
        return;
    QStringList groups;
    for (const WriteState state :
         {WriteState::Applied, WriteState::Unchanged, WriteState::NotApplied, WriteState::Unknown,
          WriteState::NotSent}) {
        const QStringList keys = run.keys(state);
        if (!keys.isEmpty() || state == WriteState::Applied)
            groups.append(QStringLiteral("%1: %2").arg(
                writeStateName(state),
                keys.isEmpty() ? QStringLiteral("nothing") : keys.join(QStringLiteral(", "))));
    }
    if (run.allApplied() && !run.stopped) {
        printNote(QStringLiteral("%1: %2").arg(run.address, groups.join(QStringLiteral("; "))));
        return;
    }
    printNote(QStringLiteral("%1: %2; %3")
                  .arg(run.address,
                       run.stopped    ? stopReason()
                       : run.portLost ? QStringLiteral("port lost: %1").arg(run.device)
                                      : QStringLiteral("stopped at the first write not applied"),
                       groups.join(QStringLiteral("; "))));
}

void printDryRun(const QString& address, const QList<PlannedWrite>& writes, bool json) {
    QStringList lines;
    QJsonArray frames;
    for (const PlannedWrite& w : writes) {
        // What the comparison with the transmitter found, when there was one.
        const QString found = w.present ? QStringLiteral("; present %1").arg(*w.present)
                              : !w.notCompared.isEmpty()
                                  ? QStringLiteral("; not compared: %1").arg(w.notCompared)
                                  : QString();
        QJsonObject entry{{QStringLiteral("key"), w.key},
                          {QStringLiteral("command"), w.command},
                          {QStringLiteral("action"),
                           w.unchanged ? QStringLiteral("unchanged") : QStringLiteral("write")}};
        if (w.present)
            entry.insert(QStringLiteral("present"), *w.present);
        if (!w.notCompared.isEmpty())
            entry.insert(QStringLiteral("notCompared"), w.notCompared);
        if (w.unchanged) {
            lines.append(QStringLiteral("unchanged  (%1%2)").arg(w.key, found));
        } else {
            const QString frame =
                requestFrameText(w.address.isEmpty() ? address : w.address, w.command);
            lines.append(QStringLiteral("would send %1  (%2%3)").arg(frame, w.key, found));
            entry.insert(QStringLiteral("frame"), frame);
        }
        frames.append(entry);
    }
    if (json)
        printJson(QJsonObject{{QStringLiteral("address"), address},
                              {QStringLiteral("dryRun"), true},
                              {QStringLiteral("frames"), frames}});
    else
        printLine(lines.join(QLatin1Char('\n')));
    printNote(QStringLiteral("dry run: nothing was sent"));
}
