// search: the transmitters that answer on the bus, each printed as it
// answers.

#include "cli/bus_scan.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "protocol/bus_search.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

int runSearch(CommandContext& context) {
    const bool json = context.options.json;
    return withScannedBus(context, !json, [json](BusLine&, const QList<TransmitterPlace>& found) {
        if (json) {
            QJsonArray list;
            for (const TransmitterPlace& t : found)
                list.append(QJsonObject{{QStringLiteral("address"), t.address},
                                        {QStringLiteral("baud"), kBaudRates[t.baudIndex]}});
            printJson(list);
        }
        if (found.isEmpty() && !stopRequested())
            printError(QStringLiteral("no transmitter answered"));
        return found.isEmpty() ? kExitFailed : kExitOk;
    });
}

} // namespace

CliCommand searchCommand() {
    return {
        QStringLiteral("search"),
        QString(),
        QStringLiteral("Find the transmitters that answer on the bus"),
        QStringLiteral("Asks every address for its address (\"AD\") at 9600, 4800, 2400 and "
                       "1200 baud, in the order and with the time-outs of the window's "
                       "search, and prints each transmitter as it answers: address and baud "
                       "rate. Ctrl-C stops after the probe in flight and prints what was found."),
        0,
        0,
        addScanOptions,
        runSearch};
}
