// read: the full read of one transmitter, every value as it was sent, and
// every failed exchange named. Nothing is written, not even a trim.

#include "cli/command_support.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"

namespace {

int runRead(CommandContext& context) {
    int status = kExitOk;
    std::optional<ReachedTransmitter> reached = reachAddressed(context, &status);
    if (!reached)
        return status;
    const TransmitterRead read = readTransmitter(reached->bus(), reached->address);
    if (context.options.json)
        printJson(read.toJson());
    else
        printLine(read.toText().join(QLatin1Char('\n')));
    for (const ReadError& e : read.errors)
        printNote(QStringLiteral("%1 %2: %3").arg(read.address, e.command, e.error));
    if (stopRequested())
        return kExitStopped;
    return read.complete() ? kExitOk : kExitFailed;
}

} // namespace

CliCommand readCommand() {
    return {QStringLiteral("read"),
            QStringLiteral("ADDR"),
            QStringLiteral("Read every parameter of one transmitter"),
            QStringLiteral("The window's full read: fourteen exchanges in its order (model, "
                           "range, unit, identity, version, decimals, 4/20 mA mapping, trims, "
                           "pressure, temperature). Values are printed as the transmitter sent "
                           "them, the unit also by name. A failed exchange is named as failed, "
                           "never shown as a value. Nothing is written."),
            1,
            1,
            addRateOption,
            runRead};
}
