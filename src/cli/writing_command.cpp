#include "cli/writing_command.h"

#include "cli/addressed_transmitter.h"
#include "cli/output.h"
#include "cli/write_read_back.h"

#include <QJsonObject>

namespace {
// The transmitter the running command addresses, for a refusal's document.
QString g_address;
} // namespace

int runWritingCommand(const CommandContext& context, const CheckStep& check,
                      const Connection::RateCheck& rateCheck) {
    const std::optional<AddressedTransmitter> addressed = addressedTransmitter(context);
    if (!addressed)
        return kExitUsage;
    g_address = addressed->address;
    const std::variant<PlanStep, ExitCode> checked = check(context, addressed->address);
    if (const ExitCode* status = std::get_if<ExitCode>(&checked))
        return *status;

    return withTransmitter(
        context.options, *addressed,
        [&](ReachedTransmitter& t) -> int {
            const std::variant<WritingPlan, ExitCode> planned =
                std::get<PlanStep>(checked)(t.transmitter);
            if (const ExitCode* status = std::get_if<ExitCode>(&planned))
                return *status;
            const WritingPlan& plan = std::get<WritingPlan>(planned);
            if (context.options.dryRun) {
                printDryRun(t.address, plan.writes, context.options.json);
                return kExitOk;
            }
            TransmitterConnection& transmitter = t.transmitter;
            const SendWrite send = [&](const PlannedWrite& w) {
                const Exchanged reply = transmitter.exchangeText(w.command);
                return SentWrite{reply, plan.check(reply)};
            };
            const ReadBackWrite readBack = [&](const PlannedWrite& w) {
                return readSettingBack(transmitter, w);
            };
            const WriteRun run =
                runWrites(t.address, t.connection->device(), plan.writes,
                          plan.send ? plan.send : send, plan.readBack ? plan.readBack : readBack);
            if (plan.report)
                return plan.report(run);
            printWriteRun(run, context.options.json);
            return run.exitCode();
        },
        rateCheck);
}

void addAllOption(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("all"),
                      QStringLiteral("Write every key given, even one the transmitter already "
                                     "holds. By default each key is read first and only those "
                                     "that differ are written (once \"UT\" or \"DP\" is "
                                     "written, every later key too): each write costs the "
                                     "transmitter's memory a write cycle, and on a live plant a "
                                     "write that changes nothing is risk without gain.")});
}

bool allGiven(const CommandContext& context) {
    return context.parser.isSet(QStringLiteral("all"));
}

ExitCode refuse(const QString& message) {
    // A script reading stdout learns of a refusal as of a --yes refusal.
    if (jsonDiagnostics())
        printJson(QJsonObject{{QStringLiteral("address"), g_address},
                              {QStringLiteral("error"), message},
                              {QStringLiteral("sent"), false}});
    printError(message + QStringLiteral("; nothing sent"));
    return kExitUsage;
}
