#pragma once

#include <QString>

class Clock;
class SerialPort;

// What an exchange noticed beyond its result, for a caller that wants to
// explain a failure.
struct ExchangeNotes {
    // Complete frames dropped because they came sooner than the line could
    // carry the request and that frame.
    int framesTooEarly = 0;
    // How much sooner than the line allows the earliest of them came, in
    // whole milliseconds.
    qint64 mostMsTooSoon = 0;
    // What came back, as it came, when it was no valid frame.
    QByteArray invalidReply;
};

// One exchange with a transmitter: one request frame written, one reply frame
// read back and checked. The only code that writes to or reads from the port.

// The checksum of ckeck_text as two upper-case hexadecimal digits.
QString PARITY_XORB(const QString& ckeck_text);

// Sends send_comm (command name and payload) to the address send_addr and
// returns "*" + reply body + CR for a valid reply, "ERR 0" + CR when five
// characters or fewer came back, and "EER 3" + CR for anything else. Blocks,
// without letting other events run, until the reply's CR arrives or the
// deadline of replyDeadlineUs() has passed: the time-out of the port's baud
// rate, longer by the wire time of a long request and of a long reply. On a closed port, or for a
// text holding a character outside printable ASCII, nothing is written and the result is "ERR 0" +
// CR at once. On a port with line timing a frame that is complete sooner than the line could carry
// the request and that frame is dropped (and counted in notes, when given): it belongs to an
// earlier exchange. On a port without line timing the first complete frame counts.
QString Comm_Send(SerialPort& port, const Clock& clock, const QString& send_addr,
                  const QString& send_comm, ExchangeNotes* notes = nullptr);

// The reply time-out for a line settings text: 60, 100, 200 or 300 ms at
// 9600, 4800, 2400 or 1200 baud with N,8,1; 0 for anything else.
int replyTimeoutMs(const QString& lineSettings);
// The same for a rate with N,8,1: 60, 100, 200 or 300 ms; 0 for another.
int replyTimeoutMsOfBaud(int baud);

// The time chars characters take on the line at baud, 10 bits a character,
// in microseconds.
qint64 wireTimeUs(qsizetype chars, int baud);

// How long an exchange at baud (one of the four rates; 0 for any other)
// waits for its reply, counted from before its request of requestChars
// characters is written, once replyChars characters have come back: the
// rate's time-out for the transmitter's silence, plus the wire time of the
// request beyond the 8 characters of the search probe and of the reply beyond
// the 8 of the probe's answer. At most 40 reply characters count, so a peer
// that floods the line cannot hold the exchange. A silent probe keeps exactly
// the rate's time-out.
qint64 replyDeadlineUs(int baud, qsizetype requestChars, qsizetype replyChars);

// Whether text can go into a frame: printable ASCII only.
bool isSendable(const QString& text);
