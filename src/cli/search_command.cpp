// search and inventory: the bus scanned as the window's search scans it,
// optionally limited to some rates and addresses; inventory then reads every
// transmitter found.

#include "cli/arguments.h"
#include "cli/bus_scan.h"
#include "cli/command_support.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"
#include "protocol/bus_search.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace {

void addScanOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("baud"),
                      QStringLiteral("The rates to search, e.g. 9600,1200; always walked fastest "
                                     "first. Default: all four."),
                      QStringLiteral("list")});
    parser.addOption({QStringLiteral("address"),
                      QStringLiteral("The addresses to probe, e.g. 1-20,31. Default: 1-99."),
                      QStringLiteral("range")});
}

struct ScanPlan {
    QList<int> baudIndexes{kSearchBaudIndexes.begin(), kSearchBaudIndexes.end()};
    QList<int> addresses;
};

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

std::optional<ScanPlan> scanPlan(const CommandContext& context) {
    ScanPlan plan;
    QList<int> everyAddress;
    for (int n = kFirstBusAddress; n <= kLastBusAddress; ++n)
        everyAddress.append(n);
    const std::optional<QList<int>> rates =
        listOption(context, QStringLiteral("baud"), parseBaudList,
                   QStringLiteral("give rates from 1200, 2400, 4800, 9600, separated by commas"),
                   plan.baudIndexes);
    const std::optional<QList<int>> addresses = listOption(
        context, QStringLiteral("address"), parseAddressList,
        QStringLiteral("give addresses and ranges from 1 to 99, e.g. 1-20,31"), everyAddress);
    if (!rates || !addresses)
        return std::nullopt;
    plan.baudIndexes = *rates;
    plan.addresses = *addresses;
    return plan;
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

ScanResult scan(Bus& bus, const ScanPlan& plan, bool json) {
    const bool progress = stderrIsTerminal();
    const auto found = [&](const FoundTransmitter& t) {
        if (json)
            return;
        if (progress)
            clearProgress();
        printLine(QStringLiteral("%1 %2").arg(t.address).arg(kBaudRates[t.baudIndex]));
    };
    ScanResult result = scanBus(bus, plan.baudIndexes, plan.addresses, found,
                                progress ? std::function(showProgress) : nullptr);
    if (progress)
        clearProgress();
    return result;
}

// What search and inventory both start from: the scan's rates and addresses
// read, then the port opened. Nothing after a message (exit kExitUsage).
struct ScanStart {
    ScanPlan plan;
    std::unique_ptr<Connection> connection;
};
std::optional<ScanStart> startScan(const CommandContext& context) {
    std::optional<ScanPlan> plan = scanPlan(context);
    if (!plan)
        return std::nullopt;
    std::unique_ptr<Connection> connection = openConnection(context.options);
    if (!connection)
        return std::nullopt;
    return ScanStart{*plan, std::move(connection)};
}

int runSearch(CommandContext& context) {
    const std::optional<ScanStart> start = startScan(context);
    if (!start)
        return kExitUsage;
    const ScanResult result = scan(start->connection->bus(), start->plan, context.options.json);
    if (context.options.json) {
        QJsonArray list;
        for (const FoundTransmitter& t : result.found)
            list.append(QJsonObject{{QStringLiteral("address"), t.address},
                                    {QStringLiteral("baud"), kBaudRates[t.baudIndex]}});
        printJson(list);
    }
    if (result.stopped)
        return kExitStopped;
    return result.found.isEmpty() ? kExitFailed : kExitOk;
}

// One line of the inventory table.
QString tableRow(const QStringList& cells) {
    static const QList<int> widths{4, 5, 12, 12, 8, 8, 4, 10, 10, 10, 10, 8, 8, 10, 10};
    QString row;
    for (int i = 0; i < cells.size(); ++i)
        row += i + 1 < cells.size() ? cells[i].leftJustified(widths.value(i, 10)) + QLatin1Char(' ')
                                    : cells[i];
    return row;
}

QStringList tableCells(const TransmitterRead& read) {
    QStringList cells{read.address, QString::number(read.baud)};
    const QJsonObject o = read.toJson();
    for (const QString& key : readKeys()) {
        const QJsonValue v = o.value(key);
        if (v.isNull())
            cells.append(QStringLiteral("FAILED"));
        else if (v.isObject())
            cells.append(v[QStringLiteral("name")].isNull() ? QStringLiteral("?")
                                                            : v[QStringLiteral("name")].toString());
        else if (v.isDouble())
            cells.append(QString::number(v.toInt()));
        else
            cells.append(v.toString());
    }
    return cells;
}

int runInventory(CommandContext& context) {
    const std::optional<ScanStart> start = startScan(context);
    if (!start)
        return kExitUsage;
    Bus& bus = start->connection->bus();
    // The table comes at the end, so the lines of the scan stay off stdout.
    const ScanResult result = scan(bus, start->plan, true);

    QList<TransmitterRead> reads;
    bool stopped = result.stopped;
    for (const FoundTransmitter& t : result.found) {
        if (stopRequested()) {
            stopped = true;
            break;
        }
        bus.setBaudIndex(t.baudIndex);
        reads.append(readTransmitter(bus, t.address));
    }

    bool complete = !reads.isEmpty();
    if (context.options.json) {
        QJsonArray list;
        for (const TransmitterRead& r : reads)
            list.append(r.toJson());
        printJson(list);
    } else {
        QStringList heading{QStringLiteral("addr"), QStringLiteral("baud")};
        heading += readKeys();
        printLine(tableRow(heading));
        for (const TransmitterRead& r : reads)
            printLine(tableRow(tableCells(r)));
    }
    for (const TransmitterRead& r : reads) {
        complete = complete && r.complete();
        for (const ReadError& e : r.errors)
            printNote(QStringLiteral("%1 %2: %3").arg(r.address, e.command, e.error));
    }
    if (stopped)
        return kExitStopped;
    return complete ? kExitOk : kExitFailed;
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

CliCommand inventoryCommand() {
    return {QStringLiteral("inventory"),
            QString(),
            QStringLiteral("Search the bus, then read every transmitter found"),
            QStringLiteral("A search, then the full read of each transmitter found: the whole bus "
                           "as one table, or with --json as one array of read documents."),
            0,
            0,
            addScanOptions,
            runInventory};
}
