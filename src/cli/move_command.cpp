// move: the window's address and rate change, stopping at the first write
// that is not applied, and confirmed at the new address and rate.

#include "cli/addressed_transmitter.h"
#include "cli/arguments.h"
#include "cli/fixed_rate.h"
#include "cli/move_plan.h"
#include "cli/output.h"
#include "cli/reply_words.h"
#include "cli/stop_request.h"
#include "cli/write_read_back.h"
#include "cli/writing_command.h"
#include "connection/transmitter_place.h"
#include "protocol/bus_search.h"
#include "protocol/commands.h"
#include "protocol/text_rules.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

const QString kTo = QStringLiteral("to");
const QString kRate = QStringLiteral("rate");
const QString kId = QStringLiteral("id");
const QString kModel = QStringLiteral("model");

// Where a move goes, or where a transmitter is, for the user.
QString placeText(const TransmitterPlace& place) {
    return QStringLiteral("%1, %2 baud").arg(place.address).arg(kBaudRates[place.baudIndex]);
}

// The transmitter's own text ("ID", "TY"), read to be written back; nothing
// after a message when the read fails or gives a text that may not be stored.
std::optional<QString> readOwnText(TransmitterConnection& transmitter, Command command) {
    const Exchanged reply = transmitter.exchange(command);
    QString problem = answeredCheck(reply);
    if (problem.isEmpty() && storedTextProblem(reply.value()) != TextProblem::None)
        problem = QStringLiteral("\"%1\" cannot be written back").arg(reply.value());
    if (problem.isEmpty())
        return reply.value();
    printError(QStringLiteral("%1 %2: %3; nothing written")
                   .arg(transmitter.address(), commandText(command), problem));
    return std::nullopt;
}

// Another transmitter at the new address, at any of the rates; one "AD" each.
bool addressTaken(BusLine& line, const QString& address, const QList<int>& rates) {
    TransmitterConnection probe(line, address);
    for (const int rate : rates) {
        if (!probe.setBaudIndex(rate))
            continue;
        if (probe.exchange(Command::Address).kind == ReplyKind::NoReply)
            continue;
        printError(QStringLiteral("something answers at %1 at %2 baud already; nothing written")
                       .arg(address)
                       .arg(kBaudRates[rate]));
        return true;
    }
    return false;
}

// What the move writes: the target and the texts it writes back.
struct MoveWrites {
    TransmitterPlace target;
    QString id;
    QString model;
};

// Sends a write of the move through the connection's move steps, which follow
// the transmitter to its new address and switch the line as it accepts the
// new rate; the writes go where the dry run shows them going.
SentWrite sendMoveWrite(TransmitterConnection& transmitter, const MoveWrites& move,
                        const PlannedWrite& w) {
    const QString from = transmitter.address();
    if (w.key == QLatin1String("address")) {
        const Exchanged reply = transmitter.moveAddress(move.target.address);
        return {reply, addressChangeProblem(reply, from, move.target.address)};
    }
    if (w.key == QLatin1String("baud")) {
        const Exchanged reply = transmitter.moveRate(move.target.baudIndex);
        return {reply, rateChangeProblem(reply, move.target.baudIndex)};
    }
    const Exchanged reply = w.key == QLatin1String("id") ? transmitter.moveId(move.id)
                                                         : transmitter.moveModel(move.model);
    return {reply, answeredCheck(reply)};
}

// Points the connection at a place and asks "AD" there.
bool answersAt(TransmitterConnection& transmitter, const TransmitterPlace& place) {
    transmitter.setAddress(place.address);
    return transmitter.setBaudIndex(place.baudIndex) && transmitter.answersAddress();
}

// Where a step of the address or the rate left the transmitter when its echo
// did not tell: it is looked for at the place it had before the step first
// (the line's wait after the failed step comes with that exchange), then at
// the new one. The connection is left where it answered, at the old place
// when it answered nowhere.
ReadBack lookForTransmitter(TransmitterConnection& transmitter, const TransmitterPlace& before,
                            const TransmitterPlace& after, bool rateStep) {
    // What the step's key holds at a place, as its echo would have said it.
    const auto key = [rateStep](const TransmitterPlace& place) {
        return rateStep ? QString::number(place.baudIndex) : place.address;
    };
    // A step that keeps the address or the rate as it is has its place
    // unchanged: answering there is what it asked.
    const bool unchanged = before == after;
    if (answersAt(transmitter, before))
        return unchanged
                   ? ReadBack{WriteState::Applied, key(before), QString()}
                   : ReadBack{WriteState::NotApplied, key(before),
                              QStringLiteral("it still answers at %1").arg(placeText(before))};
    if (unchanged)
        return {WriteState::Unknown, std::nullopt,
                QStringLiteral("it does not answer at %1").arg(placeText(before))};
    if (answersAt(transmitter, after))
        return {WriteState::Applied, key(after), QString()};
    answersAt(transmitter, before);
    return {WriteState::Unknown, std::nullopt,
            QStringLiteral("it answers neither at %1 nor at %2")
                .arg(placeText(before), placeText(after))};
}

