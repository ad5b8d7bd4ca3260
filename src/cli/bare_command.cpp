#include "cli/bare_command.h"

#include "cli/addressed_transmitter.h"
#include "cli/output.h"
#include "cli/writing_command.h"

#include <QJsonObject>

namespace {
const QString kYes = QStringLiteral("yes");
} // namespace

void addYesOption(QCommandLineParser& parser) {
    parser.addOption({{QStringLiteral("y"), kYes},
                      QStringLiteral("Really do it: the change cannot be undone from here.")});
}

void addBareCommandOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    addYesOption(parser);
}

bool yesGiven(const CommandContext& context) {
    return context.parser.isSet(kYes);
}

int refuseWithoutYes(const CommandContext& context, const QString& address,
                     const QString& commandText, const QString& effect) {
    const QString frame = requestFrameText(address, commandText);
    if (context.options.json)
        printJson(QJsonObject{{QStringLiteral("address"), address},
                              {QStringLiteral("command"), commandText},
                              {QStringLiteral("frame"), frame},
                              {QStringLiteral("effect"), effect},
                              {QStringLiteral("sent"), false}});
    else
        printLine(QStringLiteral("would send %1 to %2: %3").arg(frame, address, effect));
    printError(QStringLiteral("this changes the transmitter for good: add --yes to do it (or "
                              "--dry-run to see the frame); nothing sent"));
    return kExitUsage;
}

int runBareCommand(const CommandContext& context, const BareCommand& command) {
    return runWritingCommand(
        context,
        [command](const CommandContext& context,
                  const QString& address) -> std::variant<PlanStep, ExitCode> {
            // A dry run sends nothing, so it needs no --yes.
            if (command.forGood && !yesGiven(context) && !context.options.dryRun)
                return ExitCode(
                    refuseWithoutYes(context, address, command.write.command, command.effect));
            return [command](TransmitterConnection&) -> std::variant<WritingPlan, ExitCode> {
                return WritingPlan{{command.write}, command.check};
            };
        });
}
