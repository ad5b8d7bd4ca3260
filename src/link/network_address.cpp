#include "link/network_address.h"

#include <QRegularExpression>

namespace {

const QRegularExpression& schemePrefix() {
    static const QRegularExpression re(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://"));
    return re;
}

// Host names as DNS allows them (letters, digits, '-', '.'), plus '_' that
// some local networks use; an IPv6 literal is checked by its brackets only.
bool isHostName(const QString& host) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    return re.match(host).hasMatch();
}

bool isIpv6Literal(const QString& host) {
    static const QRegularExpression re(QStringLiteral("^[0-9A-Fa-f:.]+$"));
    return host.contains(QLatin1Char(':')) && re.match(host).hasMatch();
}

// One of the four rates of the bus, written as digits only; 0 otherwise.
int busRate(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const int baud = digits.match(text).hasMatch() ? text.toInt() : 0;
    return baud == 1200 || baud == 2400 || baud == 4800 || baud == 9600 ? baud : 0;
}

std::optional<NetworkAddress> refuse(NetworkAddress::Problem why,
                                     NetworkAddress::Problem* problem) {
    if (problem)
        *problem = why;
    return std::nullopt;
}

} // namespace

FixedRate fixedRateOf(const NetworkAddress& rawAddress, const QString& setting) {
    const QString declared = setting.trimmed();
    if (declared.isEmpty())
        return {rawAddress.baud, FixedRate::Problem::None};
    const int baud = busRate(declared);
    if (baud == 0)
        return {0, FixedRate::Problem::BadSetting};
    if (rawAddress.baudGiven && rawAddress.baud != baud)
        return {0, FixedRate::Problem::Conflict};
    return {baud, FixedRate::Problem::None};
}

int fixedBaudOf(const QString& deviceName, const QString& setting) {
    const std::optional<NetworkAddress> address = NetworkAddress::parse(deviceName);
    if (!address || address->mode != NetworkAddress::Mode::Raw)
        return 0;
    return fixedRateOf(*address, setting).baud;
}

bool isNetworkAddress(const QString& deviceName) {
    return schemePrefix().match(deviceName.trimmed()).hasMatch();
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString& text, Problem* problem,
                                                    QString* parameter) {
    const QString trimmed = text.trimmed();
    const QRegularExpressionMatch scheme = schemePrefix().match(trimmed);
    if (!scheme.hasMatch())
        return refuse(Problem::NoScheme, problem);

    NetworkAddress address;
    const QString name = scheme.captured(1).toLower();
    if (name == QLatin1String("rfc2217"))
        address.mode = Mode::Rfc2217;
    else if (name == QLatin1String("tcp"))
        address.mode = Mode::Raw;
    else
        return refuse(Problem::UnknownScheme, problem);

    QString rest = trimmed.mid(scheme.capturedLength());
    QString query;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        query = rest.mid(q + 1);
        rest.truncate(q);
        if (address.mode != Mode::Raw)
            return refuse(Problem::Junk, problem);
    }

    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return refuse(Problem::Junk, problem);
        address.host = rest.mid(1, close - 1);
        if (address.host.isEmpty())
            return refuse(Problem::EmptyHost, problem);
        if (!isIpv6Literal(address.host))
            return refuse(Problem::Junk, problem);
        const QString after = rest.mid(close + 1);
        if (after.isEmpty())
            return refuse(Problem::NoPort, problem);
        if (!after.startsWith(QLatin1Char(':')))
            return refuse(Problem::Junk, problem);
        portText = after.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        address.host = colon < 0 ? rest : rest.left(colon);
        if (address.host.isEmpty())
            return refuse(Problem::EmptyHost, problem);
        if (!isHostName(address.host))
            return refuse(Problem::Junk, problem);
        if (colon < 0)
            return refuse(Problem::NoPort, problem);
        portText = rest.mid(colon + 1);
    }

    if (portText.isEmpty())
        return refuse(Problem::NoPort, problem);
    for (QChar c : portText)
        if (!c.isDigit() || c.unicode() > 0x7F)
            return refuse(c == QLatin1Char('/') ? Problem::Junk : Problem::BadPort, problem);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return refuse(Problem::BadPort, problem);
    address.port = quint16(port);

    if (address.mode == Mode::Raw) {
        address.baud = 9600;
        for (const QString& item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
            const QString name = item.section(QLatin1Char('='), 0, 0);
            if (name != QLatin1String("baud") || !item.contains(QLatin1Char('='))) {
                if (parameter)
                    *parameter = name;
                return refuse(item.contains(QLatin1Char('=')) ? Problem::UnknownParameter
                                                              : Problem::Junk,
                              problem);
            }
            // Digits only: toInt() would also take a sign or blanks.
            const int baud = busRate(item.section(QLatin1Char('='), 1));
            if (baud == 0 || address.baudGiven)
                return refuse(Problem::BadBaud, problem);
            address.baud = baud;
            address.baudGiven = true;
        }
    }

    address.host = address.host.toLower();
    if (problem)
        *problem = Problem::None;
    return address;
}

QString NetworkAddress::text() const {
    const QString host = this->host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + this->host + QLatin1Char(']')
                             : this->host;
    if (mode == Mode::Rfc2217)
        return QStringLiteral("rfc2217://%1:%2").arg(host).arg(port);
    return QStringLiteral("tcp://%1:%2?baud=%3").arg(host).arg(port).arg(baud);
}
