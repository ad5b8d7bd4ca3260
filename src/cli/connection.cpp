#include "cli/connection.h"

#include "cli/output.h"

#include <QRegularExpression>

#include <cstdio>

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
} // namespace

Connection::Connection() = default;

Connection::~Connection() {
    if (m_line && m_line->onlyEarlyFrames())
        printError(QStringLiteral("replies came sooner than the line allows and none was taken; "
                                  "if this port is a link without line timing (a software "
                                  "simulator), use --no-line-timing or mark it in the settings "
                                  "file: [Ports] comN.lineTiming=false"));
}

std::unique_ptr<Connection> Connection::open(const GlobalOptions& options) {
    std::unique_ptr<Connection> c(new Connection);

    static const QRegularExpression comN(QStringLiteral("^com([1-6])$"),
                                         QRegularExpression::CaseInsensitiveOption);
    int number = 0;
    if (options.port.isEmpty()) {
        number = rememberedPort(c->m_settings);
    } else if (const auto m = comN.match(options.port.trimmed()); m.hasMatch()) {
        number = m.captured(1).toInt();
    } else {
        number = kDevicePathPort;
        c->m_settings.overrideValue(kPorts, QStringLiteral("com%1").arg(number), options.port);
    }
    if (options.noLineTiming)
        c->m_settings.overrideValue(kPorts, QStringLiteral("com%1.lineTiming").arg(number),
                                    QStringLiteral("false"));

    const QString device = c->m_devices.deviceName(number);
    c->m_port.setPortNumber(number);
    if (!c->m_port.open()) {
        printError(
            QStringLiteral("cannot open %1%2: %3")
                .arg(device,
                     number == kDevicePathPort ? QString() : QStringLiteral(" (com%1)").arg(number),
                     c->m_port.errorString()));
        return nullptr;
    }
    SerialPort* port = &c->m_port;
    if (options.trace) {
        c->m_traced = std::make_unique<TracedPort>(c->m_port, stderr);
        port = c->m_traced.get();
    }
    c->m_device = device;
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
