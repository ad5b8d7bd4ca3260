#include "cli/paho_sink.h"

#include "cli/broker_certificate.h"
#include "cli/state_folder.h"

#include <MQTTAsync.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>

namespace {
constexpr int kQos = 1;
constexpr int kKeepAliveS = 30;
constexpr int kConnectTimeoutS = 10;
constexpr int kLongestBackoffS = 30;
// The broker being unreachable is told once a minute at most.
constexpr qint64 kUnreachableNoteMs = 60'000;

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// What a refused connection's return code means; none for a refusal that
// may pass (the broker not yet ready).
std::optional<QString> refusalOf(int code) {
    switch (code) {
    case 1:
        return QStringLiteral("it does not speak MQTT 3.1.1");
    case 2:
        return QStringLiteral("it rejects the client id");
    case 4:
        return QStringLiteral("bad user name or password");
    case 5:
        return QStringLiteral("not authorised");
    default:
        return std::nullopt;
    }
}

qint64 monotonicMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}
} // namespace

struct PahoSink::Callbacks {
    static void connected(void* context, char*) {
        auto* sink = static_cast<PahoSink*>(context);
        {
            std::lock_guard lock(sink->m_mutex);
            sink->m_everConnected = true;
            sink->m_backoffS = 1;
            // Told once, and again only after its loss was told.
            if (!sink->m_toldConnected)
                sink->m_notes.append(QStringLiteral("connected to the broker %1")
                                         .arg(QString::fromUtf8(sink->m_uri)));
            sink->m_toldConnected = true;
        }
        sink->m_connected = true;
        sink->sendRetained();
        MQTTAsync_subscribe(sink->m_client, sink->m_willTopic.constData(), kQos, nullptr);
    }

    static void connectionLost(void* context, char* cause) {
        auto* sink = static_cast<PahoSink*>(context);
        sink->m_connected = false;
        const QString why = cause ? QString::fromUtf8(cause) : QString();
        sink->note(QStringLiteral("lost the broker%1; readings are queued while it reconnects")
                       .arg(why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why)));
    }

    // Its own status topic: a broker that restores a session after a restart
    // may publish the will of the connection before, after this one's
    // status; an offline status while connected is put right at once.
    static int messageArrived(void* context, char* topic, int, MQTTAsync_message* message) {
        auto* sink = static_cast<PahoSink*>(context);
        const QJsonObject status =
            QJsonDocument::fromJson(
                QByteArray(static_cast<const char*>(message->payload), message->payloadlen))
                .object();
        MQTTAsync_freeMessage(&message);
        MQTTAsync_free(topic);
        if (status.value(QStringLiteral("state")) != QLatin1String("offline") || !sink->m_connected)
            return 1;
        std::lock_guard lock(sink->m_mutex);
        if (!sink->m_closing)
            sink->send(statusTopic(sink->m_prefix), sink->statusPayload(false), true, false);
        return 1;
    }

    static void connectFailed(void* context, MQTTAsync_failureData* data) {
        auto* sink = static_cast<PahoSink*>(context);
        const int code = data ? data->code : MQTTASYNC_FAILURE;
        const QString message =
            data && data->message ? QString::fromUtf8(data->message) : QString();
        std::unique_lock lock(sink->m_mutex);
        const std::optional<QString> refused = refusalOf(code);
        if (refused || !sink->m_tlsError.isEmpty()) {
            sink->m_refusal =
                refused ? QStringLiteral("the broker refused the connection: %1").arg(*refused)
                        : QStringLiteral("TLS: %1").arg(sink->m_tlsError);
            return;
        }
        lock.unlock();
        sink->note(QStringLiteral("cannot reach the broker %1%2; readings are queued while it "
                                  "retries")
                       .arg(QString::fromUtf8(sink->m_uri),
                            message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(message)));
        lock.lock();
        if (!sink->m_everConnected) {
            sink->m_retryDue = true;
            sink->m_wake.notify_all();
        }
    }

    static void readingAcknowledged(void* context, MQTTAsync_successData* data) {
        auto* sink = static_cast<PahoSink*>(context);
        if (sink->m_acknowledgements.on() && data)
            sink->m_acknowledgements.acknowledged(
                data->alt.pub.destinationName,
                QByteArray(static_cast<const char*>(data->alt.pub.message.payload),
                           data->alt.pub.message.payloadlen));
        --sink->m_queued;
    }

    static void readingFailed(void* context, MQTTAsync_failureData*) {
        auto* sink = static_cast<PahoSink*>(context);
        --sink->m_queued;
        ++sink->m_dropped;
    }

    static int tlsError(const char* text, size_t length, void* context) {
        auto* sink = static_cast<PahoSink*>(context);
        std::lock_guard lock(sink->m_mutex);
        if (sink->m_tlsError.isEmpty())
            sink->m_tlsError = QString::fromUtf8(text, qsizetype(length)).trimmed();
        return 0;
    }
};

