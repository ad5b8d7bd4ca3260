#include "support/fake_device_server.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
QByteArray subnegotiation(uchar code, const QByteArray& value) {
    return telnet::comPortCommand(code, value);
}
} // namespace

FakeDeviceServer::FakeDeviceServer(Behaviour behaviour)
    : m_behaviour(behaviour) {
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_server = new QTcpServer(m_context);
            QObject::connect(m_server, &QTcpServer::newConnection, m_context,
                             [this] { onNewConnection(); });
            if (m_server->listen(QHostAddress::LocalHost, 0))
                m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
    if (m_port == 0)
        qFatal("the fake device server could not listen on loopback");
}

FakeDeviceServer::~FakeDeviceServer() {
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_context; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QString FakeDeviceServer::address() const {
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port);
}

void FakeDeviceServer::setBehaviour(Behaviour behaviour) {
    QMutexLocker lock(&m_mutex);
    m_behaviour = behaviour;
}

void FakeDeviceServer::answer(const QByteArray& request, const QByteArray& raw, bool thenClose) {
    QMutexLocker lock(&m_mutex);
    m_answers.append({request, raw, thenClose});
}

void FakeDeviceServer::sendRaw(const QByteArray& raw) {
    QMetaObject::invokeMethod(
        m_context,
        [this, raw] {
            if (m_client)
                m_client->write(raw);
        },
        Qt::BlockingQueuedConnection);
}

void FakeDeviceServer::dropClient() {
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            if (m_client)
                m_client->close();
        },
        Qt::BlockingQueuedConnection);
}

QByteArray FakeDeviceServer::data() const {
    QMutexLocker lock(&m_mutex);
    return m_data;
}

QList<telnet::Command> FakeDeviceServer::commands() const {
    QMutexLocker lock(&m_mutex);
    return m_commands;
}

QList<quint32> FakeDeviceServer::rates() const {
    QMutexLocker lock(&m_mutex);
    return m_rates;
}

int FakeDeviceServer::connections() const {
    QMutexLocker lock(&m_mutex);
    return m_connections;
}

int FakeDeviceServer::disconnections() const {
    QMutexLocker lock(&m_mutex);
    return m_disconnections;
}

bool FakeDeviceServer::waitUntil(const std::function<bool()>& check, int msecs) const {
    const QDeadlineTimer deadline(msecs);
    while (!check() && !deadline.hasExpired())
        QThread::msleep(2);
    return check();
}

void FakeDeviceServer::onNewConnection() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (m_client)
            m_client->close();
        m_client = socket;
        m_decoder.reset();
        {
            QMutexLocker lock(&m_mutex);
            ++m_connections;
            m_unanswered.clear();
        }
        QObject::connect(socket, &QTcpSocket::readyRead, m_context, [this, socket] {
            if (socket == m_client)
                onReadyRead();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, m_context, [this, socket] {
            {
                QMutexLocker lock(&m_mutex);
                ++m_disconnections;
            }
            if (socket == m_client)
                m_client = nullptr;
            socket->deleteLater();
        });
    }
}

void FakeDeviceServer::onReadyRead() {
    QByteArray data;
    QList<telnet::Command> commands;
    bool raw;
    {
        QMutexLocker lock(&m_mutex);
        raw = m_behaviour == Behaviour::Raw;
    }
    if (raw)
        data = m_client->readAll();
    else
        m_decoder.feed(m_client->readAll(), data, commands);
    for (const telnet::Command& command : commands)
        onCommand(command);

    QList<Answer> due;
    {
        QMutexLocker lock(&m_mutex);
        m_data += data;
        m_unanswered += data;
        for (const Answer& answer : m_answers) {
            if (!answer.request.isEmpty() && m_unanswered.endsWith(answer.request)) {
                due.append(answer);
                m_unanswered.clear();
                break;
            }
        }
    }
    for (const Answer& answer : due) {
        m_client->write(answer.raw);
        if (answer.thenClose) {
            m_client->close();
            return;
        }
    }
}

void FakeDeviceServer::onCommand(const telnet::Command& command) {
    Behaviour behaviour;
    {
        QMutexLocker lock(&m_mutex);
        m_commands.append(command);
        behaviour = m_behaviour;
    }
    if (!m_client)
        return;
    if (command.verb == telnet::kWill && command.option == telnet::kOptionComPort) {
        if (behaviour == Behaviour::RefusesOption) {
            m_client->write(telnet::negotiation(telnet::kDont, telnet::kOptionComPort));
        } else if (behaviour != Behaviour::NeverAgrees) {
            // Agreement, then a notice of the modem lines, as ser2net sends.
            m_client->write(telnet::negotiation(telnet::kDo, telnet::kOptionComPort) +
                            subnegotiation(107, QByteArray(1, '\0')));
        }
        return;
    }
    if (command.verb != telnet::kSb || command.option != telnet::kOptionComPort ||
        command.parameters.isEmpty())
        return;
    const uchar code = uchar(command.parameters[0]);
    const QByteArray value = command.parameters.mid(1);
    if (code == telnet::kSetBaudRate && value.size() == 4) {
        quint32 rate = 0;
        for (char c : value)
            rate = rate << 8 | uchar(c);
        {
            QMutexLocker lock(&m_mutex);
            m_rates.append(rate);
        }
        if (behaviour == Behaviour::NeverAcknowledgesRate)
            return;
        if (behaviour == Behaviour::HalvesRate)
            rate /= 2;
        else if (behaviour == Behaviour::FixedAt9600)
            rate = 9600;
        QByteArray set;
        for (int shift : {24, 16, 8, 0})
            set += char(rate >> shift);
        m_client->write(subnegotiation(telnet::kSetBaudRate + telnet::kServerReply, set));
    } else if (code >= telnet::kSetDataSize && code <= telnet::kPurgeData) {
        m_client->write(subnegotiation(code + telnet::kServerReply, value));
    }
}
