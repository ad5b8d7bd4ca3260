#include "ui/port_error_text.h"

QString networkAddressText(NetworkAddress::Problem problem) {
    switch (problem) {
    case NetworkAddress::Problem::None:
        return QString();
    case NetworkAddress::Problem::NoScheme:
        return QStringLiteral("网络地址须以 rfc2217:// 或 tcp:// 开头");
    case NetworkAddress::Problem::UnknownScheme:
        return QStringLiteral("只支持 rfc2217:// 和 tcp:// 两种网络地址");
    case NetworkAddress::Problem::EmptyHost:
        return QStringLiteral("网络地址缺少主机名");
    case NetworkAddress::Problem::NoPort:
        return QStringLiteral("网络地址缺少端口号");
    case NetworkAddress::Problem::BadPort:
        return QStringLiteral("端口号须为 1 到 65535");
    case NetworkAddress::Problem::BadBaud:
        return QStringLiteral("波特率须为 1200、2400、4800 或 9600");
    case NetworkAddress::Problem::UnknownParameter:
        return QStringLiteral("网络地址只能带 baud=波特率 这一个参数");
    case NetworkAddress::Problem::Junk:
        return QStringLiteral(
            "网络地址的写法不对，应为 rfc2217://主机:端口 或 tcp://主机:端口?baud=波特率");
    }
    return QString();
}

QString portErrorText(const PortError& e) {
    using Kind = PortError::Kind;
    // A device server's failures while opening begin alike.
    const QString cannotOpen = QStringLiteral("无法打开网络串口 %1：").arg(e.device);
    switch (e.kind) {
    case Kind::None:
        return QString();
    case Kind::NoSuchPort:
        return QStringLiteral("无法打开串口 %1：没有这个串口号。").arg(e.portNumber);
    case Kind::NotFound:
        return QStringLiteral("无法打开串口 %1：设备不存在。").arg(e.device);
    case Kind::InUse:
        return QStringLiteral("无法打开串口 %1：串口正被其他程序使用。").arg(e.device);
    case Kind::NoAccess:
        return QStringLiteral("无法打开串口 %1：没有访问该设备的权限。").arg(e.device);
    case Kind::InUseOrNoAccess:
        return QStringLiteral("无法打开串口 %1：串口正被其他程序使用，或没有访问权限。")
            .arg(e.device);
    case Kind::OpenSettingsRefused:
        return QStringLiteral("无法打开串口 %1：设备不支持线路设置 %2（%3）。")
            .arg(e.device, e.settings, e.system);
    case Kind::SettingsRefused:
        return QStringLiteral("串口 %1 不支持线路设置 %2（%3）。")
            .arg(e.device, e.settings, e.system);
    case Kind::Lost:
        return QStringLiteral("串口 %1 已断开：设备已拔出或不再响应。请检查连接后重新选择串口。")
            .arg(e.device);
    case Kind::Other:
        return QStringLiteral("无法打开串口 %1：%2").arg(e.device, e.system);
    case Kind::BadAddress:
        return cannotOpen + networkAddressText(e.addressProblem) + QStringLiteral("。");
    case Kind::LookupTimedOut:
        return cannotOpen +
               QStringLiteral("%1 毫秒内查不到主机 %2。").arg(e.milliseconds).arg(e.host);
    case Kind::HostNotFound:
        return cannotOpen + QStringLiteral("找不到主机 %1。").arg(e.host);
    case Kind::ConnectTimedOut:
        return cannotOpen + QStringLiteral("%1 毫秒内没有应答。").arg(e.milliseconds);
    case Kind::ConnectRefused:
        return cannotOpen + QStringLiteral("连接被拒绝（设备服务器没有运行？）。");
    case Kind::ConnectFailed:
        return cannotOpen + e.system;
    case Kind::Rfc2217Refused:
        return cannotOpen + QStringLiteral("设备服务器不支持 RFC 2217（拒绝了串口控制选项）。");
    case Kind::Rfc2217Closed:
        return cannotOpen + QStringLiteral("设备服务器不支持 RFC 2217（没有应答就断开了连接）。");
    case Kind::Rfc2217NoAgreement:
        return cannotOpen +
               QStringLiteral("设备服务器不支持 RFC 2217（%1 毫秒内没有同意串口控制选项）。")
                   .arg(e.milliseconds);
    case Kind::OpenRateRefused:
        return cannotOpen + QStringLiteral("设备服务器不接受线路设置 %1。").arg(e.settings);
    case Kind::OpenRateNotConfirmed:
        return cannotOpen + QStringLiteral("设备服务器没有接受线路设置 %1。").arg(e.settings);
    case Kind::ServerClosed:
        return cannotOpen + QStringLiteral("设备服务器断开了连接。");
    case Kind::BadRateSetting:
        return cannotOpen +
               QStringLiteral("设置 %1=%2 不是 1200、2400、4800 或 9600。").arg(e.setting, e.value);
    case Kind::RateConflict:
        return cannotOpen + QStringLiteral("地址中的波特率 %1 与设置 %2=%3 不一致。")
                                .arg(e.baud)
                                .arg(e.setting, e.value);
    case Kind::RateFixed:
        return QStringLiteral("网络串口 %1 的波特率固定为 %2，不能改为 %3。")
            .arg(e.device)
            .arg(e.baud)
            .arg(e.otherBaud);
    case Kind::RateRefused:
        return QStringLiteral("网络串口 %1 不支持线路设置 %2（设备服务器设为 %3 波特）。")
            .arg(e.device, e.settings)
            .arg(e.baud);
    case Kind::RateNotConfirmed:
        return QStringLiteral("网络串口 %1 没有确认线路设置 %2，已关闭。请检查设备服务器。")
            .arg(e.device, e.settings);
    case Kind::ConnectionLost:
        return QStringLiteral(
                   "网络串口 %1 已断开：与设备服务器的连接中断。请检查网络后重新选择串口。")
            .arg(e.device);
    }
    return QString();
}
