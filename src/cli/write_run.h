#pragma once

#include "cli/write_plan.h"
#include "connection/transmitter_connection.h"

#include <QJsonObject>

#include <functional>

// Sending planned writes one after the other, and telling what became of each.

enum class WriteState { Applied, Failed, Skipped };

struct WriteResult {
    PlannedWrite write;
    WriteState state = WriteState::Skipped;
    QString reply;   // the reply text, empty when nothing was sent
    QString problem; // why a sent write failed
};

struct WriteRun {
    QString address;
    QList<WriteResult> results;
    bool stopped = false; // Ctrl-C ended it early

    bool allApplied() const;
    QStringList keys(WriteState state) const;
    // Exit status: 0 when all applied, otherwise 1.
    int exitCode() const;
    // {"address", "writes": [{"key", "sent", "reply", "value", "state", "error"}],
    //  "applied": [...], "failed": [...], "skipped": [...]}
    QJsonObject toJson() const;
    // One line a write: key, command text, and what became of it.
    QStringList toText() const;
};

// Why a reply does not accept a write; empty when it does. The default takes
// any verified frame from the address.
using ReplyCheck = std::function<QString(const Exchanged& reply)>;
QString answeredCheck(const Exchanged& reply);
// A verified frame whose value is "OK", as the data-area commands answer.
QString doneCheck(const Exchanged& reply);

// Sends one write and fills in result's reply and problem (empty when the
// write is accepted).
using SendWrite = std::function<void(const PlannedWrite& write, WriteResult& result)>;

// Sends the writes in order. The first write that is not accepted ends the
// run, as does Ctrl-C between two writes; the writes after it are skipped,
// never sent.
WriteRun runWrites(const QString& address, const QList<PlannedWrite>& writes,
                   const SendWrite& send);

// A request frame as --dry-run shows it, checksum included, CR as "\r".
QString requestFrameText(const QString& address, const QString& command);

// Prints a run as text or JSON, with a summary of what was not applied on
// stderr.
void printWriteRun(const WriteRun& run, bool json, const QJsonObject& extra = {});
// Prints the frames of writes that are not sent, as text or JSON.
void printDryRun(const QString& address, const QList<PlannedWrite>& writes, bool json);
