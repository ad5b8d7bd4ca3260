#include "link/port_error.h"

QString portErrorText(const PortError& e) {
    switch (e.kind) {
    case PortError::Kind::None:
        return QString();
    case PortError::Kind::NoSuchPort:
        return QStringLiteral("无法打开串口 %1：没有这个串口号。").arg(e.portNumber);
    case PortError::Kind::NotFound:
        return QStringLiteral("无法打开串口 %1：设备不存在。").arg(e.device);
    case PortError::Kind::InUse:
        return QStringLiteral("无法打开串口 %1：串口正被其他程序使用。").arg(e.device);
    case PortError::Kind::NoAccess:
        return QStringLiteral("无法打开串口 %1：没有访问该设备的权限。").arg(e.device);
    case PortError::Kind::InUseOrNoAccess:
        return QStringLiteral("无法打开串口 %1：串口正被其他程序使用，或没有访问权限。")
            .arg(e.device);
    case PortError::Kind::OpenSettingsRefused:
        return QStringLiteral("无法打开串口 %1：设备不支持线路设置 %2（%3）。")
            .arg(e.device, e.settings, e.system);
    case PortError::Kind::SettingsRefused:
        return QStringLiteral("串口 %1 不支持线路设置 %2（%3）。")
            .arg(e.device, e.settings, e.system);
    case PortError::Kind::Lost:
        return QStringLiteral("串口 %1 已断开：设备已拔出或不再响应。请检查连接后重新选择串口。")
            .arg(e.device);
    case PortError::Kind::Other:
        return QStringLiteral("无法打开串口 %1：%2").arg(e.device, e.system);
    }
    return QString();
}
