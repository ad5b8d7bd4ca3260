#pragma once

#include "simulator/random_faults.h"
#include "simulator/reply_timing.h"
#include "simulator/transmitter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace sim {

struct Request {
    QByteArray address;
    QByteArray command; // name plus payload
};

// One request frame as a transmitter reads it: from its last "$" to the CR.
// Characters before the "$" are skipped, as a receiver that restarts at every
// start character does. No value when no transmitter would take the frame;
// *why then says what is wrong with it.
std::optional<Request> parseRequest(const QByteArray& frame, QString* why = nullptr);

// Cuts the bytes coming off the line into frames, each ending with its CR. A
// run of bytes that grows past kMaxFrame without a CR is handed out as it is
// (no CR at its end) and dropped, so junk cannot pile up without limit.
class FrameSplitter {
public:
    static constexpr qsizetype kMaxFrame = 256;
    QList<QByteArray> feed(const QByteArray& bytes);
    void clear() { m_pending.clear(); }

private:
    QByteArray m_pending;
};

struct ScheduledReply {
    std::size_t transmitter; // index into Bus::transmitters()
    QByteArray bytes;
    ReplyTiming timing; // counted from the request's CR
    std::optional<int> baudAfter;
    QString note;           // what a fault did to it, for the trace
    bool split = false;     // written a byte at a time
    qsizetype trailing = 0; // characters after the CR, written with it

    // When its CR, the last character with a time of its own, goes out.
    qint64 lastUs() const { return timing.dueUs(qMax<qsizetype>(0, bytes.size() - 1 - trailing)); }
};

struct Hearing {
    std::vector<ScheduledReply> replies; // in bus order; several means a collision
    QString note;                        // why nobody (or somebody not) answered
};

// The transmitters on one line. Decides who hears a request, has them answer
// it, and shapes and times the replies; writing them out is the caller's job.
class Bus {
public:
    explicit Bus(std::vector<Transmitter> transmitters = {});

    std::vector<Transmitter>& transmitters() { return m_transmitters; }
    const std::vector<Transmitter>& transmitters() const { return m_transmitters; }

    // Indexes of the transmitters now at this address, in bus order.
    std::vector<std::size_t> at(const QByteArray& address) const;

    // Off: replies go out at once, without the time the line would take and
    // without turnaround. A late fault stays late.
    void setLineTiming(bool on) { m_lineTiming = on; }

    // Faults drawn at random for every answer that no fault of its own
    // transmitter covers; nothing turns them off. The hearing's note names
    // each one drawn ("07 random fault late"), so a trace can be counted.
    void setRandomFaults(std::optional<RandomFaults> faults) { m_random = std::move(faults); }
    const std::optional<RandomFaults>& randomFaults() const { return m_random; }

    // A frame (through its CR) heard while the line ran at baud; seconds is the
    // time for the live readings.
    Hearing hear(const QByteArray& frame, int baud, double seconds);

private:
    std::vector<Transmitter> m_transmitters;
    bool m_lineTiming = true;
    std::optional<RandomFaults> m_random;
};

} // namespace sim
