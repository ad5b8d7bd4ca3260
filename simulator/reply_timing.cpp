#include "simulator/reply_timing.h"

#include "link/exchange.h"

namespace sim {

qint64 lineTimeUs(qsizetype chars, int baud) {
    return baud > 0 ? qint64(chars) * 10 * 1000000 / baud : 0;
}

ReplyTiming replyTiming(const Fault& fault, bool lineTiming, int baud, qsizetype requestChars,
                        int turnaroundMs) {
    const qint64 charUs = lineTiming ? lineTimeUs(1, baud) : 0;
    if (fault.kind == FaultKind::Late) {
        // The plain late reply keeps coming whole: spread over the line, its
        // first characters would reach a slow tool while it still waits.
        if (!fault.lateMs)
            return {qint64(lateReplyDelayMs(baud)) * 1000, 0};
        // The tool counts its deadline from before it writes; the
        // pseudo-terminal delivers the request at once, so that is the moment
        // the CR was read.
        return {replyDeadlineUs(baud, requestChars, 0) + qint64(*fault.lateMs) * 1000, charUs};
    }
    if (!lineTiming) {
        // A split reply still comes in pieces, or the fault would do nothing.
        return {0, fault.kind == FaultKind::Split ? 1000 : 0};
    }
    // Character 0 is complete one character time after the turnaround.
    return {lineTimeUs(requestChars + 1, baud) + qint64(turnaroundMs) * 1000, charUs};
}

} // namespace sim
