// store: the present settings into the user or the factory data area, as the
// window's data-area buttons store them. Success is the reply value "OK".

#include "cli/bare_command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "protocol/commands.h"

namespace {

int runStore(CommandContext& context) {
    const QString area = context.arguments.value(1);
    const bool factory = area == QLatin1String("factory");
    if (!factory && area != QLatin1String("user")) {
        printError(QStringLiteral("store takes user or factory, not \"%1\"").arg(area));
        return kExitUsage;
    }
    const Command command = factory ? Command::StoreFactory : Command::StoreUser;
    return runBareCommand(
        context, {{QStringLiteral("store-") + area, commandText(command)},
                  doneCheck,
                  QStringLiteral("store the present settings in the %1 data area").arg(area),
                  factory});
}

} // namespace

CliCommand storeCommand() {
    return {QStringLiteral("store"),
            QStringLiteral("ADDR user|factory"),
            QStringLiteral("Store the settings in the user or factory data area"),
            QStringLiteral("Sends \"WU\" (user) or \"WF\" (factory); success is the reply value "
                           "\"OK\". Storing into the factory data area replaces what a "
                           "restore-factory brings back, so it needs --yes."),
            2,
            2,
            addBareCommandOptions,
            runStore};
}
