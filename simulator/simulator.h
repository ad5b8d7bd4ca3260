#pragma once

#include "simulator/bus.h"
#include "simulator/pty_line.h"
#include "simulator/trace.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>

namespace sim {

// The bus on the line: hears what the tool writes on the pseudo-terminal, has
// the transmitters answer, and writes each reply's characters as a real line
// would deliver them. Replies wait on timers, never by blocking, so requests,
// control commands and replies interleave as they would on a real bus.
class Simulator : public QObject {
    Q_OBJECT

public:
    Simulator(Bus bus, Trace& trace, QString linkPath = {}, QObject* parent = nullptr);

    bool start(QString* error);

    Bus& bus() { return m_bus; }
    PtyLine& line() { return m_line; }
    QString devicePath() const { return m_line.devicePath(); }

    // Seconds since the start: the time base of the drifting readings.
    double seconds() const { return double(m_clock.nsecsElapsed()) / 1e9; }

    // The adapter vanishes: replies still waiting are lost with it.
    bool unplug(QString* error);
    // A new pseudo-terminal, the link pointed to it.
    bool replug(QString* error);

    // Raw bytes to the tool, outside any exchange; traced as sent.
    bool send(const QByteArray& bytes, const QString& note, QString* error);

signals:
    void deviceChanged(const QString& path);

private:
    struct Sending;

    void hear(const QByteArray& bytes);
    // heardNs: when the request's CR was read, the moment the timing counts
    // from.
    void schedule(const ScheduledReply& reply, qint64 heardNs);
    void wakeForNext(const std::shared_ptr<Sending>& sending);
    void writeDue(const std::shared_ptr<Sending>& sending);

    Bus m_bus;
    Trace& m_trace;
    PtyLine m_line;
    FrameSplitter m_splitter;
    QElapsedTimer m_clock;
    // Counts plug-ins, so a reply scheduled on one line is not written to the
    // next one.
    int m_lineGeneration = 0;
};

} // namespace sim
