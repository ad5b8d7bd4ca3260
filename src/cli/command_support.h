#pragma once

#include "cli/cli_command.h"
#include "cli/connection.h"
#include "cli/write_plan.h"

#include <memory>
#include <optional>

// Pieces the commands share.

// Opens the port the options name; on failure says why on stderr and
// returns nothing (the command then exits with kExitUsage).
std::unique_ptr<Connection> openConnection(const GlobalOptions& options);

// The --baud option of the commands that address one transmitter.
void addRateOption(QCommandLineParser& parser);

// The transmitter's address from argument index, or nothing after a message.
std::optional<QString> addressArgument(const CommandContext& context, int index);

// Reads --baud RATE|auto. Nothing after a message for a value that is no
// rate; -1 for auto.
std::optional<int> rateOption(const CommandContext& context);

// Sets the line to the rate given, or finds it with "AD" probes for -1.
// False after a message when no rate answered.
bool reachTransmitter(Bus& bus, const QString& address, int baudIndex);

// The transmitter's own number of decimals ("DP"), 0 to 4; nothing after a
// message when the read fails or gives no such code.
std::optional<int> readTransmitterDecimals(Bus& bus, const QString& address);

// The --yes option of the commands that change a transmitter for good.
void addYesOption(QCommandLineParser& parser);
// Whether the command may go on: with --yes, or with --dry-run, which sends
// nothing. Otherwise it prints what would be done and the command exits 2.
bool confirmedForGood(const CommandContext& context, const QString& what);
// The one transmitter a command addresses (argument 0, --baud): the port
// opened and the line at the transmitter's rate.
struct ReachedTransmitter {
    QString address;
    std::unique_ptr<Connection> connection;
    Bus& bus() { return connection->bus(); }
};

// Nothing after a message when the address or rate is no such thing, the port
// does not open or the transmitter does not answer; status then holds the exit
// status to end with.
std::optional<ReachedTransmitter> reachAddressed(const CommandContext& context, int* status);

// The second half of reachAddressed, for the commands that check arguments of
// their own between reading the address and rate and opening the port, so
// that a bad argument is told before the port is touched. Nothing after a
// message when the port does not open or the transmitter does not answer;
// status then holds the exit status to end with.
std::optional<ReachedTransmitter> reachTransmitterAt(const CommandContext& context,
                                                     const QString& address, int baudIndex,
                                                     int* status);

// The writes that set values on a reached transmitter, its own decimals read
// first when a pressure needs them (set and apply plan alike). Nothing after a
// message; status then holds the exit status to end with.
std::optional<QList<PlannedWrite>> planSettingWrites(Bus& bus, const QString& address,
                                                     const SettingValues& values, int* status);

// Whether stderr is a terminal, where progress lines may be drawn.
bool stderrIsTerminal();
