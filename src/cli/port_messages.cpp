#include "cli/port_messages.h"

QString portErrorMessage(const PortError& e) {
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
    }
    return QString();
}
