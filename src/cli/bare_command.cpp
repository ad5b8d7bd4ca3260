#include "cli/bare_command.h"

#include "cli/addressed_transmitter.h"
#include "cli/output.h"
#include "cli/writing_command.h"

namespace {
const QString kYes = QStringLiteral("yes");
} // namespace

void addBareCommandOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    parser.addOption(
        {kYes, QStringLiteral("Really do it: the change cannot be undone from here.")});
}

int runBareCommand(const CommandContext& context, const BareCommand& command) {
    return runWritingCommand(
        context,
        [command](const CommandContext& context,
                  const QString& address) -> std::variant<PlanStep, ExitCode> {
            // A dry run sends nothing, so it needs no --yes.
            if (command.forGood && !context.parser.isSet(kYes) && !context.options.dryRun) {
                printLine(QStringLiteral("would send %1 to %2: %3")
                              .arg(requestFrameText(address, command.write.command), address,
                                   command.effect));
                printError(QStringLiteral("this changes the transmitter for good: add --yes to "
                                          "do it (or --dry-run to see the frame); nothing sent"));
                return kExitUsage;
            }
            return [command](TransmitterConnection&) -> std::variant<WritingPlan, ExitCode> {
                return WritingPlan{{command.write}, command.check};
            };
        });
}
