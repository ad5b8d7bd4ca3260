#include "link/port_devices.h"

#include "link/network_address.h"
#include "link/network_defaults.h"
#include "link/settings_store.h"

PortDevices::PortDevices(const SettingsStore& settings)
    : m_settings(settings) {}

QString PortDevices::deviceName(int portNumber) const {
    // Settings files are edited by hand, so stray blanks around a path are
    // not part of it, and a key left with nothing after "=" means "not set".
    const QString configured =
        m_settings.value(QStringLiteral("Ports"), QStringLiteral("com%1").arg(portNumber))
            .trimmed();
    if (!configured.isEmpty())
        return configured;
    return defaultDeviceName(portNumber);
}

bool PortDevices::hasLineTiming(int portNumber) const {
    const QString value = m_settings.value(QStringLiteral("Ports"),
                                           QStringLiteral("com%1.lineTiming").arg(portNumber));
    return value.trimmed().compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
}

int PortDevices::latencyMs(int portNumber) const {
    return milliseconds(portNumber, "latency", 0, 10000, kDefaultNetworkLatencyMs);
}

int PortDevices::connectTimeoutMs(int portNumber) const {
    return milliseconds(portNumber, "connectTimeout", 1, 60000, kDefaultConnectTimeoutMs);
}

QString PortDevices::baudSetting(int portNumber) const {
    return m_settings.value(QStringLiteral("Ports"), QStringLiteral("com%1.baud").arg(portNumber))
        .trimmed();
}

int PortDevices::fixedBaud(int portNumber) const {
    return fixedBaudOf(deviceName(portNumber), baudSetting(portNumber));
}

int PortDevices::milliseconds(int portNumber, const char* key, int low, int high,
                              int otherwise) const {
    const QString value =
        m_settings
            .value(QStringLiteral("Ports"),
                   QStringLiteral("com%1.%2").arg(portNumber).arg(QLatin1String(key)))
            .trimmed();
    // Digits only: toInt() would also take a sign.
    for (QChar c : value)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return otherwise;
    bool ok = false;
    const int ms = value.toInt(&ok);
    return ok && ms >= low && ms <= high ? ms : otherwise;
}

QString PortDevices::defaultDeviceName(int portNumber) {
    if (portNumber < 1)
        return QString();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 1);
#endif
}
