#pragma once

#include "cli/cli_command.h"
#include "cli/connection.h"
#include "connection/transmitter_connection.h"

#include <functional>
#include <memory>
#include <optional>

// The one transmitter that read, poll, send and the writing commands address:
// argument 0 and --baud.

// The --baud option of those commands.
void addRateOption(QCommandLineParser& parser);

struct AddressedTransmitter {
    QString address;
    int baudIndex = -1; // -1: found with "AD" probes
};

// Nothing after a message when the address or the rate is no such thing.
std::optional<AddressedTransmitter> addressedTransmitter(const CommandContext& context);

// The --baud option: a baud index, or -1 for auto; nothing after a message.
std::optional<int> rateOption(const CommandContext& context);

// Sets the line to a baud index, or with -1 finds the transmitter's rate with
// "AD" probes; the baud index in force, or -1 after a message naming the
// device or the transmitter.
int reachRate(TransmitterConnection& transmitter, int baudIndex, const QString& device);
// Why a transmitter was not reached at baudIndex (-1: by probes) on a port
// whose line is fixed at fixedBaud (0: not fixed).
QString notReachedText(const QString& address, int baudIndex, const QString& device, int fixedBaud);

// The port opened and the line at the transmitter's rate.
struct ReachedTransmitter {
    // The address as the command line gave it; a move changes the
    // transmitter's own.
    QString address;
    std::unique_ptr<Connection> connection;
    TransmitterConnection transmitter;
};

using UseTransmitter = std::function<int(ReachedTransmitter& transmitter)>;

// Reaches the transmitter and gives the exit status of use on it; 2 when the
// port does not open, or its fixed rate is not the --baud given or fails
// check, and 1 when the transmitter does not answer, after a message.
int withTransmitter(const GlobalOptions& options, const AddressedTransmitter& addressed,
                    const UseTransmitter& use, const Connection::RateCheck& check = {});
// The same for the transmitter the context addresses; 2 after a message when
// it addresses none.
int withAddressedTransmitter(const CommandContext& context, const UseTransmitter& use);
