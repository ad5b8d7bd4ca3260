// inventory: a search, then the full read of every transmitter found, as one
// table or one JSON array.

#include "cli/bus_scan.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"
#include "connection/transmitter_connection.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

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

// Reads each transmitter found at its rate, until Ctrl-C, and prints what was
// read.
int readFound(BusLine& line, const QList<FoundTransmitter>& found, bool json) {
    QList<TransmitterRead> reads;
    for (const FoundTransmitter& t : found) {
        if (stopRequested())
            break;
        TransmitterConnection transmitter(line, t.address);
        transmitter.setBaudIndex(t.baudIndex);
        reads.append(readTransmitter(transmitter));
    }

    bool complete = !reads.isEmpty();
    if (json) {
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
    return complete ? kExitOk : kExitFailed;
}

int runInventory(CommandContext& context) {
    const bool json = context.options.json;
    // The table comes at the end, so the lines of the scan stay off stdout.
    return withScannedBus(context, false,
                          [json](BusLine& line, const QList<FoundTransmitter>& found) {
                              return readFound(line, found, json);
                          });
}

} // namespace

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
