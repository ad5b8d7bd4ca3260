#include "cli/stop_request.h"

#include <QThread>

#include <csignal>

namespace {
volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int signal) {
    // The first signal names the stop; a second one changes nothing.
    if (g_stop == 0)
        g_stop = signal;
}
} // namespace

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarted system calls keep an exchange's wait whole; the flag is
    // looked at between exchanges.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() {
    return g_stop != 0;
}

int stoppedExitStatus() {
    return 128 + int(g_stop);
}

QString stopReason() {
    return g_stop == SIGTERM ? QStringLiteral("stopped by SIGTERM")
                             : QStringLiteral("stopped by Ctrl-C");
}

void sleepUnlessStopped(int msecs) {
    // Short slices keep the reaction to Ctrl-C quick without spinning.
    constexpr int kSliceMs = 20;
    while (msecs > 0 && !stopRequested()) {
        const int slice = qMin(msecs, kSliceMs);
        QThread::msleep(slice);
        msecs -= slice;
    }
}
