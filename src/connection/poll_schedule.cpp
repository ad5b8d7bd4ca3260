#include "connection/poll_schedule.h"

NextSlot nextSlot(long long ran, long long elapsedMs, int intervalMs) {
    if (intervalMs <= 0)
        return {ran + 1, 0};
    // The first slot that has not begun yet; a cycle that ended exactly at a
    // slot's start runs that slot.
    const long long ahead = (elapsedMs + intervalMs - 1) / intervalMs;
    const long long next = ahead > ran + 1 ? ahead : ran + 1;
    return {next, next - (ran + 1)};
}
