// move: the window's address and rate change, stopping at the first write
// that is not answered, and confirmed at the new address and rate.

#include "cli/addressed_transmitter.h"
#include "cli/arguments.h"
#include "cli/move_plan.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "cli/writing_command.h"
#include "link/reply_value.h"
#include "protocol/bus_search.h"
#include "protocol/commands.h"
#include "protocol/text_rules.h"

#include <QJsonObject>

namespace {

const QString kTo = QStringLiteral("to");
const QString kRate = QStringLiteral("rate");
const QString kId = QStringLiteral("id");
const QString kModel = QStringLiteral("model");

struct MoveTarget {
    QString address;
    int baudIndex = 0;
};

// The transmitter's own text ("ID", "TY"), read to be written back; nothing
// after a message when the read fails or gives a text that may not be stored.
std::optional<QString> readOwnText(Bus& bus, const QString& address, Command command) {
    const QString reply = bus.exchange(address, commandText(command));
    const Answer answer = classifyReply(reply, address);
    QString problem = answerProblem(answer);
    if (problem.isEmpty() && storedTextProblem(replyValue(reply)) != TextProblem::None)
        problem = QStringLiteral("\"%1\" cannot be written back").arg(replyValue(reply));
    if (problem.isEmpty())
        return replyValue(reply);
    printError(
        QStringLiteral("%1 %2: %3; nothing written").arg(address, commandText(command), problem));
    return std::nullopt;
}

// Another transmitter at the new address, at any of the rates; one "AD" each.
bool addressTaken(Bus& bus, const QString& address, const QList<int>& rates) {
    for (const int rate : rates) {
        if (!bus.setBaudIndex(rate))
            continue;
        const QString reply = bus.exchange(address, commandText(Command::Address));
        if (classifyReply(reply, address) == Answer::NoReply)
            continue;
        printError(QStringLiteral("something answers at %1 at %2 baud already; nothing written")
                       .arg(address)
                       .arg(kBaudRates[rate]));
        return true;
    }
    return false;
}

// Sends a write of the move where the dry run shows it going; the rate
// switches as the transmitter accepts it.
void sendMoveWrite(Bus& bus, const MoveTarget& target, const PlannedWrite& w,
                   const QString& address, WriteResult& result) {
    const QString at = w.address.isEmpty() ? address : w.address;
    result.reply = bus.exchange(at, w.command);
    if (w.key == QLatin1String("address"))
        result.problem = addressChangeProblem(result.reply, at, target.address);
    else if (w.key == QLatin1String("baud"))
        result.problem = rateChangeProblem(result.reply, at, target.baudIndex);
    else
        result.problem = answeredCheck(result.reply, at);
    if (result.problem.isEmpty() && w.key == QLatin1String("baud"))
        bus.setBaudIndex(target.baudIndex);
}

// Where the transmitter is after a run that did not finish.
QString whereAfterFailure(const WriteRun& run, int fromRate, const MoveTarget& target) {
    const QStringList applied = run.keys(WriteState::Applied);
    if (!applied.contains(QStringLiteral("address")))
        return QStringLiteral("it stays at %1, %2 baud").arg(run.address).arg(kBaudRates[fromRate]);
    if (!applied.contains(QStringLiteral("baud")))
        return QStringLiteral("it is at %1, at %2 or %3 baud: the rate change was not answered")
            .arg(target.address)
            .arg(kBaudRates[fromRate])
            .arg(kBaudRates[target.baudIndex]);
    return QStringLiteral("it is at %1, %2 baud")
        .arg(target.address)
        .arg(kBaudRates[target.baudIndex]);
}

// Tells where the transmitter went, confirmed with an "AD" at the new place.
int reportMove(const WriteRun& run, Bus& bus, int fromRate, const MoveTarget& target, bool json) {
    QJsonObject extra{{QStringLiteral("to"), target.address},
                      {QStringLiteral("baud"), kBaudRates[target.baudIndex]}};
    if (!run.allApplied()) {
        extra.insert(QStringLiteral("confirmed"), false);
        printWriteRun(run, json, extra);
        printError(QStringLiteral("%1: the move did not finish; %2")
                       .arg(run.address, whereAfterFailure(run, fromRate, target)));
        return run.exitCode();
    }
    const bool confirmed = isAddressAnswer(
        bus.exchange(target.address, commandText(Command::Address)), target.address);
    extra.insert(QStringLiteral("confirmed"), confirmed);
    printWriteRun(run, json, extra);
    const QString where =
        QStringLiteral("%1 at %2 baud").arg(target.address).arg(kBaudRates[target.baudIndex]);
    if (!confirmed) {
        printError(QStringLiteral("no answer to \"AD\" at %1 after the move").arg(where));
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

std::variant<WritingPlan, ExitCode> planMoveOn(Bus& bus, const QString& address,
                                               const MoveRequest& request) {
    const int fromRate = bus.baudIndex();
    const MoveTarget target{request.to.value_or(address), request.rate.value_or(fromRate)};
    std::optional<QString> id = request.id;
    if (!id)
        id = readOwnText(bus, address, Command::Id);
    std::optional<QString> model = request.model;
    if (id && !model)
        model = readOwnText(bus, address, Command::Model);
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
        const bool taken = addressTaken(bus, target.address, probes);
        bus.setBaudIndex(fromRate);
        if (taken || stopRequested())
            return kExitFailed;
    }

    WritingPlan plan{planMove(target.address, target.baudIndex, *id, *model)};
    plan.send = [&bus, target, address](const PlannedWrite& w, WriteResult& result) {
        sendMoveWrite(bus, target, w, address, result);
    };
    plan.report = [&bus, fromRate, target, json = request.json](const WriteRun& run) {
        return reportMove(run, bus, fromRate, target, json);
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
        [request](Bus& bus, const QString& address) { return planMoveOn(bus, address, request); };
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
                "address. The first write not answered ends the move and "
                "nothing more "
                "is sent; a failed \"AD\" leaves the transmitter where it was. At the end an "
                "\"AD\" at the new address and rate confirms it."),
            1,
            1,
            addMoveOptions,
            [](CommandContext& context) { return runWritingCommand(context, checkMove); }};
}
