#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>

// A real MQTT broker for end-to-end tests of the monitor: mosquitto in the
// foreground on a loopback port, with a configuration, a persistence store
// and a log in a private temporary folder; the certificates its TLS listener
// shows; and a subscriber that records what reaches a consumer.

// mosquitto's program, or empty when it is not installed (it lives in sbin,
// which an ordinary user's PATH may leave out).
QString mosquittoPath();

// A certificate authority with two server certificates it signed, one for
// IP 127.0.0.1 and one for DNS elsewhere.example only, and a second authority
// that signed neither; made with the openssl command line (EC P-256 keys,
// valid for two days).
class TestCertificates {
public:
    bool make();
    QString errorString() const { return m_error; }

    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.crt")); }
    QString otherCaFile() const { return m_dir.filePath(QStringLiteral("other-ca.crt")); }
    QString serverCertFile() const { return m_dir.filePath(QStringLiteral("server.crt")); }
    QString serverKeyFile() const { return m_dir.filePath(QStringLiteral("server.key")); }
    QString elsewhereCertFile() const { return m_dir.filePath(QStringLiteral("elsewhere.crt")); }
    QString elsewhereKeyFile() const { return m_dir.filePath(QStringLiteral("elsewhere.key")); }

private:
    bool makeAuthority(const QString& name, const QString& commonName);
    bool makeServer(const QString& name, const QString& subjectAltName);
    bool openssl(const QStringList& args);

    QTemporaryDir m_dir;
    // Each certificate of the authority has a serial number of its own.
    int m_serial = 1;
    QString m_error;
};

struct BrokerTls {
    QString caFile;
    QString certFile;
    QString keyFile;
};

class MosquittoBroker {
public:
    // Generous: the machine is shared, and only a hang should fail a test.
    static constexpr int kPatienceMs = 10000;

    // port 0 takes a free loopback port; it stays the same across restarts.
    explicit MosquittoBroker(quint16 port = 0);
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Before start: a user of its password file (mosquitto_passwd); once
    // there is one, anonymous clients are refused.
    bool addUser(const QString& user, const QString& password);
    // Before start: the listener speaks TLS only, showing certFile.
    void setTls(const BrokerTls& tls) { m_tls = tls; }
    const BrokerTls& tls() const { return m_tls; }

    // Starts it and waits until its port accepts connections; false with
    // errorString() saying why. After a stop it comes back on the same port
    // with the same store.
    bool start();
    // SIGTERM, so it saves its store, then waits for it to end.
    void stop();
    QString errorString() const { return m_error; }

    quint16 port() const { return m_port; }
    // "mqtt://127.0.0.1:PORT", or mqtts:// with TLS.
    QString url() const;
    // The end of its log, for a failed check's message.
    QString logTail(int lines = 40) const;

private:
    bool writeConfig();

    quint16 m_port;
    BrokerTls m_tls;
    bool m_passwords = false;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
};

struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retained = false;

    // The payload as a JSON object; empty when it is none.
    QJsonObject json() const;
};

using MqttMessages = QList<MqttMessage>;

// mosquitto_sub on PREFIX/# at QoS 1 with a persistent session under a fixed
// client id, so what is published while it is away (a broker restart) still
// reaches it; it reconnects by itself. Its options file (credentials) lives
// in a folder of its own, never on a command line.
class MqttSubscriber {
public:
    MqttSubscriber(const MosquittoBroker& broker, const QString& prefix, const QString& clientId);
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    // Before start.
    void setCredentials(const QString& user, const QString& password);

    // Starts it and waits until a probe published on PREFIX/probe comes back,
    // so nothing published after it is missed; false with errorString().
    bool start();
    void stop();
    QString errorString() const { return m_error; }

    // Everything received so far, oldest first.
    const MqttMessages& messages();
    // Waits until condition holds for what has been received; false on
    // time-out.
    bool waitUntil(const std::function<bool(const MqttMessages&)>& condition, int msecs);
    // The first message that matches, waiting for it up to msecs.
    std::optional<MqttMessage> waitFor(const std::function<bool(const MqttMessage&)>& match,
                                       int msecs);

    // What a consumer arriving now is handed for topic: its retained message,
    // read by a separate client without a session.
    std::optional<MqttMessage> retained(const QString& topic);

    // Its complaints and the broker's log, for a failed check's message.
    QString diagnostics();

private:
    QStringList connectionArgs() const;
    // A mosquitto client run to its end with the subscriber's options; its
    // exit code, -1 when it did not run.
    int runClient(const QString& name, const QStringList& args, QByteArray* out);
    void readWaiting();

    const MosquittoBroker& m_broker;
    QString m_prefix;
    QString m_clientId;
    QTemporaryDir m_home;
    QProcess m_process;
    QByteArray m_partial;
    MqttMessages m_messages;
    QString m_error;
};
