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

bool NetworkPort::fail(ErrorKind kind, const QString& chinese, const QString& english) {
    m_errorKind = kind;
    m_errorString = chinese;
    m_englishError = english;
    return false;
}

bool NetworkPort::open() {
    resetSocket();

    NetworkAddress::Problem problem = NetworkAddress::Problem::None;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(m_address, &problem);
    if (!address)
        return fail(ErrorKind::BadAddress,
                    QStringLiteral("无法打开网络串口 %1：%2。")
                        .arg(m_address, NetworkAddress::describe(problem)),
                    QStringLiteral("cannot open %1: %2")
                        .arg(m_address, NetworkAddress::describeInEnglish(problem)));
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
        fail(ErrorKind::RateRefused,
             QStringLiteral("无法打开网络串口 %1：设备服务器不接受线路设置 %2。")
                 .arg(m_address, m_settings.text()),
             QStringLiteral("cannot open %1: the device server refused the line settings %2")
                 .arg(m_address, m_settings.text()));
        resetSocket();
        return false;
    case RateAnswer::Silent:
        fail(ErrorKind::RateNotAcknowledged,
             QStringLiteral("无法打开网络串口 %1：设备服务器没有接受线路设置 %2。")
                 .arg(m_address, m_settings.text()),
             QStringLiteral("cannot open %1: the device server did not acknowledge the line "
                            "settings %2")
                 .arg(m_address, m_settings.text()));
        resetSocket();
        return false;
    case RateAnswer::Lost:
        fail(ErrorKind::ConnectionLost,
             QStringLiteral("无法打开网络串口 %1：设备服务器断开了连接。").arg(m_address),
             QStringLiteral("cannot open %1: the device server closed the connection")
                 .arg(m_address));
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
        return fail(
            ErrorKind::BadRateSetting,
            QStringLiteral("无法打开网络串口 %1：设置 %2=%3 不是 1200、2400、4800 或 9600。")
                .arg(m_address, key, m_declaredBaud.trimmed()),
            QStringLiteral("cannot open %1: the setting %2=%3 is not 1200, 2400, 4800 or "
                           "9600")
                .arg(m_address, key, m_declaredBaud.trimmed()));
    case FixedRate::Problem::Conflict:
        return fail(ErrorKind::BadRateSetting,
                    QStringLiteral("无法打开网络串口 %1：地址中的波特率 %2 与设置 %3=%4 不一致。")
                        .arg(m_address)
                        .arg(address.baud)
                        .arg(key, m_declaredBaud.trimmed()),
                    QStringLiteral("cannot open %1: the rate %2 in the address and the setting "
                                   "%3=%4 disagree")
                        .arg(m_address)
                        .arg(address.baud)
                        .arg(key, m_declaredBaud.trimmed()));
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
        return fail(ErrorKind::ConnectionLost,
                    QStringLiteral("无法打开网络串口 %1：设备服务器断开了连接。").arg(m_address),
                    QStringLiteral("cannot open %1: the device server closed the connection")
                        .arg(m_address));
    }
    m_open = true;
    m_errorKind = ErrorKind::None;
    m_errorString.clear();
    m_englishError.clear();
    return true;
}

int NetworkPort::fixedBaud() const {
    return fixedBaudOf(m_address, m_declaredBaud);
}

