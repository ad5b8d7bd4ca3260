#include "cli/reply_words.h"

QString replyProblem(ReplyKind kind) {
    switch (kind) {
    case ReplyKind::Data:
        return QString();
    case ReplyKind::NoData:
        return QStringLiteral("no data");
    case ReplyKind::NoReply:
        return QStringLiteral("no reply");
    case ReplyKind::InvalidFrame:
        return QStringLiteral("invalid reply");
    case ReplyKind::OtherAddress:
        return QStringLiteral("reply from another address");
    case ReplyKind::PortLost:
        return QStringLiteral("port lost");
    }
    return QString();
}

QString addressChangeProblem(const Exchanged& reply, const QString& oldAddress,
                             const QString& newAddress) {
    if (TransmitterConnection::showsNewAddress(reply, oldAddress, newAddress))
        return QString();
    ReplyKind kind =
        reply.kind == ReplyKind::PortLost ? reply.kind : replyKindOf(reply.reply, oldAddress);
    if (kind == ReplyKind::OtherAddress)
        kind = replyKindOf(reply.reply, newAddress);
    if (kind != ReplyKind::Data && kind != ReplyKind::NoData)
        return replyProblem(kind);
    return QStringLiteral("answered \"%1\", not the new address %2").arg(reply.value(), newAddress);
}

QString rateChangeProblem(const Exchanged& reply, int baudIndex) {
    if (TransmitterConnection::echoesRate(reply, baudIndex))
        return QString();
    if (!reply.answered())
        return replyProblem(reply.kind);
    return QStringLiteral("answered \"%1\", not \"%2\"")
        .arg(reply.value(), QString::number(baudIndex));
}

QString polledProblem(PolledValue::Outcome outcome) {
    switch (outcome) {
    case PolledValue::Outcome::Value:
        break;
    case PolledValue::Outcome::NoReply:
        return replyProblem(ReplyKind::NoReply);
    case PolledValue::Outcome::NoData:
        return replyProblem(ReplyKind::NoData);
    case PolledValue::Outcome::InvalidReply:
        return replyProblem(ReplyKind::InvalidFrame);
    case PolledValue::Outcome::OtherAddress:
        return replyProblem(ReplyKind::OtherAddress);
    case PolledValue::Outcome::NotAReading:
        return QStringLiteral("not a reading");
    case PolledValue::Outcome::PortLost:
        return replyProblem(ReplyKind::PortLost);
    }
    return QString();
}
