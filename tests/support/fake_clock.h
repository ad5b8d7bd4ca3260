#pragma once

#include "link/clock.h"

// A clock that moves only when told to.
class FakeClock final : public Clock {
public:
    qint64 msecs() const override { return now; }
    void advance(qint64 ms) { now += ms; }
    void sleepMs(int ms) override { now += ms; }

    qint64 now = 1000;
};
