#include "cli/bare_command.h"

#include "cli/command_support.h"
#include "cli/exit_codes.h"

int runBareCommand(CommandContext& context, const BareCommand& command) {
    const std::optional<QString> address = addressArgument(context, 0);
    const std::optional<int> rate = rateOption(context);
    if (!address || !rate)
        return kExitUsage;
    if (command.forGood &&
        !confirmedForGood(context, QStringLiteral("send %1 to %2: %3")
                                       .arg(requestFrameText(*address, command.write.command),
                                            *address, command.effect)))
        return kExitUsage;

    int status = kExitUsage;
    std::optional<ReachedTransmitter> reached =
        reachTransmitterAt(context, *address, *rate, &status);
    if (!reached)
        return status;
    if (context.options.dryRun) {
        printDryRun(*address, {command.write}, context.options.json);
        return kExitOk;
    }
    const WriteRun run = runWrites(reached->bus(), *address, {command.write}, command.check);
    printWriteRun(run, context.options.json);
    return run.exitCode();
}
