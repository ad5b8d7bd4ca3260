#include "cli/port_messages.h"

QString networkAddressMessage(NetworkAddress::Problem problem) {
    switch (problem) {
    case NetworkAddress::Problem::None:
        return QString();
    case NetworkAddress::Problem::NoScheme:
        return QStringLiteral("a network address starts with rfc2217:// or tcp://");
    case NetworkAddress::Problem::UnknownScheme:
        return QStringLiteral("only rfc2217:// and tcp:// addresses are known");
    case NetworkAddress::Problem::EmptyHost:
        return QStringLiteral("the address has no host");
    case NetworkAddress::Problem::NoPort:
        return QStringLiteral("the address has no port");
    case NetworkAddress::Problem::BadPort:
        return QStringLiteral("the port must be 1 to 65535");
    case NetworkAddress::Problem::BadBaud:
        return QStringLiteral("the rate must be 1200, 2400, 4800 or 9600");
    case NetworkAddress::Problem::UnknownParameter:
        return QStringLiteral("the address has an unknown parameter; only baud=RATE is known");
    case NetworkAddress::Problem::Junk:
        return QStringLiteral(
            "the address is malformed; write rfc2217://HOST:PORT or tcp://HOST:PORT?baud=RATE");
    }
    return QString();
}

QString portErrorMessage(const PortError& e) {
    // A device server's failures while opening begin alike.
    const QString cannotOpen = QStringLiteral("cannot open %1: ").arg(e.device);
    switch (e.kind) {
    case PortError::Kind::None:
        return QString();
    case PortError::Kind::NoSuchPort:
        return QStringLiteral("com%1 names no device").arg(e.portNumber);
    case PortError::Kind::NotFound:
        return QStringLiteral("cannot open %1: no such device").arg(e.device);
    case PortError::Kind::InUse:
        return QStringLiteral("cannot open %1: another program is using it").arg(e.device);
    case PortError::Kind::NoAccess:
        return QStringLiteral("cannot open %1: permission denied (is the user in the group that "
                              "owns it, often dialout?)")
            .arg(e.device);
    case PortError::Kind::InUseOrNoAccess:
        return QStringLiteral("cannot open %1: another program is using it, or permission denied")
            .arg(e.device);
    case PortError::Kind::OpenSettingsRefused:
        return QStringLiteral("cannot open %1: the device refuses the line settings %2 (%3)")
            .arg(e.device, e.settings, e.system);
    case PortError::Kind::SettingsRefused:
        return QStringLiteral("%1 refuses the line settings %2 (%3)")
            .arg(e.device, e.settings, e.system);
    case PortError::Kind::Lost:
        return QStringLiteral("%1 went away: unplugged, or no longer answering").arg(e.device);
    case PortError::Kind::Other:
        return QStringLiteral("cannot open %1: %2").arg(e.device, e.system);
    case PortError::Kind::BadAddress:
        return cannotOpen + networkAddressMessage(e.addressProblem);
    case PortError::Kind::LookupTimedOut:
        return cannotOpen +
               QStringLiteral("no answer for host %1 within %2 ms").arg(e.host).arg(e.milliseconds);
    case PortError::Kind::HostNotFound:
        return cannotOpen + QStringLiteral("host %1 not found").arg(e.host);
    case PortError::Kind::ConnectTimedOut:
        return cannotOpen + QStringLiteral("no answer within %1 ms").arg(e.milliseconds);
    case PortError::Kind::ConnectRefused:
        return cannotOpen + QStringLiteral("connection refused (is the device server running?)");
    case PortError::Kind::ConnectFailed:
        return cannotOpen + e.system;
    case PortError::Kind::Rfc2217Refused:
        return cannotOpen + QStringLiteral("the device server does not speak RFC 2217 (it "
                                           "refused the Com Port Control option)");
    case PortError::Kind::Rfc2217Closed:
        return cannotOpen + QStringLiteral("the device server does not speak RFC 2217 (it closed "
                                           "the connection without agreeing)");
    case PortError::Kind::Rfc2217NoAgreement:
        return cannotOpen + QStringLiteral("the device server does not speak RFC 2217 (no "
                                           "agreement to the Com Port Control option within %1 "
                                           "ms)")
                                .arg(e.milliseconds);
    case PortError::Kind::OpenRateRefused:
        return cannotOpen +
               QStringLiteral("the device server refused the line settings %1").arg(e.settings);
    case PortError::Kind::OpenRateNotConfirmed:
        return cannotOpen +
               QStringLiteral("the device server did not acknowledge the line settings %1")
                   .arg(e.settings);
    case PortError::Kind::ServerClosed:
        return cannotOpen + QStringLiteral("the device server closed the connection");
    case PortError::Kind::BadRateSetting:
        return cannotOpen + QStringLiteral("the setting %1=%2 is not 1200, 2400, 4800 or 9600")
                                .arg(e.setting, e.value);
    case PortError::Kind::RateConflict:
        return cannotOpen +
               QStringLiteral("the rate %1 in the address and the setting %2=%3 disagree")
                   .arg(e.baud)
                   .arg(e.setting, e.value);
    case PortError::Kind::RateFixed:
        return QStringLiteral("the baud rate of %1 is fixed at %2; it cannot be changed to %3")
            .arg(e.device)
            .arg(e.baud)
            .arg(e.otherBaud);
    case PortError::Kind::RateRefused:
        return QStringLiteral("%1 refused the line settings %2 (the device server set %3 baud)")
            .arg(e.device, e.settings)
            .arg(e.baud);
    case PortError::Kind::RateNotConfirmed:
        return QStringLiteral(
                   "%1 did not acknowledge the line settings %2 within %3 ms; the port was closed")
            .arg(e.device, e.settings)
            .arg(e.milliseconds);
    case PortError::Kind::ConnectionLost:
        return QStringLiteral("%1 was lost: the connection to the device server broke")
            .arg(e.device);
    }
    return QString();
}
