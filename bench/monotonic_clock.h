#pragma once

#include <QtGlobal>

#include <time.h>

// Nanoseconds of CLOCK_MONOTONIC: the clock of the simulator's trace, so the
// benchmark's and the soak's own times can be laid beside its lines.
inline qint64 monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
