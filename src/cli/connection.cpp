#include "cli/connection.h"

#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/port_messages.h"
#include "link/network_address.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <variant>

namespace {
const QString kPorts = QStringLiteral("Ports");

// The number a device path is filed under; no settings file names it, so no
// mapping or mark of a real port applies to the device the user gave.
constexpr int kDevicePathPort = 0;

// The port number the window remembers, com1 when it remembers none.
int rememberedPort(const SettingsStore& settings) {
    bool ok = false;
    const int n = settings.value(QStringLiteral("Transmitter"), QStringLiteral("CommPort"))
                      .trimmed()
                      .toInt(&ok);
    return ok && n >= 1 ? n : 1;
}

// A device the user named, as a path, and where it was looked for.
struct DevicePath {
    QString path;
    QString lookedFor; // " (no NAME in the current folder)" for a name found under /dev
};

// A path as given; a name alone, in the current folder when such a file is
// there, else under /dev, where devices live. An empty name and a network
// address that is malformed or of an unknown kind are refused with a message.
std::variant<DevicePath, QString> devicePath(const QString& given) {
    if (given.trimmed().isEmpty())
        return QStringLiteral("--port is empty: give com1 to com6 or a device");
    if (isNetworkAddress(given)) {
        NetworkAddress::Problem problem = NetworkAddress::Problem::None;
        const std::optional<NetworkAddress> address = NetworkAddress::parse(given, &problem);
        if (!address)
            return QStringLiteral("\"%1\" is no port: %2")
                .arg(given, NetworkAddress::describeInEnglish(problem));
        return DevicePath{address->text(), QString()};
    }
    if (given.contains(QLatin1String("://")))
        return QStringLiteral("\"%1\" is an unknown kind of port: give com1 to com6, a device "
                              "path, rfc2217://HOST:PORT or tcp://HOST:PORT?baud=RATE")
            .arg(given);
    if (given.contains(QLatin1Char('/')))
        return DevicePath{QFileInfo(given).absoluteFilePath(), QString()};
    const QString here = QDir::current().absoluteFilePath(given);
    if (QFileInfo::exists(here))
        return DevicePath{here, QString()};
    return DevicePath{
        QStringLiteral("/dev/") + given,
        QStringLiteral(" (no %1 in the current folder %2)").arg(given, QDir::currentPath())};
}

QString absoluteDevice(const QString& device) {
    return QFileInfo(device).isRelative() && !device.contains(QLatin1String("://"))
               ? QFileInfo(device).absoluteFilePath()
               : device;
}
} // namespace

Connection::Connection() = default;

Connection::~Connection() {
    if (m_line && m_line->onlyEarlyFrames())
        printWarning(QStringLiteral("replies came sooner than the line allows and none was taken; "
                                    "if this port is a link without line timing (a software "
                                    "simulator), use --no-line-timing or mark it in the settings "
                                    "file: [Ports] comN.lineTiming=false"));
    m_line.reset();
    m_traced.reset();
    if (m_traceFile)
        std::fclose(m_traceFile);
}

std::unique_ptr<Connection> Connection::open(const GlobalOptions& options,
                                             const RateCheck& beforeOpening) {
    std::unique_ptr<Connection> c(new Connection);

    static const QRegularExpression comN(QStringLiteral("^com([1-6])$"),
                                         QRegularExpression::CaseInsensitiveOption);
    std::optional<QString> given = options.port;
    if (!given && !qEnvironmentVariableIsEmpty("TARNWICK_PORT"))
        given = qEnvironmentVariable("TARNWICK_PORT");
    int number = 0;
    QString lookedFor;
    if (!given) {
        number = rememberedPort(c->m_settings);
    } else if (const auto m = comN.match(given->trimmed()); m.hasMatch()) {
        number = m.captured(1).toInt();
    } else {
        const std::variant<DevicePath, QString> device = devicePath(*given);
        if (const QString* refusal = std::get_if<QString>(&device)) {
            printError(*refusal);
            return nullptr;
        }
        number = kDevicePathPort;
        c->m_settings.overrideValue(kPorts, QStringLiteral("com%1").arg(number),
                                    std::get<DevicePath>(device).path);
        lookedFor = std::get<DevicePath>(device).lookedFor;
    }
    if (options.noLineTiming)
        c->m_settings.overrideValue(kPorts, QStringLiteral("com%1.lineTiming").arg(number),
                                    QStringLiteral("false"));
    // The link's figures, checked here since the settings file would fall
    // back to the defaults in silence.
    const auto networkOption = [&](const std::optional<QString>& value, const QString& key,
                                   const QString& option, int low, int high) {
        if (!value)
            return true;
        if (!parseWholeNumber(*value, low, high)) {
            printError(QStringLiteral("--%1 \"%2\": give milliseconds from %3 to %4")
                           .arg(option, *value)
                           .arg(low)
                           .arg(high));
            return false;
        }
        c->m_settings.overrideValue(kPorts, QStringLiteral("com%1.%2").arg(number).arg(key),
                                    *value);
        return true;
    };
    if (!networkOption(options.latency, QStringLiteral("latency"), QStringLiteral("latency"), 0,
                       10'000) ||
        !networkOption(options.connectTimeout, QStringLiteral("connectTimeout"),
                       QStringLiteral("connect-timeout"), 1, 60'000))
        return nullptr;

    const QString device = c->m_devices.deviceName(number);
    c->m_port.setPortNumber(number);
    if (beforeOpening && !beforeOpening(c->m_port.fixedBaud()))
        return nullptr;
    if (!c->m_port.open()) {
        PortError error = c->m_port.lastError();
        if (!error.device.isEmpty())
            error.device = absoluteDevice(error.device);
        printError(
            (c->m_port.isNetwork() ? c->m_port.englishError() : portErrorMessage(error)) +
            lookedFor +
            (number == kDevicePathPort ? QString() : QStringLiteral(" (com%1)").arg(number)));
        return nullptr;
    }
    SerialPort* port = &c->m_port;
    if (!options.traceFile.isEmpty()) {
        c->m_traceFile = std::fopen(QFile::encodeName(options.traceFile).constData(), "w");
        if (!c->m_traceFile) {
            printError(QStringLiteral("cannot write the trace to %1: %2")
                           .arg(options.traceFile, QString::fromLocal8Bit(std::strerror(errno))));
            return nullptr;
        }
    }
    if (options.trace || c->m_traceFile) {
        c->m_traced =
            std::make_unique<TracedPort>(c->m_port, c->m_traceFile ? c->m_traceFile : stderr);
        port = c->m_traced.get();
    }
    c->m_device = absoluteDevice(device);
    c->m_line = std::make_unique<BusLine>(*port, c->m_clock);
    return c;
}

bool Connection::reopen() {
    const QString settings = m_port.settings();
    if (!m_port.open())
        return false;
    m_port.setSettings(settings);
    return true;
}
