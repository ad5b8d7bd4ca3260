#include "simulator/simulator.h"

#include "simulator/outgoing_reply.h"

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
            schedule(reply, ns);
    }
}

// One reply being written, a few characters at a time.
struct Simulator::Sending {
    OutgoingReply reply;
    qint64 heardNs;
    int generation;
    QByteArray untraced; // written since the last trace line
};

void Simulator::schedule(const ScheduledReply& reply, qint64 heardNs) {
    wakeForNext(
        std::make_shared<Sending>(Sending{OutgoingReply(reply), heardNs, m_lineGeneration, {}}));
}

void Simulator::wakeForNext(const std::shared_ptr<Sending>& sending) {
    const qint64 waitNs =
        sending->heardNs + sending->reply.nextDueUs() * 1000 - Trace::monotonicNs();
    // Timers count whole milliseconds: rounded up, so a character never goes
    // out before its time; one that is late takes the next ones with it.
    const int ms = waitNs <= 0 ? 0 : int((waitNs + 999'999) / 1'000'000);
    QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, sending] { writeDue(sending); });
}

void Simulator::writeDue(const std::shared_ptr<Sending>& sending) {
    OutgoingReply& out = sending->reply;
    const ScheduledReply& reply = out.reply();
    const QByteArray bytes = out.takeDue((Trace::monotonicNs() - sending->heardNs) / 1000);
    // A reply begun on one line is not finished on the next: the rest is lost
    // with the adapter, and so is its trace line.
    if (!bytes.isEmpty() && sending->generation == m_lineGeneration) {
        m_line.write(bytes);
        sending->untraced += bytes;
        // One trace line a reply, written with its last character: its time
        // is when the tool has the whole frame, as a reader of the trace
        // expects. A split reply's first byte has a line of its own, which
        // shows the reply went out in pieces.
        if (out.done() || (reply.split && out.taken() == 1)) {
            const QString note =
                out.done() ? reply.note : reply.note + QStringLiteral(" (first byte)");
            m_trace.sent(Trace::monotonicNs(), m_line.baud(), sending->untraced, note);
            sending->untraced.clear();
        }
    }
    if (!out.done()) {
        wakeForNext(sending);
        return;
    }
    // The transmitter changes its rate once its acknowledgement is out,
    // whether or not anybody still hears it.
    if (reply.baudAfter)
        m_bus.transmitters()[reply.transmitter].setBaud(*reply.baudAfter);
}

} // namespace sim
