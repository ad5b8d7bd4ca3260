#pragma once

#include "cli/cli_command.h"
#include "cli/connection.h"
#include "cli/exit_codes.h"
#include "cli/write_run.h"

#include <variant>

class TransmitterConnection;

// What set, apply, move, store, restore-factory and zero have in common:
// the transmitter's address and --baud read, the command's own arguments
// checked while the port is still closed, the transmitter reached, the writes
// planned on it, then with --dry-run their frames printed, otherwise the
// writes sent and the run reported.

// What a writing command sends, and how its run is told.
struct WritingPlan {
    QList<PlannedWrite> writes;
    // Why a reply with data refuses a write sent to the transmitter.
    ReplyCheck check = answeredCheck;
    // Sends each write instead, for a run whose address or rate changes on
    // the way.
    SendWrite send = {};
    // Reads a write's key back instead of the setting's own read.
    ReadBackWrite readBack = {};
    // Prints the run and gives the exit status; by default the run as sent.
    std::function<int(const WriteRun& run)> report = {};
};

// Works out the writes on the reached transmitter, reading from it what they
// need first; or the exit status after a message.
using PlanStep =
    std::function<std::variant<WritingPlan, ExitCode>(TransmitterConnection& transmitter)>;

// Checks what the command line gives besides the address and rate, before
// the port is opened; the step that plans, or the exit status after a message.
using CheckStep = std::function<std::variant<PlanStep, ExitCode>(const CommandContext& context,
                                                                 const QString& address)>;

// Runs a writing command from its check and gives its exit status; a
// command that moves the transmitter to another rate checks it against the
// port's fixed rate with rateCheck.
int runWritingCommand(const CommandContext& context, const CheckStep& check,
                      const Connection::RateCheck& rateCheck = {});

// The --all option of set and apply, and whether it is given.
void addAllOption(QCommandLineParser& parser);
bool allGiven(const CommandContext& context);

// The exit status of a value that is refused, after its message: nothing is
// sent.
ExitCode refuse(const QString& message);
