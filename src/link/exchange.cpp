#include "link/exchange.h"

#include "link/clock.h"
#include "link/frame.h"
#include "link/line_settings.h"
#include "link/serial_port.h"

namespace {
// No valid reply comes near this length; a peer that floods the line makes
// the frame invalid instead of growing the received text without limit.
constexpr qsizetype kMaxReceived = 1024;

QString toText(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

// Whether a frame of frameLength characters, complete elapsedMs after the
// request went out, came sooner than the line could carry the request and
// then that reply (10 bits a character). Such a frame is no answer to this
// request: it is what was still on its way from an earlier one, a second
// transmitter at the same address, or a reply that came too late. A fifth of
// the time and two clock ticks are allowed for the clock's coarseness.
qint64 lineMs(int baud, qsizetype requestLength, qsizetype frameLength) {
    return (requestLength + frameLength) * 10 * 1000 / baud;
}

bool tooEarly(qint64 elapsedMs, int baud, qsizetype requestLength, qsizetype frameLength) {
    if (baud <= 0)
        return false;
    return elapsedMs * 5 < lineMs(baud, requestLength, frameLength) * 4 - 10;
}

} // namespace

QString PARITY_XORB(const QString& ckeck_text) {
    return toText(frame::checksum(ckeck_text.toLatin1()));
}

bool isSendable(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    return true;
}

int replyTimeoutMsOfBaud(int baud) {
    switch (baud) {
    case 9600:
        return 60;
    case 4800:
        return 100;
    case 2400:
        return 200;
    case 1200:
        return 300;
    default:
        return 0;
    }
}

int replyTimeoutMs(const QString& lineSettings) {
    const QString s = lineSettings.toLower();
    if (s == QLatin1String("9600,n,8,1"))
        return 60;
    if (s == QLatin1String("4800,n,8,1"))
        return 100;
    if (s == QLatin1String("2400,n,8,1"))
        return 200;
    if (s == QLatin1String("1200,n,8,1"))
        return 300;
    return 0;
}

namespace {
// The search probe "$01AD04" + CR and its answer "*010100" + CR: the frames
// the rates' time-outs were made for.
constexpr qsizetype kProbeChars = 8;
constexpr qsizetype kMaxCountedReplyChars = 40;

} // namespace

qint64 wireTimeUs(qsizetype chars, int baud) {
    return baud > 0 ? qint64(chars) * 10 * 1000000 / baud : 0;
}

qint64 replyDeadlineUs(int baud, qsizetype requestChars, qsizetype replyChars) {
    const int timeout = replyTimeoutMsOfBaud(baud);
    if (timeout == 0)
        return 0;
    const qsizetype extraRequest = qMax<qsizetype>(0, requestChars - kProbeChars);
    const qsizetype extraReply =
        qMax<qsizetype>(0, qMin(replyChars, kMaxCountedReplyChars) - kProbeChars);
    return qint64(timeout) * 1000 + wireTimeUs(extraRequest + extraReply, baud);
}

QString Comm_Send(SerialPort& port, const Clock& clock, const QString& send_addr,
                  const QString& send_comm, ExchangeNotes* notes) {
    const int timeout = replyTimeoutMs(port.settings());
    if (!port.isOpen() || !isSendable(send_addr) || !isSendable(send_comm))
        return toText(frame::kNoReply);
    const QByteArray request = frame::request(send_addr.toLatin1(), send_comm.toLatin1());

    // Whatever is still waiting (a late reply to an earlier request) must not
    // be taken for this one's.
    port.discardInput();
    port.discardOutput();

    // The time-out starts before the write. It counts the transmitter's
    // silence: the deadline grows by the wire time of a request longer than
    // the probe and of every reply character beyond the probe's answer, so a
    // long frame is not cut off while it is still on the line.
    const qint64 start = clock.usecs();
    port.write(request);

    const std::optional<LineSettings> line = LineSettings::parse(port.settings());
    const int lineBaud = timeout > 0 && line ? line->baud : 0;
    const int timedBaud = port.hasLineTiming() ? lineBaud : 0;
    QByteArray received;
    qsizetype arrived = 0; // since the write, dropped frames included
    for (;;) {
        const QByteArray chunk = port.readAll();
        arrived += chunk.size();
        received += chunk;
        qsizetype cr = received.indexOf(frame::kCR);
        const qint64 elapsedMs = (clock.usecs() - start) / 1000;
        while (cr >= 0 && tooEarly(elapsedMs, timedBaud, request.size(), cr + 1)) {
            if (notes) {
                ++notes->framesTooEarly;
                notes->mostMsTooSoon = qMax(notes->mostMsTooSoon,
                                            lineMs(timedBaud, request.size(), cr + 1) - elapsedMs);
            }
            received.remove(0, cr + 1);
            cr = received.indexOf(frame::kCR);
        }
        if (cr >= 0)
            break;
        if (received.size() > kMaxReceived) {
            received.truncate(kMaxReceived + 1);
            break;
        }
        const qint64 deadline =
            replyDeadlineUs(lineBaud, request.size(), arrived) + qint64(port.latencyMs()) * 1000;
        const qint64 elapsed = clock.usecs() - start;
        if (elapsed >= deadline || !port.isOpen())
            break;
        // Sleeps in the port until input arrives, so the reply is noticed as
        // soon as its CR is in and no time is burnt meanwhile.
        port.waitForInput(int((deadline - elapsed + 999) / 1000));
    }
    const QByteArray reply = frame::replyText(received);
    if (notes && reply == frame::kFrameError)
        notes->invalidReply = received;
    return toText(reply);
}
