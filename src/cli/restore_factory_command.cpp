// restore-factory: the settings of the factory data area brought back, as the
// window's data-area button restores them. Success is the reply value "OK".

#include "cli/bare_command.h"
#include "protocol/commands.h"

CliCommand restoreFactoryCommand() {
    return {QStringLiteral("restore-factory"),
            QStringLiteral("ADDR"),
            QStringLiteral("Restore the factory settings"),
            QStringLiteral("Sends \"LD\"; success is the reply value \"OK\". The present "
                           "settings are lost, so it needs --yes."),
            1,
            1,
            addBareCommandOptions,
            [](CommandContext& context) {
                return runBareCommand(context, {{QStringLiteral("restore-factory"),
                                                 commandText(Command::RestoreFactory)},
                                                doneCheck,
                                                QStringLiteral("restore the factory settings"),
                                                true});
            }};
}
