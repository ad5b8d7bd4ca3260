#pragma once

#include "cli/acknowledgement_log.h"
#include "cli/broker_address.h"
#include "cli/message_sink.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

// How to reach the broker and who to be there.
struct BrokerSettings {
    BrokerAddress address;
    QString clientId;
    std::optional<QString> username;
    std::optional<QString> password;
    QString caFile; // empty: the system's trusted authorities
    int queue = 10000;
    // Where unacknowledged readings are kept across restarts; empty: memory.
    QString stateDir;
    // A file for the acknowledgement times of readings; empty: none.
    QString acknowledgementLog;
};

// The messages, published at QoS 1 to an MQTT 3.1.1 broker through Eclipse
// Paho's asynchronous C client, whose threads do the network work. A
// persistent session under a stable client id, so a message in flight when
// the broker went away is sent again; the last will on the status topic;
// automatic reconnection from 1 s doubling to 30 s, the first connection
// included. Readings wait in the client's bounded buffer while the broker is
// away; a reading that finds it full is dropped (the newest go, the queue
// keeps the oldest) and counted.
class PahoSink final : public MessageSink {
public:
    PahoSink(BrokerSettings settings, QString prefix, MonitorStatus status);
    ~PahoSink() override;
    PahoSink(const PahoSink&) = delete;
    PahoSink& operator=(const PahoSink&) = delete;

    void start() override;
    void publish(const MonitorMessage& message) override;
    void publishStatus() override;
    void setTransmitters(const QStringList& addresses) override;
    long long queued() const override { return m_queued; }
    long long dropped() const override { return m_dropped; }
    std::optional<QString> refusal() const override;
    QStringList takeNotes() override;
    void finish(int waitMs) override;

private:
    // The client's callbacks, on its threads.
    struct Callbacks;
    friend struct Callbacks;

    // Makes the client; its return code.
    int create();
    void connect();
    void retryFirstConnection();
    // Hands one message to the client; its return code.
    int send(const QString& topic, const QByteArray& payload, bool retain, bool reading,
             int* token = nullptr);
    void sendRetained();
    QByteArray statusPayload(bool stopped) const;
    void note(const QString& what);

    BrokerSettings m_settings;
    QString m_prefix;
    MonitorStatus m_status;
    // The strings the client is given live as long as it does.
    QByteArray m_uri;
    QByteArray m_clientId;
    QByteArray m_username;
    QByteArray m_password;
    QByteArray m_caFile;
    QByteArray m_stateDir;
    QByteArray m_willTopic;
    QByteArray m_willPayload;
    void* m_client = nullptr;
    AcknowledgementLog m_acknowledgements;

    mutable std::mutex m_mutex;
    std::map<QString, QByteArray> m_retained;
    std::optional<QString> m_refusal;
    QString m_tlsError;
    QStringList m_notes;
    std::optional<qint64> m_lastUnreachableNote;
    bool m_toldConnected = false;
    std::atomic<bool> m_connected{false};
    std::atomic<long long> m_queued{0};
    std::atomic<long long> m_dropped{0};

    // Until the first connection, the client does not retry by itself.
    std::thread m_retrier;
    std::condition_variable m_wake;
    bool m_retryDue = false;
    bool m_everConnected = false;
    bool m_closing = false;
    int m_backoffS = 1;
};
