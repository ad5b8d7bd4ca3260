#pragma once

#include "simulator/faults.h"

#include <QtGlobal>

namespace sim {

// The time chars characters take on a line at baud, 10 bits each (8N1), in
// microseconds; 0 for a rate that is no rate.
qint64 lineTimeUs(qsizetype chars, int baud);

// When a reply's characters go out, counted from the moment the simulator read
// the request's CR. A pseudo-terminal delivers every byte the instant it is
// written, so the simulator holds each character back until a real line would
// have delivered it: character i is written at dueUs(i).
struct ReplyTiming {
    qint64 firstUs = 0; // the first character
    qint64 charUs = 0;  // from one character to the next; 0: the whole reply at once

    qint64 dueUs(qsizetype i) const { return firstUs + qint64(i) * charUs; }
    bool operator==(const ReplyTiming&) const = default;
};

// How a transmitter's reply to a request of requestChars characters, heard at
// baud, goes out under a fault:
//
// - on a timed line, once the request has crossed the line and the
//   transmitter's turnaround has passed, a character every 10 bits;
// - without line timing, all at once (a split reply a byte a millisecond),
//   with no turnaround either: nothing about the line is modelled then;
// - a plain late reply all at once, lateReplyDelayMs after the CR, timed line
//   or not, so it always lands between the tool's deadline and its next
//   exchange;
// - a reply late by MS starts MS past the tool's deadline for the request and
//   then goes out as any other.
ReplyTiming replyTiming(const Fault& fault, bool lineTiming, int baud, qsizetype requestChars,
                        int turnaroundMs);

} // namespace sim
