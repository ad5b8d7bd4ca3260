#pragma once

#include "cli/cli_command.h"
#include "cli/write_run.h"

// The writing commands that send one command without a payload: store,
// restore-factory and zero.
struct BareCommand {
    PlannedWrite write;
    ReplyCheck check;
    // What it does, for the confirmation line ("restore the factory settings").
    QString effect;
    // Changes the transmitter for good: needs --yes.
    bool forGood = false;
};

// Their options: --baud and --yes.
void addBareCommandOptions(QCommandLineParser& parser);
// --yes alone, for send.
void addYesOption(QCommandLineParser& parser);
bool yesGiven(const CommandContext& context);

// Refuses a command that changes the transmitter for good without --yes:
// prints what would have been sent (as JSON with --json) and gives 2.
int refuseWithoutYes(const CommandContext& context, const QString& address,
                     const QString& commandText, const QString& effect);

// Sends it to the transmitter of argument 0, after --yes where needed; with
// --dry-run prints the frame instead.
int runBareCommand(const CommandContext& context, const BareCommand& command);
