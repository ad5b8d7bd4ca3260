#include "cli/bus.h"

#include "cli/stop_request.h"
#include "cli/traced_port.h"
#include "connection/transmitter_connection.h"
#include "link/clock.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "protocol/bus_search.h"
#include "protocol/commands.h"

Answer classifyReply(const QString& reply, const QString& address) {
    if (!reply.startsWith(QLatin1Char('*')))
        return reply.startsWith(QLatin1String("ERR 0")) ? Answer::NoReply : Answer::InvalidReply;
    return reply.mid(1, 2) == address ? Answer::Answered : Answer::OtherAddress;
}

QString answerProblem(Answer answer) {
    switch (answer) {
    case Answer::Answered:
        return QString();
    case Answer::NoReply:
        return QStringLiteral("no reply");
    case Answer::InvalidReply:
        return QStringLiteral("invalid reply");
    case Answer::OtherAddress:
        return QStringLiteral("reply from another address");
    }
    return QString();
}

Bus::Bus(SerialPort& port, const Clock& clock, TracedPort* trace, const QString& device)
    : m_port(port)
    , m_trace(trace)
    , m_device(device)
    , m_line(port, clock) {}

bool Bus::setBaudIndex(int baudIndex) {
    const QString settings = lineSettingsOfIndex(baudIndex);
    if (settings.isEmpty() || !m_port.setSettings(settings))
        return false;
    m_baudIndex = baudIndex;
    return true;
}

QString Bus::exchange(const QString& address, const QString& command) {
    const QString reply = m_line.exchange(address, command);
    if (m_trace)
        m_trace->flush();
    return reply;
}

int Bus::findRate(const QString& address) {
    // The core's connection walks the rates; every probe goes through this
    // bus, so the trace and the counts see it.
    TransmitterConnection connection(m_line, address);
    const int index = connection.findRate(stopRequested);
    m_baudIndex = connection.baudIndex();
    if (m_trace)
        m_trace->flush();
    return index;
}
