#pragma once

#include "cli/write_plan.h"
#include "connection/transmitter_connection.h"

#include <QJsonObject>

#include <functional>
#include <optional>

// Sending planned writes one after the other, and telling what became of each.

// What became of one write, as a script is told it:
//   Applied     a verified echo from the address, carrying data; or, without
//               one, the key read back afterwards holds the value sent
//   NotApplied  the key read back holds another value, or the echo itself
//               says the transmitter did not take it
//   Unknown     neither an echo with data nor a read-back tells (or the
//               command has no key to read back: a stored write may well
//               have happened)
//   NotSent     a write after the one that stopped the command, or one the
//               port was already lost for
//   Unchanged   not sent: the transmitter held the value already
enum class WriteState { Applied, NotApplied, Unknown, NotSent, Unchanged };

// The word a write's state is told by, in text and JSON alike.
QString writeStateName(WriteState state);

struct WriteResult {
    PlannedWrite write;
    WriteState state = WriteState::NotSent;
    QString reply;   // the reply text, empty when nothing was sent
    QString problem; // why it is not applied, or not known to be
    // What was wrong with the echo of a write that was read back.
    QString echoProblem;
    // The value read back after a write without a verified echo with data;
    // empty optional when no read-back answered or none was made.
    std::optional<QString> readBack;
    bool readBackTried = false;
};

struct WriteRun {
    QString address;
    QList<WriteResult> results;
    bool stopped = false;  // Ctrl-C ended it early
    QString device;        // the port's device, as the user knows it
    bool portLost = false; // the device went away during it

    // Every write applied or unchanged.
    bool allApplied() const;
    // Every write unchanged: nothing was sent.
    bool nothingToDo() const;
    QStringList keys(WriteState state) const;
    // Exit status: 0 when all applied, otherwise 1.
    int exitCode() const;
    // {"address", "writes": [{"key", "sent", "reply", "value", "echo",
    //  "readBack", "state", "error"}], "applied": [...], "notApplied": [...],
    //  "unknown": [...], "notSent": [...]}
    QJsonObject toJson() const;
    // One line a write: key, command text, and what became of it.
    QStringList toText() const;
};

// Why a reply with data refuses a write ("answered \"07\", not the new
// address"); empty when it takes it. Asked only of a verified echo with data.
using ReplyCheck = std::function<QString(const Exchanged& reply)>;
// Takes any verified echo; names the problem of any other reply.
QString answeredCheck(const Exchanged& reply);
// A verified frame whose value is "OK", as the data-area commands answer.
QString doneCheck(const Exchanged& reply);

// A write as it went out: the reply, and why a reply with data refuses it.
struct SentWrite {
    Exchanged reply;
    QString refusal;
};
using SendWrite = std::function<SentWrite(const PlannedWrite& write)>;

// What reading a write's key back showed: Applied, NotApplied or Unknown,
// the value read when one was, and why it is not Applied.
struct ReadBack {
    WriteState state = WriteState::Unknown;
    std::optional<QString> value;
    QString problem;
};
// Reads a write's key back once; nothing when the write has no key to read.
using ReadBackWrite = std::function<std::optional<ReadBack>(const PlannedWrite& write)>;

// Sends the writes in order. A write without a verified echo with data is
// read back once (after the line's wait after a failure). Only an applied
// write lets the run go on: any other outcome, or Ctrl-C between two writes,
// ends it, and the writes after it are not sent. When the port (device) is
// lost, the write in flight is unknown and nothing is read back.
WriteRun runWrites(const QString& address, const QString& device, const QList<PlannedWrite>& writes,
                   const SendWrite& send, const ReadBackWrite& readBack);

// A request frame as --dry-run shows it, checksum included, CR as "\r".
QString requestFrameText(const QString& address, const QString& command);

// Prints a run as text or JSON, with a summary of what was not applied on
// stderr.
void printWriteRun(const WriteRun& run, bool json, const QJsonObject& extra = {});
// Prints the frames of writes that are not sent, as text or JSON.
void printDryRun(const QString& address, const QList<PlannedWrite>& writes, bool json);