PahoSink::PahoSink(BrokerSettings settings, QString prefix, MonitorStatus status)
    : m_settings(std::move(settings))
    , m_prefix(std::move(prefix))
    , m_status(std::move(status))
    , m_uri(m_settings.address.libraryUri().toUtf8())
    , m_clientId(m_settings.clientId.toUtf8())
    , m_username(m_settings.username.value_or(QString()).toUtf8())
    , m_password(m_settings.password.value_or(QString()).toUtf8())
    , m_caFile(m_settings.caFile.toUtf8())
    , m_stateDir(m_settings.stateDir.toUtf8())
    , m_willTopic(statusTopic(m_prefix).toUtf8())
    , m_willPayload(compact(willStatus()))
    , m_acknowledgements(m_settings.acknowledgementLog) {}

PahoSink::~PahoSink() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_all();
    if (m_retrier.joinable())
        m_retrier.join();
    if (m_client) {
        MQTTAsync client = m_client;
        MQTTAsync_destroy(&client);
    }
}

int PahoSink::create() {
    MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
    create.struct_version = 2;
    create.sendWhileDisconnected = 1;
    create.allowDisconnectedSendAtAnyTime = 1;
    create.maxBufferedMessages = m_settings.queue;
    create.deleteOldestMessages = 0;
    create.restoreMessages = 1;
    create.MQTTVersion = MQTTVERSION_3_1_1;
    MQTTAsync client = nullptr;
    const bool kept = !m_stateDir.isEmpty();
    const int rc = MQTTAsync_createWithOptions(
        &client, m_uri.constData(), m_clientId.constData(),
        kept ? MQTTCLIENT_PERSISTENCE_DEFAULT : MQTTCLIENT_PERSISTENCE_NONE,
        kept ? const_cast<char*>(m_stateDir.constData()) : nullptr, &create);
    if (rc == MQTTASYNC_SUCCESS)
        m_client = client;
    return rc;
}

void PahoSink::start() {
    int rc = create();
    // A power cut can leave a kept reading half written: the readings kept
    // are set aside, never a reason not to start.
    if (rc == MQTTASYNC_PERSISTENCE_ERROR && !m_stateDir.isEmpty()) {
        const QString aside = moveClientStateAside(m_settings.stateDir, m_settings.clientId);
        std::lock_guard lock(m_mutex);
        m_notes.append(
            QStringLiteral("the readings kept in %1 cannot be read back; they were moved to %2")
                .arg(m_settings.stateDir, aside));
    }
    if (rc == MQTTASYNC_PERSISTENCE_ERROR && !m_stateDir.isEmpty())
        rc = create();
    if (rc != MQTTASYNC_SUCCESS) {
        std::lock_guard lock(m_mutex);
        m_refusal = QStringLiteral("the MQTT client cannot be made for %1 (code %2)")
                        .arg(QString::fromUtf8(m_uri))
                        .arg(rc);
        return;
    }
    MQTTAsync client = m_client;
    MQTTAsync_setCallbacks(client, this, &Callbacks::connectionLost, &Callbacks::messageArrived,
                           nullptr);
    MQTTAsync_setConnected(client, this, &Callbacks::connected);
    m_retrier = std::thread([this] { retryFirstConnection(); });
    connect();
}

void PahoSink::connect() {
    MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
    will.topicName = m_willTopic.constData();
    will.message = m_willPayload.constData();
    will.qos = kQos;
    will.retained = 1;
    MQTTAsync_SSLOptions tls = MQTTAsync_SSLOptions_initializer;
    tls.enableServerCertAuth = 1;
    tls.verify = 1; // the host name checked against the certificate
    tls.trustStore = m_caFile.isEmpty() ? nullptr : m_caFile.constData();
    tls.ssl_error_cb = &Callbacks::tlsError;
    tls.ssl_error_context = this;
    MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
    options.keepAliveInterval = kKeepAliveS;
    options.cleansession = 0;
    options.automaticReconnect = 1;
    options.minRetryInterval = 1;
    options.maxRetryInterval = kLongestBackoffS;
    options.connectTimeout = kConnectTimeoutS;
    options.MQTTVersion = MQTTVERSION_3_1_1;
    options.will = &will;
    if (m_settings.username)
        options.username = m_username.constData();
    if (m_settings.password)
        options.password = m_password.constData();
    if (m_settings.address.tls)
        options.ssl = &tls;
    options.onFailure = &Callbacks::connectFailed;
    options.context = this;
    {
        std::lock_guard lock(m_mutex);
        m_tlsError.clear();
    }
    const int rc = MQTTAsync_connect(m_client, &options);
    if (rc != MQTTASYNC_SUCCESS) {
        std::lock_guard lock(m_mutex);
        m_refusal = QStringLiteral("the MQTT client cannot connect to %1 (code %2)")
                        .arg(QString::fromUtf8(m_uri))
                        .arg(rc);
    }
}

