#include "cli/bus_scan.h"

#include "cli/arguments.h"
#include "cli/connection.h"
#include "cli/exit_codes.h"
#include "cli/fixed_rate.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "connection/transmitter_connection.h"
#include "protocol/bus_search.h"

#include <cstdio>

#include <unistd.h>

namespace {

// An option's list read by parse, or the default when it is not given;
// nothing after a message naming the option.
std::optional<QList<int>> listOption(const CommandContext& context, const QString& name,
                                     std::optional<QList<int>> (*parse)(const QString&),
                                     const QString& hint, const QList<int>& byDefault) {
    if (!context.parser.isSet(name))
        return byDefault;
    const QString text = context.parser.value(name);
    const std::optional<QList<int>> list = parse(text);
    if (!list)
        printError(QStringLiteral("--%1 \"%2\": %3").arg(name, text, hint));
    return list;
}

// The progress line on a terminal, redrawn in place.
void showProgress(int baudIndex, const QString& address, int count) {
    std::fprintf(stderr, "\r\033[Ksearching: %d baud, address %s, found %d", kBaudRates[baudIndex],
                 qPrintable(address), count);
    std::fflush(stderr);
}

void clearProgress() {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

QList<TransmitterPlace> scanBus(BusLine& line, const QList<int>& baudIndexes,
                                const QList<int>& addresses, bool printFound) {
    // Progress is drawn in place, which only a terminal shows as meant.
    const bool progress = ::isatty(STDERR_FILENO) == 1;
    QList<TransmitterPlace> found;
    TransmitterConnection probe(line);
    // A stop ends the scan between two probes, never inside one.
    for (const int baudIndex : baudIndexes) {
        if (stopRequested())
            break;
        // A rate the port does not take is not searched: each probe would
        // go out at the rate before it and list what answers at the wrong one.
        if (!probe.setBaudIndex(baudIndex)) {
            printWarning(QStringLiteral("the port did not take %1 baud; it was not searched")
                             .arg(kBaudRates[baudIndex]));
            continue;
        }
        for (const int number : addresses) {
            if (stopRequested())
                break;
            const QString address = busAddress(number);
            if (progress)
                showProgress(baudIndex, address, int(found.size()));
            probe.setAddress(address);
            if (!probe.answersAddress())
                continue;
            found.append({address, baudIndex});
            if (progress && printFound)
                clearProgress();
            if (printFound)
                printLine(QStringLiteral("%1 %2").arg(address).arg(kBaudRates[baudIndex]));
        }
    }
    if (progress)
        clearProgress();
    return found;
}

} // namespace

void addScanOptions(QCommandLineParser& parser) {
    parser.addOption({{QStringLiteral("b"), QStringLiteral("baud")},
                      QStringLiteral("The rates to search, e.g. 9600,1200, or auto; always walked "
                                     "fastest first. Default: all four."),
                      QStringLiteral("list")});
    parser.addOption({{QStringLiteral("a"), QStringLiteral("address")},
                      QStringLiteral("The addresses to probe, e.g. 1-20,31. Default: 1-99."),
                      QStringLiteral("range")});
}

int withScannedBus(const CommandContext& context, bool printFound, const UseScan& use) {
    QList<int> everyAddress;
    for (int n = kFirstBusAddress; n <= kLastBusAddress; ++n)
        everyAddress.append(n);
    // "auto" means what it means to read: every rate, fastest first.
    const bool autoRate = context.parser.value(QStringLiteral("baud"))
                              .compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
    std::optional<QList<int>> rates =
        autoRate ? std::optional<QList<int>>(
                       QList<int>{kSearchBaudIndexes.begin(), kSearchBaudIndexes.end()})
                 : listOption(context, QStringLiteral("baud"), parseBaudList,
                              QStringLiteral(
                                  "give rates from 1200, 2400, 4800, 9600, separated by commas"),
                              {kSearchBaudIndexes.begin(), kSearchBaudIndexes.end()});
    const std::optional<QList<int>> addresses = listOption(
        context, QStringLiteral("address"), parseAddressList,
        QStringLiteral("give addresses and ranges from 1 to 99, e.g. 1-20,31"), everyAddress);
    if (!rates || !addresses)
        return kExitUsage;
    const std::unique_ptr<Connection> connection =
        Connection::open(context.options, [&](int fixedBaud) {
            return narrowScanRates(
                fixedBaud, context.parser.isSet(QStringLiteral("baud")) && !autoRate, *rates);
        });
    if (!connection)
        return kExitUsage;
    BusLine& line = connection->line();
    return use(line, scanBus(line, *rates, *addresses, printFound));
}
