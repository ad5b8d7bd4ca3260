#include "simulator/simulator.h"

#include <QTimer>

namespace sim {

Simulator::Simulator(Bus bus, Trace& trace, QString linkPath, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_trace(trace)
    , m_line(std::move(linkPath)) {
    m_clock.start();
    connect(&m_line, &PtyLine::received, this, &Simulator::hear);
}

bool Simulator::start(QString* error) {
    return m_line.open(error);
}

bool Simulator::unplug(QString* error) {
    if (!m_line.isOpen()) {
        *error = QStringLiteral("already unplugged");
        return false;
    }
    const int baud = m_line.baud();
    m_line.close();
    m_splitter.clear();
    ++m_lineGeneration;
    m_trace.event(Trace::monotonicNs(), baud, QStringLiteral("unplug"));
    return true;
}

bool Simulator::replug(QString* error) {
    if (m_line.isOpen()) {
        *error = QStringLiteral("still plugged in; unplug first");
        return false;
    }
    if (!m_line.open(error))
        return false;
    ++m_lineGeneration;
    m_trace.event(Trace::monotonicNs(), m_line.baud(),
                  QStringLiteral("replug ") + m_line.devicePath());
    emit deviceChanged(m_line.devicePath());
    return true;
}

bool Simulator::send(const QByteArray& bytes, const QString& note, QString* error) {
    const int baud = m_line.baud();
    if (m_line.write(bytes) < 0) {
        *error = QStringLiteral("the line is unplugged");
        return false;
    }
    m_trace.sent(Trace::monotonicNs(), baud, bytes, note);
    return true;
}

void Simulator::hear(const QByteArray& bytes) {
    // One reading of the clock and the rate for everything that came in one
    // piece: it all arrived before this call, at the rate now set.
    const qint64 ns = Trace::monotonicNs();
    const int baud = m_line.baud();
    for (const QByteArray& frame : m_splitter.feed(bytes)) {
        const Hearing hearing = m_bus.hear(frame, baud, seconds());
        m_trace.heard(ns, baud, frame, hearing.note);
        for (const ScheduledReply& reply : hearing.replies)
            schedule(reply);
    }
}

void Simulator::schedule(const ScheduledReply& reply) {
    const int generation = m_lineGeneration;
    if (reply.split && reply.bytes.size() > 1) {
        // The first byte when the whole reply would have been due, then one
        // byte a millisecond: the tool must gather it across many reads.
        ScheduledReply first = reply;
        first.bytes = reply.bytes.left(1);
        first.split = false;
        first.baudAfter.reset();
        first.note = reply.note + QStringLiteral(" (first byte)");
        schedule(first);
        ScheduledReply rest = reply;
        rest.bytes = reply.bytes.mid(1);
        rest.delayMs = reply.delayMs + 1;
        rest.note = reply.note;
        schedule(rest);
        return;
    }
    QTimer::singleShot(reply.delayMs, Qt::PreciseTimer, this, [this, reply, generation] {
        if (generation == m_lineGeneration) {
            const int baud = m_line.baud();
            m_line.write(reply.bytes);
            m_trace.sent(Trace::monotonicNs(), baud, reply.bytes, reply.note);
        }
        // The transmitter changes its rate whether or not anybody still hears
        // the acknowledgement.
        if (reply.baudAfter)
            m_bus.transmitters()[reply.transmitter].setBaud(*reply.baudAfter);
    });
}

} // namespace sim
