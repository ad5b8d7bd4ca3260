#pragma once

#include "cli/write_plan.h"

#include <QJsonObject>

#include <functional>

class Bus;

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
    // Exit status: 0 when all applied, 130 after Ctrl-C, otherwise 1.
    int exitCode() const;
    // {"address", "writes": [{"key", "sent", "reply", "value", "state", "error"}],
    //  "applied": [...], "failed": [...], "skipped": [...]}
    QJsonObject toJson() const;
    // One line a write: key, command text, and what became of it.
    QStringList toText() const;
};

// Why a reply does not accept a write; empty when it does. The default takes
// any verified frame from the address.
using ReplyCheck = std::function<QString(const QString& reply, const QString& address)>;
QString answeredCheck(const QString& reply, const QString& address);
// A verified frame whose value is "OK", as the data-area commands answer.
QString doneCheck(const QString& reply, const QString& address);

// Sends the writes in order to address. The first write that is not accepted
// ends the run, as does Ctrl-C between two writes; the writes after it are
// skipped, never sent.
WriteRun runWrites(Bus& bus, const QString& address, const QList<PlannedWrite>& writes,
                   const ReplyCheck& check = answeredCheck);

// Sends one write and fills in result's reply and problem (empty when the
// write is accepted).
using SendWrite = std::function<void(const PlannedWrite& write, WriteResult& result)>;
// The order and stopping rules of runWrites with a sender of one's own, for
// runs where the address or rate changes on the way: the stopping rules then
// stay the same for every run.
WriteRun runWritesWith(const QString& address, const QList<PlannedWrite>& writes,
                       const SendWrite& send);

// What --dry-run prints: the frames, checksums included, and nothing is sent.
QString requestFrameText(const QString& address, const QString& command);
QStringList dryRunLines(const QString& address, const QList<PlannedWrite>& writes);
QJsonObject dryRunJson(const QString& address, const QList<PlannedWrite>& writes);

// Prints a run as text or JSON, with a summary of what was not applied on
// stderr.
void printWriteRun(const WriteRun& run, bool json, const QJsonObject& extra = {});
// Prints a dry run's frames as text or JSON.
void printDryRun(const QString& address, const QList<PlannedWrite>& writes, bool json);
