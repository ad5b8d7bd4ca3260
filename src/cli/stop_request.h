#pragma once

// Ctrl-C (SIGINT) and SIGTERM ask the running command to stop once the
// exchange in flight has ended: an exchange is never cut in half, so a write
// either went out whole or not at all.
void catchStopSignals();
bool stopRequested();
// Sleeps up to msecs, waking early when a stop is requested.
void sleepUnlessStopped(int msecs);
