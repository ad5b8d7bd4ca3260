#pragma once

#include "simulator/bus.h"

namespace sim {

// A reply on its way out: which of its characters are due at a time counted
// as its timing is. Characters whose time has come go out together; a split
// reply gives at most one at a time, so every byte is a write of its own, and
// characters trailing the CR come with it.
class OutgoingReply {
public:
    explicit OutgoingReply(ScheduledReply reply)
        : m_reply(std::move(reply)) {}

    const ScheduledReply& reply() const { return m_reply; }
    // The characters due by elapsedUs not taken before; empty when none is.
    QByteArray takeDue(qint64 elapsedUs);
    qsizetype taken() const { return m_next; }
    bool done() const { return m_next >= m_reply.bytes.size(); }
    // When the next character is due; only while not done.
    qint64 nextDueUs() const { return m_reply.timing.dueUs(m_next); }

private:
    ScheduledReply m_reply;
    qsizetype m_next = 0;
};

} // namespace sim
