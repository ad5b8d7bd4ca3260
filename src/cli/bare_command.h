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

// Sends it to the transmitter of argument 0, after --yes where needed; with
// --dry-run prints the frame instead.
int runBareCommand(const CommandContext& context, const BareCommand& command);
