#include "link/network_port.h"

#include "link/network_address.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <future>
#include <memory>
#include <thread>

namespace {

// QTcpSocket's own blocking connect looks a name up without any bound (a
// dead DNS server holds it for many seconds). The lookup runs on a thread of
// its own instead, and is given up at the deadline; the thread then ends by
// itself whenever the resolver returns.
std::optional<QList<QHostAddress>> lookUp(const QString& host, const QDeadlineTimer& deadline) {
    QHostAddress literal;
    if (literal.setAddress(host))
        return QList<QHostAddress>{literal};

    auto promise = std::make_shared<std::promise<QList<QHostAddress>>>();
    std::future<QList<QHostAddress>> result = promise->get_future();
    std::thread([promise, host] {
        promise->set_value(QHostInfo::fromName(host).addresses());
    }).detach();
    const auto left = std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime()));
    if (result.wait_for(left) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

// Enough for the kernel to take a frame at once; more only when the server
// stopped reading, and then the connection is as good as lost anyway.
constexpr int kSendTimeoutMs = 1000;

// A burst longer than this many reads is left for the next call, so that a
// server streaming without pause cannot keep readAll() from returning.
constexpr int kMaxReadsPerCall = 64;

} // namespace

NetworkPort::NetworkPort() {
    QObject::connect(&m_socket, &QAbstractSocket::errorOccurred, &m_socket,
                     [this](QAbstractSocket::SocketError error) { onSocketProblem(error); });
    QObject::connect(&m_socket, &QAbstractSocket::disconnected, &m_socket,
                     [this] { onSocketProblem(QAbstractSocket::RemoteHostClosedError); });
}

NetworkPort::~NetworkPort() {
    // Disconnect first: aborting reports the disconnection, and this object
    // is already half destroyed.
    QObject::disconnect(&m_socket, nullptr, nullptr, nullptr);
    m_socket.abort();
}

void NetworkPort::setAddress(const QString& address) {
    m_address = address.trimmed();
}

bool NetworkPort::isOpen() const {
    return m_open && !m_lost && connected();
}