std::optional<ReadBack> readMoveBack(TransmitterConnection& transmitter, const MoveWrites& move,
                                     const PlannedWrite& w) {
    const TransmitterPlace now{transmitter.address(), transmitter.baudIndex()};
    if (w.key == QLatin1String("address"))
        return lookForTransmitter(transmitter, now, {move.target.address, now.baudIndex}, false);
    if (w.key == QLatin1String("baud"))
        return lookForTransmitter(transmitter, now, {now.address, move.target.baudIndex}, true);
    return readSettingBack(transmitter, w);
}

// Where the transmitter is after a run that did not finish.
QString whereAfterFailure(const WriteRun& run, int fromRate, const TransmitterPlace& target) {
    const auto stateOf = [&run](const char* key) {
        for (const WriteResult& r : run.results)
            if (r.write.key == QLatin1String(key))
                return r.state;
        return WriteState::NotSent;
    };
    const TransmitterPlace from{run.address, fromRate};
    const TransmitterPlace moved{target.address, fromRate};
    const TransmitterPlace to{target.address, target.baudIndex};
    switch (stateOf("address")) {
    case WriteState::NotSent:
    case WriteState::NotApplied:
        return QStringLiteral("it stays at %1").arg(placeText(from));
    case WriteState::Unknown:
        return QStringLiteral("it answers neither at %1 nor at %2")
            .arg(placeText(from), placeText(moved));
    case WriteState::Applied:
    case WriteState::Unchanged:
        break;
    }
    switch (stateOf("baud")) {
    case WriteState::NotSent:
    case WriteState::NotApplied:
        return QStringLiteral("it is at %1").arg(placeText(moved));
    case WriteState::Unknown:
        return QStringLiteral("it answers neither at %1 nor at %2")
            .arg(placeText(moved), placeText(to));
    case WriteState::Applied:
    case WriteState::Unchanged:
        break;
    }
    return QStringLiteral("it is at %1").arg(placeText(to));
}

// Tells where the transmitter went, confirmed with an "AD" at the new place.
int reportMove(const WriteRun& run, TransmitterConnection& transmitter, int fromRate,
               const TransmitterPlace& target, bool json) {
    QJsonObject extra{{QStringLiteral("to"), target.address},
                      {QStringLiteral("baud"), kBaudRates[target.baudIndex]}};
    if (!run.allApplied()) {
        extra.insert(QStringLiteral("confirmed"), false);
        printWriteRun(run, json, extra);
        printError(QStringLiteral("%1: the move did not finish; %2")
                       .arg(run.address, whereAfterFailure(run, fromRate, target)));
        return run.exitCode();
    }
    // Every step was accepted, so the connection is at the new address and
    // rate.
    const bool confirmed = transmitter.answersAddress();
    extra.insert(QStringLiteral("confirmed"), confirmed);
    printWriteRun(run, json, extra);
    const QString where =
        QStringLiteral("%1 at %2 baud").arg(target.address).arg(kBaudRates[target.baudIndex]);
    if (!confirmed) {
        // Where it is then: one look at the place it had before the move.
        const TransmitterPlace before{run.address, fromRate};
        printError(QStringLiteral("no answer to \"AD\" at %1 after the move; %2")
                       .arg(where, answersAt(transmitter, before)
                                       ? QStringLiteral("it answers at %1").arg(placeText(before))
                                       : QStringLiteral("nor at %1").arg(placeText(before))));
        return kExitFailed;
    }
    if (!json)
        printLine(QStringLiteral("%1 is now %2").arg(run.address, where));
    return kExitOk;
}

// What the command line asks of the move, checked.
struct MoveRequest {
    std::optional<QString> to;
    std::optional<int> rate;
    std::optional<QString> id;
    std::optional<QString> model;
    bool json = false;
};

