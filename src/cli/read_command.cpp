// read: the full read of one transmitter, every value as it was sent, and
// every failed exchange named. Nothing is written, not even a trim.

#include "cli/addressed_transmitter.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"

namespace {

int runRead(CommandContext& context) {
    return withAddressedTransmitter(context, [&](ReachedTransmitter& t) {
        const TransmitterRead read = readTransmitter(t.transmitter, stopRequested);
        if (context.options.json)
            printJson(read.toJson());
        else
            printLine(read.toText().join(QLatin1Char('\n')));
        printReadErrors(read);
        return read.complete() ? kExitOk : kExitFailed;
    });
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
