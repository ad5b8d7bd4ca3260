#include "simulator/outgoing_reply.h"

namespace sim {

QByteArray OutgoingReply::takeDue(qint64 elapsedUs) {
    const qsizetype from = m_next;
    while (!done() && nextDueUs() <= elapsedUs) {
        ++m_next;
        if (m_next == m_reply.bytes.size() - m_reply.trailing)
            m_next = m_reply.bytes.size();
        if (m_reply.split)
            break;
    }
    return m_reply.bytes.mid(from, m_next - from);
}

} // namespace sim