std::variant<WritingPlan, ExitCode> planMoveOn(TransmitterConnection& transmitter,
                                               const MoveRequest& request) {
    const QString address = transmitter.address();
    const int fromRate = transmitter.baudIndex();
    const TransmitterPlace target{request.to.value_or(address), request.rate.value_or(fromRate)};
    if (target.address == address && target.baudIndex == fromRate) {
        // Found where it is asked to go: nothing is written.
        if (request.json)
            printJson(QJsonObject{{QStringLiteral("address"), address},
                                  {QStringLiteral("to"), target.address},
                                  {QStringLiteral("baud"), kBaudRates[target.baudIndex]},
                                  {QStringLiteral("writes"), QJsonArray()},
                                  {QStringLiteral("nothingToDo"), true}});
        else
            printLine(QStringLiteral("%1 is at %2 already: nothing to do")
                          .arg(address, placeText(target)));
        return kExitOk;
    }
    std::optional<QString> id = request.id;
    if (!id)
        id = readOwnText(transmitter, Command::Id);
    std::optional<QString> model = request.model;
    if (id && !model)
        model = readOwnText(transmitter, Command::Model);
    if (!id || !model)
        return kExitFailed;

    // The place the transmitter goes to must be free: at a new address, at
    // every rate, since the window's list refuses an address it holds at any
    // rate (the new rate and the present one first); at its own address, at
    // the new rate.
    QList<int> rates;
    if (target.address != address) {
        rates = {target.baudIndex, fromRate};
        for (const int index : kSearchBaudIndexes)
            rates.append(index);
    } else if (target.baudIndex != fromRate) {
        rates = {target.baudIndex};
    }
    QList<int> probes;
    for (const int index : rates)
        if (!probes.contains(index))
            probes.append(index);
    if (!probes.isEmpty()) {
        const bool taken = addressTaken(transmitter.line(), target.address, probes);
        transmitter.setBaudIndex(fromRate);
        if (taken || stopRequested())
            return kExitFailed;
    }

    WritingPlan plan{planMove(target.address, target.baudIndex, *id, *model)};
    const MoveWrites move{target, *id, *model};
    plan.send = [&transmitter, move](const PlannedWrite& w) {
        return sendMoveWrite(transmitter, move, w);
    };
    plan.readBack = [&transmitter, move](const PlannedWrite& w) {
        return readMoveBack(transmitter, move, w);
    };
    plan.report = [&transmitter, fromRate, target, json = request.json](const WriteRun& run) {
        return reportMove(run, transmitter, fromRate, target, json);
    };
    return plan;
}

std::variant<PlanStep, ExitCode> checkMove(const CommandContext& context, const QString&) {
    const QCommandLineParser& p = context.parser;
    if (!p.isSet(kTo) && !p.isSet(kRate)) {
        printError(QStringLiteral("move needs --to NEW, --rate RATE or both"));
        return kExitUsage;
    }
    MoveRequest request;
    if (p.isSet(kTo) && !(request.to = parseBusAddress(p.value(kTo)))) {
        printError(QStringLiteral("--to \"%1\" is no bus address (1 to 99)").arg(p.value(kTo)));
        return kExitUsage;
    }
    if (p.isSet(kRate) && !(request.rate = parseBaudIndex(p.value(kRate)))) {
        printError(
            QStringLiteral("--rate \"%1\": give 1200, 2400, 4800 or 9600").arg(p.value(kRate)));
        return kExitUsage;
    }
    for (const QString& key : {kId, kModel}) {
        if (!p.isSet(key))
            continue;
        if (const std::optional<Refusal> problem = settingProblem(key, p.value(key)))
            return refuse(problem->message);
        (key == kId ? request.id : request.model) = p.value(key);
    }
    request.json = context.options.json;
    return
        [request](TransmitterConnection& transmitter) { return planMoveOn(transmitter, request); };
}

void addMoveOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    parser.addOption({kTo, QStringLiteral("The new bus address, 1 to 99."), QStringLiteral("new")});
    parser.addOption(
        {kRate, QStringLiteral("The new rate: 1200, 2400, 4800 or 9600."), QStringLiteral("rate")});
    parser.addOption({kId,
                      QStringLiteral("A new id text; default: the transmitter's own, read first."),
                      QStringLiteral("text")});
    parser.addOption(
        {kModel, QStringLiteral("A new model text; default: the transmitter's own, read first."),
         QStringLiteral("text")});
}

} // namespace

CliCommand moveCommand() {
    return {QStringLiteral("move"),
            QStringLiteral("ADDR"),
            QStringLiteral("Move a transmitter to a new address or rate"),
            QStringLiteral(
                "The window's address and rate change: \"ID\", \"AD\", \"BD\", \"TY\", with the "
                "transmitter's own id and model texts (read first) unless --id or --model give "
                "new ones. --baud is the rate it answers at now. A --to address at which "
                "something already answers is refused: one \"AD\" probe at the new rate, the "
                "present one, then the other two; a new rate alone is probed at the present "
                "address. An \"AD\" or \"BD\" step whose echo does not tell is followed by a "
                "look for the transmitter, at its old place, then at the new. The first write "
                "not applied ends the move and nothing more is sent. At the end an \"AD\" at "
                "the new address and rate confirms it; without an answer there, one \"AD\" at "
                "the old place says whether it is still there."),
            1,
            1,
            addMoveOptions,
            [](CommandContext& context) {
                // The new rate, when --rate gives one; checkMove refuses any other.
                const int rate = parseBaudIndex(context.parser.value(kRate)).value_or(-1);
                return runWritingCommand(context, checkMove, [rate](int fixedBaud) {
                    return rateAllowed(fixedBaud, rate);
                });
            }};
}
