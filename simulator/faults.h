#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

namespace sim {

// Ways a transmitter's reply can go wrong on the wire, chosen per command so a
// test or a demo can break exactly the exchange it is about.
enum class FaultKind {
    None,
    Silent,            // the transmitter does not hear the request at all
    BadChecksum,       // checksum digits that do not match the body
    LowerCaseChecksum, // right checksum, letters in lower case
    Noise,             // junk bytes before the start character
    Trailing,          // extra characters after the CR, in the same write
    EmptyData,         // the body is the address alone
    Late,              // the right reply, after the tool has stopped waiting
    Split,             // the right reply, one byte per write, in time
    EverySecond,       // silent at every second request of the command, else right
};

// The names used in bus files, on the command line and on the control input:
// "none", "silent", "bad-checksum", "lower-case-checksum", "noise",
// "trailing", "empty-data", "late", "split", "every-second".
std::optional<FaultKind> faultKindFromName(const QString& name);
QString faultKindName(FaultKind kind);

// A fault as set for a command: its kind, and for a late reply how many
// milliseconds past the tool's deadline its first character leaves. Without
// that number a late reply is the plain one of lateReplyDelayMs.
struct Fault {
    // Not explicit: a kind alone is a fault without lateness.
    Fault(FaultKind k = FaultKind::None, std::optional<int> late = std::nullopt)
        : kind(k)
        , lateMs(late) {}

    FaultKind kind;
    std::optional<int> lateMs;

    bool operator==(const Fault&) const = default;
};

constexpr int kMaxLateMs = 10000;

// A kind's name, or "late:MS" with MS a whole number from 0 to kMaxLateMs.
std::optional<Fault> faultFromName(const QString& name);
QString faultName(const Fault& fault);
QString faultKindNames(); // all the names, for error messages

// How long the tool waits for a reply at a baud rate, counted from before it
// writes its request; 0 for a rate it does not use.
int toolTimeoutMs(int baud);

// The delay of a late reply, counted from the request's CR: the tool has given
// up by then, and the reply lands in its buffer for the next exchange to drop.
int lateReplyDelayMs(int baud);

// The faults of one transmitter, by command. A key names a command by the
// start of its text ("AD" covers "AD" and "AD05", "RP0" covers "RP0"); the
// longest matching key wins and "*" covers every command left over.
class FaultTable {
public:
    void set(const QByteArray& command, const Fault& fault); // None removes it
    void clear() { m_faults.clear(); }
    bool isEmpty() const { return m_faults.empty(); }
    Fault forCommand(const QByteArray& command) const;
    // The fault for this hearing of the command: an every-second fault is
    // silent at the second, fourth, ... hearing of that command text, and
    // none at the others.
    Fault take(const QByteArray& command);
    const std::map<QByteArray, Fault>& entries() const { return m_faults; }

private:
    std::map<QByteArray, Fault> m_faults;
    std::map<QByteArray, int> m_heard; // of the commands under an every-second fault
};

struct ShapedReply {
    QByteArray bytes; // what goes on the wire; empty for a silent fault
    bool late = false;
    bool split = false; // written a byte at a time, as a slow adapter delivers it
    QString note;       // for the trace: what the fault did, empty without one
    // Characters after the CR that go out in the same write as the CR, so the
    // tool reads them together with its frame.
    qsizetype trailing = 0;
};

// The bytes a transmitter writes for a reply body under a fault.
ShapedReply shapeReply(const QByteArray& body, const Fault& fault);

} // namespace sim
