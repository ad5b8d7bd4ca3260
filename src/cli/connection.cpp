#include "cli/connection.h"

#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/port_messages.h"

namespace {
// What the user reads when the bus did not open.
QString openFailureMessage(const BusOpenFailure& f, const QString& traceFile) {
    using Kind = BusOpenFailure::Kind;
    switch (f.kind) {
    case Kind::EmptyName:
        return QStringLiteral("--port is empty: give com1 to com6 or a device");
    case Kind::BadAddress:
        if (f.addressProblem == NetworkAddress::Problem::UnknownParameter)
            return QStringLiteral("\"%1\" is no port: the address has an unknown parameter "
                                  "\"%2\"; only baud=RATE is known")
                .arg(f.given, f.addressParameter);
        return QStringLiteral("\"%1\" is no port: %2")
            .arg(f.given, networkAddressMessage(f.addressProblem));
    case Kind::UnknownScheme:
        return QStringLiteral("\"%1\" is an unknown kind of port: give com1 to com6, a device "
                              "path, rfc2217://HOST:PORT or tcp://HOST:PORT?baud=RATE")
            .arg(f.given);
    case Kind::RateRefused:
        return QString(); // the check said why
    case Kind::PortNotOpened:
        return portErrorMessage(f.port) +
               (f.bareName.isEmpty() ? QString()
                                     : QStringLiteral(" (no %1 in the current folder %2)")
                                           .arg(f.bareName, f.folder)) +
               (f.portNumber == 0 ? QString() : QStringLiteral(" (com%1)").arg(f.portNumber));
    case Kind::TraceNotWritten:
        return QStringLiteral("cannot write the trace to %1: %2").arg(traceFile, f.system);
    }
    return QString();
}

// A link figure in milliseconds, checked here since the settings file would
// fall back to the defaults in silence; false after a message.
bool millisecondsOption(const std::optional<QString>& value, const QString& option, int low,
                        int high, std::optional<int>& into) {
    if (!value)
        return true;
    into = parseWholeNumber(*value, low, high);
    if (!into)
        printError(QStringLiteral("--%1 \"%2\": give milliseconds from %3 to %4")
                       .arg(option, *value)
                       .arg(low)
                       .arg(high));
    return bool(into);
}
} // namespace

Connection::Connection(std::unique_ptr<BusSession> session)
    : m_session(std::move(session)) {}

Connection::~Connection() {
    const BusLine& line = m_session->line();
    if (line.onlyEarlyFrames())
        printWarning(QStringLiteral("replies came sooner than the line allows and none was taken; "
                                    "if this port is a link without line timing (a software "
                                    "simulator), use --no-line-timing or mark it in the settings "
                                    "file: [Ports] comN.lineTiming=false"));
    else if (line.framesTooEarly() == 1)
        printWarning(QStringLiteral("a stale frame came %1 ms too soon and was dropped")
                         .arg(line.mostMsTooSoon()));
    else if (line.framesTooEarly() > 1)
        printWarning(QStringLiteral("%1 stale frames came up to %2 ms too soon and were dropped")
                         .arg(line.framesTooEarly())
                         .arg(line.mostMsTooSoon()));
}

std::unique_ptr<Connection> Connection::open(const GlobalOptions& options,
                                             const RateCheck& beforeOpening, bool* portMissing) {
    BusSessionOptions bus;
    bus.port = options.port;
    // A variable set but empty is a slip of a script (a misspelt name), never
    // a wish for the remembered port.
    if (!bus.port && qEnvironmentVariableIsSet("TARNWICK_PORT")) {
        bus.port = qEnvironmentVariable("TARNWICK_PORT");
        if (bus.port->trimmed().isEmpty()) {
            printError(QStringLiteral("TARNWICK_PORT is empty: give com1 to com6 or a device"));
            return nullptr;
        }
    }
    bus.noLineTiming = options.noLineTiming;
    bus.trace = options.trace;
    bus.traceFile = options.traceFile;
    if (!millisecondsOption(options.latency, QStringLiteral("latency"), 0, 10'000, bus.latencyMs) ||
        !millisecondsOption(options.connectTimeout, QStringLiteral("connect-timeout"), 1, 60'000,
                            bus.connectTimeoutMs))
        return nullptr;
    BusSession::Opened opened = BusSession::open(bus, beforeOpening);
    if (const BusOpenFailure* failure = std::get_if<BusOpenFailure>(&opened)) {
        if (portMissing)
            *portMissing = failure->kind == BusOpenFailure::Kind::PortNotOpened;
        if (const QString message = openFailureMessage(*failure, options.traceFile);
            !message.isEmpty())
            printError(message);
        return nullptr;
    }
    return std::unique_ptr<Connection>(
        new Connection(std::move(std::get<std::unique_ptr<BusSession>>(opened))));
}
