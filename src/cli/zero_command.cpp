// zero: the transmitter takes its present pressure as zero, as the window's
// zero button makes it.

#include "cli/bare_command.h"
#include "protocol/commands.h"

CliCommand zeroCommand() {
    return {QStringLiteral("zero"),
            QStringLiteral("ADDR"),
            QStringLiteral("Take the present pressure as zero"),
            QStringLiteral("Sends \"SZ\"; any verified reply is success and its value is "
                           "printed. The zero offset changes for good, so it needs --yes."),
            1,
            1,
            addBareCommandOptions,
            [](CommandContext& context) {
                // Any verified reply is success; its value (the new reading,
                // or "OK") is printed.
                return runBareCommand(context,
                                      {{QStringLiteral("zero"), commandText(Command::Zero)},
                                       answeredCheck,
                                       QStringLiteral("take the present pressure as zero"),
                                       true});
            }};
}
