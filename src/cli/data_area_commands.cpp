// store and restore-factory: the transmitter's data areas, as the window's
// data-area buttons use them. Success is the reply value "OK".

#include "cli/bare_command.h"
#include "cli/command_support.h"
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

int runRestoreFactory(CommandContext& context) {
    return runBareCommand(
        context, {{QStringLiteral("restore-factory"), commandText(Command::RestoreFactory)},
                  doneCheck,
                  QStringLiteral("restore the factory settings"),
                  true});
}

void addStoreOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    addYesOption(parser);
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
            addStoreOptions,
            runStore};
}

CliCommand restoreFactoryCommand() {
    return {QStringLiteral("restore-factory"),
            QStringLiteral("ADDR"),
            QStringLiteral("Restore the factory settings"),
            QStringLiteral("Sends \"LD\"; success is the reply value \"OK\". The present "
                           "settings are lost, so it needs --yes."),
            1,
            1,
            addStoreOptions,
            runRestoreFactory};
}
