#include "cli/broker_address.h"

#include <QRegularExpression>

QString BrokerAddress::libraryUri() const {
    const QString shownHost = host.contains(QLatin1Char(':')) ? '[' + host + ']' : host;
    return QStringLiteral("%1://%2:%3")
        .arg(tls ? QStringLiteral("ssl") : QStringLiteral("tcp"), shownHost)
        .arg(port);
}

std::variant<BrokerAddress, QString> parseBrokerAddress(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral(R"(^(mqtts?)://(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9._-]+)(?::([0-9]{1,5}))?/?$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return QStringLiteral("--mqtt \"%1\": give mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
            .arg(text);
    BrokerAddress address;
    address.tls = m.captured(1) == QLatin1String("mqtts");
    address.host = m.captured(2);
    if (address.host.startsWith(QLatin1Char('[')))
        address.host = address.host.mid(1, address.host.size() - 2);
    address.port = address.tls ? 8883 : 1883;
    if (m.hasCaptured(3)) {
        address.port = m.captured(3).toInt();
        if (address.port < 1 || address.port > 65535)
            return QStringLiteral("--mqtt \"%1\": port %2 is out of range (1 to 65535)")
                .arg(text, m.captured(3));
    }
    return address;
}
