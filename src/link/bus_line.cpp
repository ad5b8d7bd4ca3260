#include "link/bus_line.h"

#include "link/clock.h"
#include "link/line_settings.h"
#include "link/serial_port.h"

#include <limits>

namespace {
// A long late reply can still be arriving when one time-out has passed; the
// wait then goes on until the line is quiet, but for no more than the wire
// time of the characters an exchange's deadline counts, so a flooding peer
// cannot hold the line.
constexpr qsizetype kMaxCountedChars = 40;
constexpr qint64 kLongAgo = std::numeric_limits<qint64>::min() / 2;
} // namespace

BusLine::BusLine(SerialPort& port, const Clock& clock)
    : m_port(port)
    , m_clock(clock) {}

bool BusLine::isAnswerFrom(const QString& reply, const QString& address) {
    return reply.startsWith(QLatin1Char('*')) && reply.mid(1, 2) == address;
}

bool BusLine::mustSettle(const QString& address) const {
    return m_unansweredAddress && address == *m_unansweredAddress &&
           m_port.settings() == m_unansweredSettings && m_port.isOpen();
}

qint64 BusLine::settleEndUs(qint64 lastArrivalUs) const {
    const std::optional<LineSettings> line = LineSettings::parse(m_unansweredSettings);
    const int baud = line ? line->baud : 0;
    // A late reply through a slow link comes later still.
    const qint64 timeOutEnd =
        m_unansweredEndUs +
        qint64(replyTimeoutMs(m_unansweredSettings) + m_port.latencyMs()) * 1000;
    // Quiet means two character times without a character.
    const qint64 quietEnd = lastArrivalUs + wireTimeUs(2, baud);
    return qBound(timeOutEnd, quietEnd, timeOutEnd + wireTimeUs(kMaxCountedChars, baud));
}

int BusLine::settleRemainingMs(const QString& address) const {
    if (!mustSettle(address))
        return 0;
    const qint64 left = settleEndUs(kLongAgo) - m_clock.usecs();
    return left > 0 ? int((left + 999) / 1000) : 0;
}

void BusLine::settle() {
    qint64 lastArrival = kLongAgo;
    while (m_port.isOpen()) {
        if (!m_port.readAll().isEmpty())
            lastArrival = m_clock.usecs();
        const qint64 left = settleEndUs(lastArrival) - m_clock.usecs();
        if (left <= 0)
            break;
        m_port.waitForInput(int((left + 999) / 1000));
    }
}

QString BusLine::exchange(const QString& address, const QString& command, ExchangeNotes* notes) {
    if (mustSettle(address))
        settle();
    ExchangeNotes own;
    const QString reply = Comm_Send(m_port, m_clock, address, command, &own);
    m_framesTooEarly += own.framesTooEarly;
    if (own.framesTooEarly > 0)
        ++m_exchangesWithEarlyFrames;
    m_mostMsTooSoon = qMax(m_mostMsTooSoon, own.mostMsTooSoon);
    if (reply.startsWith(QLatin1Char('*')))
        ++m_verifiedFrames;
    if (notes) {
        notes->framesTooEarly += own.framesTooEarly;
        notes->mostMsTooSoon = qMax(notes->mostMsTooSoon, own.mostMsTooSoon);
        notes->invalidReply = own.invalidReply;
    }
    if (isAnswerFrom(reply, address)) {
        m_unansweredAddress.reset();
    } else {
        m_unansweredAddress = address;
        ++m_failures;
        m_unansweredSettings = m_port.settings();
        m_unansweredEndUs = m_clock.usecs();
    }
    m_port.exchangeEnded();
    return reply;
}