bool NetworkPort::connected() const {
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

bool NetworkPort::fail(PortError error) {
    error.portNumber = m_portNumber;
    error.device = m_address;
    m_error = std::move(error);
    return false;
}

PortError NetworkPort::lastError() const {
    return m_error;
}

bool NetworkPort::open() {
    resetSocket();

    NetworkAddress::Problem problem = NetworkAddress::Problem::None;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(m_address, &problem);
    if (!address)
        return fail({.kind = PortError::Kind::BadAddress, .addressProblem = problem});
    m_raw = address->mode == NetworkAddress::Mode::Raw;
    if (m_raw)
        return openRaw(*address);

    if (!connectTo(*address))
        return false;
    if (!negotiate()) {
        resetSocket();
        return false;
    }

    // The server's line keeps whatever the last client left; the transmitters
    // only answer at the chosen settings.
    switch (applySettings(m_settings)) {
    case RateAnswer::Acknowledged:
        break;
    case RateAnswer::Different:
        fail({.kind = PortError::Kind::OpenRateRefused, .settings = m_settings.text()});
        resetSocket();
        return false;
    case RateAnswer::Silent:
        fail({.kind = PortError::Kind::OpenRateNotConfirmed, .settings = m_settings.text()});
        resetSocket();
        return false;
    case RateAnswer::Lost:
        fail({.kind = PortError::Kind::ServerClosed});
        resetSocket();
        return false;
    }

    // Whatever the server held from before the connection was ours would
    // otherwise look like the first reply.
    send(telnet::comPortCommand(telnet::kPurgeData, QByteArray(1, char(telnet::kPurgeBoth))));
    return finishOpening();
}

bool NetworkPort::openRaw(const NetworkAddress& address) {
    const FixedRate rate = fixedRateOf(address, m_declaredBaud);
    const QString key = QStringLiteral("com%1.baud").arg(m_portNumber);
    switch (rate.problem) {
    case FixedRate::Problem::None:
        break;
    case FixedRate::Problem::BadSetting:
        return fail({.kind = PortError::Kind::BadRateSetting,
                     .setting = key,
                     .value = m_declaredBaud.trimmed()});
    case FixedRate::Problem::Conflict:
        return fail({.kind = PortError::Kind::RateConflict,
                     .baud = address.baud,
                     .setting = key,
                     .value = m_declaredBaud.trimmed()});
    }
    if (!connectTo(address))
        return false;
    // The line runs at the server's rate, whatever the caller set before.
    m_settings.baud = rate.baud;
    // Whatever the server passed on before the connection was ours would
    // otherwise look like the first reply.
    poll();
    return finishOpening();
}

bool NetworkPort::finishOpening() {
    m_received.clear();
    if (!connected()) {
        resetSocket();
        return fail({.kind = PortError::Kind::ServerClosed});
    }
    m_open = true;
    m_error = {};
    return true;
}

int NetworkPort::fixedBaud() const {
    return fixedBaudOf(m_address, m_declaredBaud);
}

bool NetworkPort::connectTo(const NetworkAddress& address) {
    const QDeadlineTimer deadline(qMax(m_connectTimeoutMs, 0));
    const std::optional<QList<QHostAddress>> hosts = lookUp(address.host, deadline);
    if (!hosts)
        return fail({.kind = PortError::Kind::LookupTimedOut,
                     .host = address.host,
                     .milliseconds = m_connectTimeoutMs});
    if (hosts->isEmpty())
        return fail({.kind = PortError::Kind::HostNotFound, .host = address.host});

    QString systemError;
    QAbstractSocket::SocketError lastError = QAbstractSocket::UnknownSocketError;
    for (const QHostAddress& host : *hosts) {
        if (deadline.hasExpired())
            break;
        m_socket.connectToHost(host, address.port);
        if (m_socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            // A frame is a few bytes; Nagle's algorithm would hold each one
            // back until the previous one is acknowledged.
            m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            return true;
        }
        lastError = m_socket.error();
        systemError = m_socket.errorString();
        m_socket.abort();
    }

    if (deadline.hasExpired() || lastError == QAbstractSocket::SocketTimeoutError)
        return fail({.kind = PortError::Kind::ConnectTimedOut, .milliseconds = m_connectTimeoutMs});
    if (lastError == QAbstractSocket::ConnectionRefusedError)
        return fail({.kind = PortError::Kind::ConnectRefused});
    return fail({.kind = PortError::Kind::ConnectFailed, .system = systemError});
}

bool NetworkPort::negotiate() {
    m_session = telnet::Session();
    send(m_session.start());
    const QDeadlineTimer deadline(qMax(m_answerTimeoutMs, 0));
    while (m_session.comPort() == telnet::Session::ComPort::Pending && connected() &&
           !deadline.hasExpired()) {
        if (m_socket.bytesAvailable() == 0)
            m_socket.waitForReadyRead(int(deadline.remainingTime()));
        takeIn();
    }
    switch (m_session.comPort()) {
    case telnet::Session::ComPort::Agreed:
        return true;
    case telnet::Session::ComPort::Refused:
        return fail({.kind = PortError::Kind::Rfc2217Refused});
    case telnet::Session::ComPort::Pending:
        break;
    }
    if (!connected())
        return fail({.kind = PortError::Kind::Rfc2217Closed});
    return fail({.kind = PortError::Kind::Rfc2217NoAgreement, .milliseconds = m_answerTimeoutMs});
}

NetworkPort::RateAnswer NetworkPort::applySettings(const LineSettings& settings) {
    m_session.forgetAcknowledgedBaud();
    send(telnet::lineSettingsCommands(settings.text()));
    const QDeadlineTimer deadline(qMax(m_answerTimeoutMs, 0));
    while (!m_session.acknowledgedBaud() && connected() && !deadline.hasExpired()) {
        if (m_socket.bytesAvailable() == 0)
            m_socket.waitForReadyRead(int(deadline.remainingTime()));
        takeIn();
    }
    if (const std::optional<quint32> baud = m_session.acknowledgedBaud())
        return *baud == quint32(settings.baud) ? RateAnswer::Acknowledged : RateAnswer::Different;
    return connected() ? RateAnswer::Silent : RateAnswer::Lost;
}

void NetworkPort::close() {
    resetSocket();
}

void NetworkPort::resetSocket() {
    // Not open first, so the disconnection that abort() reports is no loss.
    m_open = false;
    m_lost = false;
    m_socket.abort();
    m_received.clear();
}

bool NetworkPort::setSettings(const QString& settings) {
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        return false;
    if (const int fixed = fixedBaud(); fixed != 0 && parsed->baud != fixed)
        return fail({.kind = PortError::Kind::RateFixed, .baud = fixed, .otherBaud = parsed->baud});
    if (!isOpen() || m_raw) {
        m_settings = *parsed;
        return true;
    }

    switch (applySettings(*parsed)) {
    case RateAnswer::Acknowledged:
        m_settings = *parsed;
        return true;
    case RateAnswer::Different: {
        const quint32 set = *m_session.acknowledgedBaud();
        fail({.kind = PortError::Kind::RateRefused, .settings = parsed->text(), .baud = int(set)});
        // Back to the settings the caller still believes in force; a server
        // that will not even return to them leaves the line in no known state.
        if (applySettings(m_settings) != RateAnswer::Acknowledged)
            m_lost = true;
        break;
    }
    case RateAnswer::Silent:
        fail({.kind = PortError::Kind::RateNotConfirmed,
              .settings = parsed->text(),
              .milliseconds = m_answerTimeoutMs});
        // A server that no longer answers is as good as gone, and the tool
        // no longer knows the line's rate.
        m_lost = true;
        break;
    case RateAnswer::Lost:
        markLost();
        break;
    }
    closeIfLost();
    return false;
}

QString NetworkPort::settings() const {
    return m_settings.text();
}

void NetworkPort::discardInput() {
    if (!isOpen())
        return;
    poll();
    m_received.clear();
    if (!m_raw)
        send(
            telnet::comPortCommand(telnet::kPurgeData, QByteArray(1, char(telnet::kPurgeReceive))));
    closeIfLost();
}

void NetworkPort::write(const QByteArray& data) {
    if (!isOpen() || data.isEmpty())
        return;
    send(m_raw ? data : telnet::escape(data));
    closeIfLost();
}

QByteArray NetworkPort::readAll() {
    if (!isOpen())
        return QByteArray();
    poll();
    QByteArray data;
    data.swap(m_received);
    closeIfLost();
    return data;
}

bool NetworkPort::waitForInput(int msecs) {
    if (!isOpen())
        return false;
    takeIn();
    const QDeadlineTimer deadline(qMax(msecs, 0));
    while (m_received.isEmpty() && isOpen() && !deadline.hasExpired()) {
        if (!m_socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        takeIn();
    }
    const bool arrived = !m_received.isEmpty();
    closeIfLost();
    return arrived && isOpen();
}

void NetworkPort::setDeviceLostHandler(DeviceLostHandler handler) {
    m_deviceLost = std::move(handler);
}

void NetworkPort::send(const QByteArray& bytes) {
    if (bytes.isEmpty() || !connected())
        return;
    m_socket.write(bytes);
    // QTcpSocket only buffers; with no event loop running the bytes would
    // otherwise sit there while the exchange waits for the reply.
    const QDeadlineTimer deadline(kSendTimeoutMs);
    while (m_socket.bytesToWrite() > 0 && connected() && !deadline.hasExpired()) {
        if (!m_socket.waitForBytesWritten(int(deadline.remainingTime())))
            break;
    }
}

void NetworkPort::takeIn() {
    const QByteArray chunk = m_socket.readAll();
    if (chunk.isEmpty())
        return;
#ifdef Q_OS_LINUX
    // A server that leaves Nagle's algorithm on (ser2net's default) holds the
    // rest of a reply until its first bytes are acknowledged, and a delayed
    // acknowledgement costs tens of milliseconds an exchange. The kernel drops
    // this flag again after a while, so it is set after every read.
    const int quick = 1;
    ::setsockopt(int(m_socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
#endif
    if (m_raw) {
        m_received += chunk;
        return;
    }
    m_received += m_session.receive(chunk);
    send(m_session.takeReplies());
}

void NetworkPort::poll() {
    for (int i = 0; i < kMaxReadsPerCall && connected() && m_socket.waitForReadyRead(0); ++i) {
    }
    takeIn();
}

void NetworkPort::onSocketProblem(QAbstractSocket::SocketError error) {
    // A wait that ran out is no failure of the connection.
    if (error == QAbstractSocket::SocketTimeoutError)
        return;
    if (!m_open || m_lost)
        return;
    markLost();
    // When the loss is seen from the event loop rather than from one of this
    // class's calls, nothing else would close the port soon.
    QTimer::singleShot(0, &m_socket, [this] { closeIfLost(); });
}

void NetworkPort::markLost() {
    if (m_lost)
        return;
    m_lost = true;
    fail({.kind = PortError::Kind::ConnectionLost});
}

void NetworkPort::closeIfLost() {
    if (!m_lost)
        return;
    m_open = false;
    m_socket.abort();
    m_received.clear();
    m_lost = false;
    // Last, so the handler finds the port closed and may reopen it.
    if (m_deviceLost)
        m_deviceLost(m_address);
}
