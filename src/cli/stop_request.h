#pragma once

#include <QString>

// Ctrl-C (SIGINT) and SIGTERM ask the running command to stop once the
// exchange in flight has ended: an exchange is never cut in half, so a write
// either went out whole or not at all.
void catchStopSignals();
bool stopRequested();
// The exit status of a stopped command: 128 + the signal, 130 for Ctrl-C
// and 143 for SIGTERM, as shells report them.
int stoppedExitStatus();
// "stopped by Ctrl-C" or "stopped by SIGTERM", for a summary line.
QString stopReason();
// Sleeps up to msecs, waking early when a stop is requested.
void sleepUnlessStopped(int msecs);
