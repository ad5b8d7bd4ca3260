#include "connection/transmitter_connection.h"

#include "link/reply_value.h"
#include "link/serial_port.h"
#include "protocol/bus_search.h"

ReplyKind replyKindOf(const QString& reply, const QString& address) {
    if (!reply.startsWith(QLatin1Char('*')))
        return reply.startsWith(QLatin1String("ERR 0")) ? ReplyKind::NoReply
                                                        : ReplyKind::InvalidFrame;
    if (reply.mid(1, 2) != address)
        return ReplyKind::OtherAddress;
    return hasData(reply) ? ReplyKind::Data : ReplyKind::NoData;
}

QString Exchanged::value() const {
    return replyValue(reply);
}

TransmitterConnection::TransmitterConnection(BusLine& line, QString address)
    : m_line(line)
    , m_address(std::move(address)) {}

Exchanged TransmitterConnection::exchange(Command command, const QString& payload) {
    return exchangeText(commandText(command, payload));
}

Exchanged TransmitterConnection::exchangeText(const QString& text, ExchangeNotes* notes) {
    // A closed port gives the same text as silence; only the port tells
    // that nothing could have answered.
    const bool wasOpen = m_line.port().isOpen();
    const QString reply = m_line.exchange(m_address, text, notes);
    Exchanged e{replyKindOf(reply, m_address), reply, wasOpen};
    if (!e.answered() && !m_line.port().isOpen())
        e.kind = ReplyKind::PortLost;
    return e;
}

bool TransmitterConnection::setBaudIndex(int baudIndex) {
    const QString settings = lineSettingsOfIndex(baudIndex);
    return !settings.isEmpty() && m_line.port().setSettings(settings);
}

int TransmitterConnection::baudIndex() const {
    for (int index = 0; index < int(kBaudRates.size()); ++index)
        if (m_line.port().settings().compare(lineSettingsOfIndex(index), Qt::CaseInsensitive) == 0)
            return index;
    return -1;
}

bool TransmitterConnection::answersAddress() {
    return isAddressAnswer(exchange(Command::Address).reply, m_address);
}

int TransmitterConnection::findRate(const std::function<bool()>& stop) {
    for (const int index : searchBaudIndexes(m_line.port().fixedBaud())) {
        if (stop && stop())
            return -1;
        if (setBaudIndex(index) && answersAddress())
            return index;
    }
    return -1;
}

int TransmitterConnection::reachRate(int baudIndex, const std::function<bool()>& stop) {
    if (baudIndex < 0)
        return findRate(stop);
    return setBaudIndex(baudIndex) ? baudIndex : -1;
}

bool TransmitterConnection::isDone(const Exchanged& exchanged) {
    return exchanged.kind == ReplyKind::Data && exchanged.value() == kDoneReplyValue;
}

Exchanged TransmitterConnection::moveId(const QString& id) {
    return exchange(Command::Id, id);
}

Exchanged TransmitterConnection::moveAddress(const QString& newAddress) {
    const Exchanged reply = exchange(Command::Address, newAddress);
    // The list entry is the only record of where the transmitter is: only an
    // answer that names an address moves the connection; after a lost or
    // empty reply the following steps still go to the address that was known.
    if (hasData(reply.reply) && isBusAddress(reply.value()))
        m_address = reply.value();
    return reply;
}

Exchanged TransmitterConnection::moveRate(int baudIndex) {
    const Exchanged reply = exchange(Command::BaudRate, QString::number(baudIndex));
    if (reply.reply ==
        QLatin1Char('*') + m_address + QString::number(baudIndex) + QLatin1Char('\r'))
        setBaudIndex(baudIndex);
    return reply;
}

Exchanged TransmitterConnection::moveModel(const QString& model) {
    return exchange(Command::Model, model);
}

bool TransmitterConnection::showsNewAddress(const Exchanged& reply, const QString& oldAddress,
                                            const QString& newAddress) {
    // The echo may name the old address or the new.
    ReplyKind kind = replyKindOf(reply.reply, oldAddress);
    if (kind == ReplyKind::OtherAddress)
        kind = replyKindOf(reply.reply, newAddress);
    return (kind == ReplyKind::Data || kind == ReplyKind::NoData) && reply.value() == newAddress;
}

bool TransmitterConnection::echoesRate(const Exchanged& reply, int baudIndex) {
    return reply.answered() && reply.value() == QString::number(baudIndex);
}
