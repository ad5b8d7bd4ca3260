// completion: the shell completion script, written at run time from the
// command table, so it completes exactly the commands and options this very
// program takes.

#include "cli/cli_command.h"
#include "cli/completion_script.h"
#include "cli/exit_codes.h"
#include "cli/output.h"

namespace {

int runCompletion(CommandContext& context) {
    const QString shell = context.arguments.value(0);
    if (shell != QLatin1String("bash")) {
        printError(QStringLiteral("completion is written for bash only, not \"%1\"").arg(shell));
        return kExitUsage;
    }
    // This command takes no options of its own, so its parser holds exactly
    // the global ones.
    printLine(bashCompletionScript(parserOptions(context.parser), cliCommands()));
    return kExitOk;
}

} // namespace

CliCommand completionCommand() {
    return {QStringLiteral("completion"),
            QStringLiteral("bash"),
            QStringLiteral("Print the shell completion script"),
            QStringLiteral(
                "Prints a bash script that completes the commands, their options and "
                "the values of options and arguments where they are known (ports, "
                "rates, data areas, setting keys, file names). The package installs it; from a "
                "build folder: source <(tarnwick-cli completion bash)."),
            1,
            1,
            {},
            runCompletion};
}
