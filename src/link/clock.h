#pragma once

#include <QElapsedTimer>
#include <QThread>
#include <QtGlobal>

// A monotonic millisecond clock. Exchanges measure their time-out with it and
// polling its elapsed time, so neither can go backwards with the wall clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 msecs() const = 0;
    // The same clock in microseconds, for deadlines that count characters.
    virtual qint64 usecs() const { return msecs() * 1000; }
    // Lets this much time pass: a poller's wait for its next slot.
    virtual void sleepMs(int ms) = 0;
};

class SteadyClock final : public Clock {
public:
    SteadyClock() { m_timer.start(); }
    qint64 msecs() const override { return m_timer.elapsed(); }
    qint64 usecs() const override { return m_timer.nsecsElapsed() / 1000; }
    void sleepMs(int ms) override { QThread::msleep(ms); }

private:
    QElapsedTimer m_timer;
};
