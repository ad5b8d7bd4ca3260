#include "cli/bus.h"

#include "cli/stop_request.h"
#include "cli/traced_port.h"
#include "connection/transmitter_connection.h"
#include "link/clock.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "protocol/bus_search.h"
#include "protocol/commands.h"

// The core judges the reply; the CLI's commands only tell whether the
// address asked answered, with data or without.
Answer classifyReply(const QString& reply, const QString& address) {
    switch (replyKindOf(reply, address)) {
    case ReplyKind::Data:
    case ReplyKind::NoData:
        return Answer::Answered;
    case ReplyKind::NoReply:
        return Answer::NoReply;
    case ReplyKind::InvalidFrame:
        return Answer::InvalidReply;
    case ReplyKind::OtherAddress:
        return Answer::OtherAddress;
    }
    return Answer::InvalidReply;
}

QString answerProblem(Answer answer) {
    switch (answer) {
    case Answer::Answered:
        return QString();
    case Answer::NoReply:
        return replyProblem(ReplyKind::NoReply);
    case Answer::InvalidReply:
        return replyProblem(ReplyKind::InvalidFrame);
    case Answer::OtherAddress:
        return replyProblem(ReplyKind::OtherAddress);
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
    return m_line.exchange(address, command);
}

int Bus::findRate(const QString& address) {
    // The core's connection walks the rates; every probe goes through this
    // bus, so the trace and the counts see it.
    TransmitterConnection connection(m_line, address);
    const int index = connection.findRate(stopRequested);
    m_baudIndex = connection.baudIndex();
    return index;
}