bool NetworkPort::connectTo(const NetworkAddress& address) {
    const QDeadlineTimer deadline(qMax(m_connectTimeoutMs, 0));
    const std::optional<QList<QHostAddress>> hosts = lookUp(address.host, deadline);
    if (!hosts)
        return fail(ErrorKind::ConnectTimedOut,
                    QStringLiteral("无法打开网络串口 %1：%2 毫秒内查不到主机 %3。")
                        .arg(m_address)
                        .arg(m_connectTimeoutMs)
                        .arg(address.host),
                    QStringLiteral("cannot open %1: no answer for host %2 within %3 ms")
                        .arg(m_address, address.host)
                        .arg(m_connectTimeoutMs));
    if (hosts->isEmpty())
        return fail(
            ErrorKind::HostNotFound,
            QStringLiteral("无法打开网络串口 %1：找不到主机 %2。").arg(m_address, address.host),
            QStringLiteral("cannot open %1: host %2 not found").arg(m_address, address.host));

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
        return fail(ErrorKind::ConnectTimedOut,
                    QStringLiteral("无法打开网络串口 %1：%2 毫秒内没有应答。")
                        .arg(m_address)
                        .arg(m_connectTimeoutMs),
                    QStringLiteral("cannot open %1: no answer within %2 ms")
                        .arg(m_address)
                        .arg(m_connectTimeoutMs));
    if (lastError == QAbstractSocket::ConnectionRefusedError)
        return fail(ErrorKind::ConnectFailed,
                    QStringLiteral("无法打开网络串口 %1：连接被拒绝（设备服务器没有运行？）。")
                        .arg(m_address),
                    QStringLiteral("cannot open %1: connection refused (is the device server "
                                   "running?)")
                        .arg(m_address));
    return fail(ErrorKind::ConnectFailed,
                QStringLiteral("无法打开网络串口 %1：%2").arg(m_address, systemError),
                QStringLiteral("cannot open %1: %2").arg(m_address, systemError));
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
        return fail(ErrorKind::NotRfc2217,
                    QStringLiteral("无法打开网络串口 %1：设备服务器不支持 RFC 2217"
                                   "（拒绝了串口控制选项）。")
                        .arg(m_address),
                    QStringLiteral("cannot open %1: the device server does not speak RFC 2217 "
                                   "(it refused the Com Port Control option)")
                        .arg(m_address));
    case telnet::Session::ComPort::Pending:
        break;
    }
    if (!connected())
        return fail(ErrorKind::NotRfc2217,
                    QStringLiteral("无法打开网络串口 %1：设备服务器不支持 RFC 2217"
                                   "（没有应答就断开了连接）。")
                        .arg(m_address),
                    QStringLiteral("cannot open %1: the device server does not speak RFC 2217 "
                                   "(it closed the connection without agreeing)")
                        .arg(m_address));
    return fail(ErrorKind::NotRfc2217,
                QStringLiteral("无法打开网络串口 %1：设备服务器不支持 RFC 2217"
                               "（%2 毫秒内没有同意串口控制选项）。")
                    .arg(m_address)
                    .arg(m_answerTimeoutMs),
                QStringLiteral("cannot open %1: the device server does not speak RFC 2217 "
                               "(no agreement to the Com Port Control option within %2 ms)")
                    .arg(m_address)
                    .arg(m_answerTimeoutMs));
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

QString NetworkPort::errorString() const {
    return m_errorString;
}

bool NetworkPort::setSettings(const QString& settings) {
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        return false;
    if (const int fixed = fixedBaud(); fixed != 0 && parsed->baud != fixed)
        return fail(ErrorKind::RateFixed,
                    QStringLiteral("网络串口 %1 的波特率固定为 %2，不能改为 %3。")
                        .arg(m_address)
                        .arg(fixed)
                        .arg(parsed->baud),
                    QStringLiteral("the baud rate of %1 is fixed at %2; it cannot be changed to %3")
                        .arg(m_address)
                        .arg(fixed)
                        .arg(parsed->baud));
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
        fail(ErrorKind::RateRefused,
             QStringLiteral("网络串口 %1 不支持线路设置 %2（设备服务器设为 %3 波特）。")
                 .arg(m_address, parsed->text())
                 .arg(set),
             QStringLiteral("%1 refused the line settings %2 (the device server set %3 baud)")
                 .arg(m_address, parsed->text())
                 .arg(set));
        // Back to the settings the caller still believes in force; a server
        // that will not even return to them leaves the line in no known state.
        if (applySettings(m_settings) != RateAnswer::Acknowledged)
            m_lost = true;
        break;
    }
    case RateAnswer::Silent:
        fail(ErrorKind::RateNotAcknowledged,
             QStringLiteral("网络串口 %1 没有确认线路设置 %2，已关闭。请检查设备服务器。")
                 .arg(m_address, parsed->text()),
             QStringLiteral("%1 did not acknowledge the line settings %2 within %3 ms; the port "
                            "was closed")
                 .arg(m_address, parsed->text())
                 .arg(m_answerTimeoutMs));
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
    fail(ErrorKind::ConnectionLost,
         QStringLiteral("网络串口 %1 已断开：与设备服务器的连接中断。请检查网络后重新选择串口。")
             .arg(m_address),
         QStringLiteral("%1 was lost: the connection to the device server broke").arg(m_address));
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
