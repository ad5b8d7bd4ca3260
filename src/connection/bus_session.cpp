#include "connection/bus_session.h"

#include "link/device_port.h"
#include "link/port_devices.h"
#include "link/qt_settings_store.h"
#include "link/settings_overlay.h"
#include "link/traced_port.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

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

// A device the user named, as a path, and the bare name looked for under
// /dev because the current folder has no such file.
struct DevicePath {
    QString path;
    QString bareName;
};

// A path as given; a name alone, in the current folder when such a file is
// there, else under /dev, where devices live. An empty name and a network
// address that is malformed or of an unknown kind are refused.
std::variant<DevicePath, BusOpenFailure> devicePath(const QString& given) {
    BusOpenFailure refused;
    refused.given = given;
    if (given.trimmed().isEmpty()) {
        refused.kind = BusOpenFailure::Kind::EmptyName;
        return refused;
    }
    if (isNetworkAddress(given)) {
        const std::optional<NetworkAddress> address =
            NetworkAddress::parse(given, &refused.addressProblem, &refused.addressParameter);
        if (!address) {
            refused.kind = BusOpenFailure::Kind::BadAddress;
            return refused;
        }
        return DevicePath{address->text(), QString()};
    }
    if (given.contains(QLatin1String("://"))) {
        refused.kind = BusOpenFailure::Kind::UnknownScheme;
        return refused;
    }
    if (given.contains(QLatin1Char('/')))
        return DevicePath{QFileInfo(given).absoluteFilePath(), QString()};
    const QString here = QDir::current().absoluteFilePath(given);
    if (QFileInfo::exists(here))
        return DevicePath{here, QString()};
    return DevicePath{QStringLiteral("/dev/") + given, given};
}

QString absoluteDevice(const QString& device) {
    return QFileInfo(device).isRelative() && !device.contains(QLatin1String("://"))
               ? QFileInfo(device).absoluteFilePath()
               : device;
}
} // namespace

// What a session opened by name hangs on.
struct BusSession::Owned {
    explicit Owned(const SettingsStore* given)
        : file(given ? nullptr : std::make_unique<QtSettingsStore>())
        , settings(given ? *given : *file) {}
    ~Owned() {
        traced.reset();
        if (traceFile)
            std::fclose(traceFile);
    }

    std::unique_ptr<QtSettingsStore> file;
    SettingsOverlay settings;
    PortDevices devices{settings};
    DevicePort port{devices};
    std::FILE* traceFile = nullptr;
    std::unique_ptr<TracedPort> traced;
    SteadyClock clock;
};

BusSession::BusSession(SerialPort& port, Clock& clock, QString device)
    : BusSession(nullptr, port, clock, std::move(device)) {}

BusSession::BusSession(std::unique_ptr<Owned> owned, SerialPort& port, Clock& clock, QString device)
    : m_owned(std::move(owned))
    , m_port(&port)
    , m_clock(&clock)
    , m_device(std::move(device))
    , m_line(std::make_unique<BusLine>(port, clock)) {}

// Here, where Owned is complete; the members go in reverse order, the line
// before the port it uses.
BusSession::~BusSession() = default;

BusSession::Opened BusSession::open(const BusSessionOptions& options,
                                    const RateCheck& beforeOpening) {
    auto owned = std::make_unique<Owned>(options.settings);
    SettingsOverlay& settings = owned->settings;

    static const QRegularExpression comN(QStringLiteral("^com([1-6])$"),
                                         QRegularExpression::CaseInsensitiveOption);
    BusOpenFailure failure;
    failure.given = options.port.value_or(QString());
    int number = 0;
    if (!options.port) {
        number = rememberedPort(settings);
    } else if (const auto m = comN.match(options.port->trimmed()); m.hasMatch()) {
        number = m.captured(1).toInt();
    } else {
        std::variant<DevicePath, BusOpenFailure> device = devicePath(*options.port);
        if (BusOpenFailure* refused = std::get_if<BusOpenFailure>(&device))
            return std::move(*refused);
        number = kDevicePathPort;
        settings.overrideValue(kPorts, QStringLiteral("com%1").arg(number),
                               std::get<DevicePath>(device).path);
        failure.bareName = std::get<DevicePath>(device).bareName;
        failure.folder = QDir::currentPath();
    }
    failure.portNumber = number;
    const auto portKey = [number](const char* key) {
        return QStringLiteral("com%1%2").arg(number).arg(QLatin1String(key));
    };
    if (options.noLineTiming)
        settings.overrideValue(kPorts, portKey(".lineTiming"), QStringLiteral("false"));
    if (options.latencyMs)
        settings.overrideValue(kPorts, portKey(".latency"), QString::number(*options.latencyMs));
    if (options.connectTimeoutMs)
        settings.overrideValue(kPorts, portKey(".connectTimeout"),
                               QString::number(*options.connectTimeoutMs));

    const QString device = owned->devices.deviceName(number);
    DevicePort& port = owned->port;
    port.setPortNumber(number);
    if (beforeOpening && !beforeOpening(port.fixedBaud())) {
        failure.kind = BusOpenFailure::Kind::RateRefused;
        return failure;
    }
    if (!port.open()) {
        failure.kind = BusOpenFailure::Kind::PortNotOpened;
        failure.port = port.lastError();
        if (!failure.port.device.isEmpty())
            failure.port.device = absoluteDevice(failure.port.device);
        return failure;
    }
    SerialPort* lineSide = &port;
    if (!options.traceFile.isEmpty()) {
        owned->traceFile = std::fopen(QFile::encodeName(options.traceFile).constData(), "w");
        if (!owned->traceFile) {
            failure.kind = BusOpenFailure::Kind::TraceNotWritten;
            failure.system = QString::fromLocal8Bit(std::strerror(errno));
            return failure;
        }
    }
    QList<std::FILE*> traceTo;
    if (owned->traceFile)
        traceTo.append(owned->traceFile);
    if (options.trace)
        traceTo.append(options.traceStream);
    if (!traceTo.isEmpty()) {
        owned->traced = std::make_unique<TracedPort>(port, traceTo);
        lineSide = owned->traced.get();
    }
    Clock& clock = owned->clock;
    return std::unique_ptr<BusSession>(
        new BusSession(std::move(owned), *lineSide, clock, absoluteDevice(device)));
}

bool BusSession::reopen() {
    const QString settings = m_port->settings();
    if (!m_port->open())
        return false;
    m_port->setSettings(settings);
    return true;
}