// Until the first connection the client does not reconnect by itself: the
// same back-off, 1 s doubling to 30 s, kept here.
void PahoSink::retryFirstConnection() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_closing || m_retryDue; });
        if (m_closing)
            return;
        m_retryDue = false;
        if (m_settings.address.tls && !m_everConnected && !m_refusal) {
            lock.unlock();
            const std::optional<QString> problem = brokerCertificateProblem(
                m_settings.address, m_settings.caFile, kConnectTimeoutS * 1000);
            lock.lock();
            if (problem) {
                m_refusal = QStringLiteral("TLS: %1").arg(*problem);
                continue;
            }
        }
        const int waitS = m_backoffS;
        m_backoffS = std::min(m_backoffS * 2, kLongestBackoffS);
        if (m_wake.wait_for(lock, std::chrono::seconds(waitS), [this] { return m_closing; }))
            return;
        if (m_everConnected || m_refusal)
            continue;
        lock.unlock();
        connect();
        lock.lock();
    }
}

int PahoSink::send(const QString& topic, const QByteArray& payload, bool retain, bool reading,
                   int* token) {
    MQTTAsync_message message = MQTTAsync_message_initializer;
    message.payload = const_cast<char*>(payload.constData());
    message.payloadlen = int(payload.size());
    message.qos = kQos;
    message.retained = retain ? 1 : 0;
    MQTTAsync_responseOptions response = MQTTAsync_responseOptions_initializer;
    if (reading) {
        response.onSuccess = &Callbacks::readingAcknowledged;
        response.onFailure = &Callbacks::readingFailed;
        response.context = this;
        ++m_queued;
    }
    const QByteArray topicBytes = topic.toUtf8();
    if (reading)
        m_acknowledgements.handed(topicBytes.constData(), payload);
    const int rc = MQTTAsync_sendMessage(m_client, topicBytes.constData(), &message, &response);
    if (reading && rc != MQTTASYNC_SUCCESS) {
        --m_queued;
        ++m_dropped;
    }
    if (token)
        *token = response.token;
    return rc;
}

// Retained topics are not queued: their last values go out at every
// connection, the status first.
void PahoSink::sendRetained() {
    std::lock_guard lock(m_mutex);
    send(statusTopic(m_prefix), statusPayload(false), true, false);
    for (const auto& [topic, payload] : m_retained)
        send(topic, payload, true, false);
}

void PahoSink::publish(const MonitorMessage& message) {
    if (!m_client)
        return;
    const QByteArray payload = message.removes ? QByteArray() : compact(message.payload);
    if (!message.retain) {
        send(message.topic, payload, false, true);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_retained[message.topic] = payload;
    if (m_connected)
        send(message.topic, payload, true, false);
}

void PahoSink::publishStatus() {
    if (!m_client || !m_connected)
        return;
    std::lock_guard lock(m_mutex);
    send(statusTopic(m_prefix), statusPayload(false), true, false);
}

void PahoSink::setTransmitters(const QStringList& addresses) {
    std::lock_guard lock(m_mutex);
    m_status.transmitters = addresses;
}

QByteArray PahoSink::statusPayload(bool stopped) const {
    MonitorStatus status = m_status;
    status.queued = m_queued;
    status.dropped = m_dropped;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return compact(stopped ? stoppedStatus(status, now) : onlineStatus(status, now));
}

std::optional<QString> PahoSink::refusal() const {
    std::lock_guard lock(m_mutex);
    return m_refusal;
}

QStringList PahoSink::takeNotes() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_notes, {});
}

void PahoSink::note(const QString& what) {
    std::lock_guard lock(m_mutex);
    const qint64 now = monotonicMs();
    if (m_lastUnreachableNote && now - *m_lastUnreachableNote < kUnreachableNoteMs)
        return;
    m_lastUnreachableNote = now;
    m_notes.append(what);
    m_toldConnected = false;
}

void PahoSink::finish(int waitMs) {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_all();
    if (!m_client)
        return;
    QElapsedTimer waited;
    waited.start();
    int token = 0;
    {
        std::lock_guard lock(m_mutex);
        send(statusTopic(m_prefix), statusPayload(true), true, false, &token);
    }
    while (m_queued > 0 && waited.elapsed() < waitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (m_connected) {
        const qint64 left = std::max<qint64>(0, waitMs - waited.elapsed());
        MQTTAsync_waitForCompletion(m_client, token, static_cast<unsigned long>(left));
    }
    MQTTAsync_disconnectOptions disconnect = MQTTAsync_disconnectOptions_initializer;
    disconnect.timeout = 1000;
    MQTTAsync_disconnect(m_client, &disconnect);
    // The disconnect is asynchronous too: it is given its time.
    for (int i = 0; i < 100 && MQTTAsync_isConnected(m_client); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}
