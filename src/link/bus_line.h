#pragma once

#include "link/exchange.h"

#include <QString>

#include <optional>

class Clock;
class SerialPort;

// The exchanges on one open port, with the rule that keeps a late reply from
// becoming another request's answer. A reply that comes after its deadline
// carries its address and a valid checksum; once one is late, each next reply
// is still on its way when the next request goes out, and every later value
// would be its neighbour's. So after an exchange that got no verified frame
// from the address asked, the next exchange to that address first lets the
// line settle for one time-out from the end of the failed one, dropping
// whatever arrives meanwhile. Another address never waits (the search keeps
// its timing), and a switch of the line to another rate ends the wait: a late
// reply at the old rate is no frame at the new one. A long late reply that is
// still arriving when the time-out has passed holds the wait until the line
// is quiet, for at most the wire time of 40 characters.
class BusLine {
public:
    BusLine(SerialPort& port, const Clock& clock);

    SerialPort& port() { return m_port; }

    // Comm_Send of the core, after the wait the last failure asks for.
    QString exchange(const QString& address, const QString& command,
                     ExchangeNotes* notes = nullptr);

    // How long an exchange to address would wait first if it started now, in
    // whole milliseconds rounded up; 0 when it would not wait.
    int settleRemainingMs(const QString& address) const;

    // How many exchanges so far got no verified frame from their address; a
    // caller notes it before a sequence to tell whether one failed since.
    quint64 failureCount() const { return m_failures; }

    // Whether replies came sooner than the line could carry them in two or
    // more exchanges while no verified frame passed: the sign of a link
    // without line timing on a port that is taken to have it. One stale
    // frame is the sign of a late reply of an earlier run, which the check
    // rightly dropped.
    bool onlyEarlyFrames() const {
        return m_exchangesWithEarlyFrames >= 2 && m_verifiedFrames == 0;
    }
    // The frames dropped for coming too soon, and how much sooner than the
    // line allows the earliest came, in milliseconds.
    qint64 framesTooEarly() const { return m_framesTooEarly; }
    qint64 mostMsTooSoon() const { return m_mostMsTooSoon; }

    // Whether a reply text is a verified frame from address.
    static bool isAnswerFrom(const QString& reply, const QString& address);

private:
    bool mustSettle(const QString& address) const;
    // The end of the wait when the last character dropped during it came at
    // lastArrivalUs (or none came: a value far in the past).
    qint64 settleEndUs(qint64 lastArrivalUs) const;
    void settle();

    SerialPort& m_port;
    const Clock& m_clock;
    // Of the last exchange, when it got no verified frame from its address.
    std::optional<QString> m_unansweredAddress;
    QString m_unansweredSettings;
    qint64 m_unansweredEndUs = 0;
    quint64 m_failures = 0;
    qint64 m_framesTooEarly = 0;
    qint64 m_exchangesWithEarlyFrames = 0;
    qint64 m_mostMsTooSoon = 0;
    qint64 m_verifiedFrames = 0;
};
