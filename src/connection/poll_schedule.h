#pragma once

// The poller's fixed schedule: cycle n starts at start + n x interval, whatever the
// cycles before took, so a log never drifts. A cycle that overruns its slot
// is followed by the next slot still ahead; the slots passed over are counted,
// never run in a burst.

struct NextSlot {
    long long slot = 0;   // the number of the slot the next cycle starts in
    long long missed = 0; // slots passed over since the one just run
};

// After slot `ran` was run and `elapsedMs` have passed since the start: the
// next slot, and how many were passed over. With no interval, the next cycle
// follows at once.
NextSlot nextSlot(long long ran, long long elapsedMs, int intervalMs);
