// inventory: a search, then the full read of every transmitter found, as one
// table or one JSON array.

#include "cli/bus_scan.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"
#include "connection/transmitter_connection.h"
#include "protocol/bus_search.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

const QString kWide = QStringLiteral("wide");

// A table's cells padded to the widest of each column, never cut.
QStringList alignedRows(const QList<QStringList>& rows) {
    QList<qsizetype> widths;
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = qMax(widths[i], row[i].size());
        }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 1) : row[i];
        lines.append(line);
    }
    return lines;
}

// The columns of the table: a short one by default, everything with --wide.
QStringList columns(bool wide) {
    if (!wide)
        return {QStringLiteral("model"), QStringLiteral("unit"), QStringLiteral("rangeLow"),
                QStringLiteral("rangeHigh"), QStringLiteral("pressure")};
    return readKeys();
}

// What became of a transmitter's read: "ok", the number of failed exchanges,
// or "not read" for one found before Ctrl-C stopped the inventory.
QString readState(const TransmitterRead* read) {
    if (!read)
        return QStringLiteral("not read");
    if (!read->notRead().isEmpty())
        return QStringLiteral("partly read");
    return read->complete() ? QStringLiteral("ok")
                            : QStringLiteral("%1 failed").arg(read->errors.size());
}

QStringList tableCells(const TransmitterPlace& found, const TransmitterRead* read,
                       const QStringList& keys) {
    QStringList cells{found.address, QString::number(kBaudRates[found.baudIndex])};
    const QJsonObject o = read ? read->toJson() : QJsonObject();
    for (const QString& key : keys) {
        const QJsonValue v = o.value(key);
        if (!read || (v.isNull() && read->errorOf(key) == kNotRead))
            cells.append(QStringLiteral("-"));
        else if (v.isNull() || v.isUndefined())
            cells.append(QStringLiteral("FAILED"));
        else if (v.isObject())
            cells.append(v[QStringLiteral("name")].isNull() ? QStringLiteral("?")
                                                            : v[QStringLiteral("name")].toString());
        else if (v.isDouble())
            cells.append(QString::number(v.toInt()));
        else if (key == QLatin1String("pressure"))
            cells.append(v.toString() + unitSuffix(*read));
        else
            cells.append(v.toString());
    }
    cells.append(readState(read));
    return cells;
}

// Reads each transmitter found at its rate, until Ctrl-C, and prints what was
// read; a transmitter found but not read is listed as such.
int readFound(BusLine& line, const QList<TransmitterPlace>& found, bool json, bool wide) {
    QList<TransmitterRead> reads;
    for (const TransmitterPlace& t : found) {
        if (stopRequested())
            break;
        TransmitterConnection transmitter(line, t.address);
        transmitter.setBaudIndex(t.baudIndex);
        reads.append(readTransmitter(transmitter, stopRequested));
    }

    if (json) {
        QJsonArray list;
        for (qsizetype i = 0; i < found.size(); ++i)
            list.append(i < reads.size()
                            ? reads[i].toJson()
                            : QJsonObject{{QStringLiteral("address"), found[i].address},
                                          {QStringLiteral("baud"), kBaudRates[found[i].baudIndex]},
                                          {QStringLiteral("read"), false}});
        printJson(list);
    } else {
        const QStringList keys = columns(wide);
        QList<QStringList> rows{QStringList{QStringLiteral("addr"), QStringLiteral("baud")} + keys +
                                QStringList{QStringLiteral("read")}};
        for (qsizetype i = 0; i < found.size(); ++i)
            rows.append(tableCells(found[i], i < reads.size() ? &reads[i] : nullptr, keys));
        if (!found.isEmpty())
            printLine(alignedRows(rows).join(QLatin1Char('\n')));
    }
    bool complete = !found.isEmpty() && reads.size() == found.size();
    for (const TransmitterRead& r : reads) {
        complete = complete && r.complete();
        printReadErrors(r);
    }
    if (found.isEmpty() && !stopRequested())
        printError(QStringLiteral("no transmitter answered"));
    return complete ? kExitOk : kExitFailed;
}

int runInventory(CommandContext& context) {
    const bool json = context.options.json;
    const bool wide = context.parser.isSet(kWide);
    // The table comes at the end, so the lines of the scan stay off stdout.
    return withScannedBus(context, false,
                          [json, wide](BusLine& line, const QList<TransmitterPlace>& found) {
                              return readFound(line, found, json, wide);
                          });
}

void addInventoryOptions(QCommandLineParser& parser) {
    addScanOptions(parser);
    parser.addOption({kWide, QStringLiteral("Every value in the table: also id, version, "
                                            "decimals, the output mapping, the trims and the "
                                            "temperature.")});
}

} // namespace

CliCommand inventoryCommand() {
    return {
        QStringLiteral("inventory"),
        QString(),
        QStringLiteral("Search the bus, then read every transmitter found"),
        QStringLiteral("A search, then the full read of each transmitter found: the whole bus "
                       "as one table (address, rate, model, unit, range, pressure and the state of "
                       "the read; --wide adds every other value), or with --json as one array "
                       "of read documents. Ctrl-C lists what was found so far; those not read "
                       "are marked \"not read\" (with --json: \"read\": false)."),
        0,
        0,
        addInventoryOptions,
        runInventory};
}
