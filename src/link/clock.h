#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// A monotonic millisecond clock. Exchanges measure their time-out with it and
// polling its elapsed time, so neither can go backwards with the wall clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 msecs() const = 0;
    // The same clock in microseconds, for deadlines that count characters.
    virtual qint64 usecs() const { return msecs() * 1000; }
};

class SteadyClock final : public Clock {
public:
    SteadyClock() { m_timer.start(); }
    qint64 msecs() const override { return m_timer.elapsed(); }
    qint64 usecs() const override { return m_timer.nsecsElapsed() / 1000; }

private:
    QElapsedTimer m_timer;
};
