#pragma once

#include "link/telnet_codec.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

#include <functional>

class QTcpServer;
class QTcpSocket;

// A device server for the network port's tests: a QTcpServer on loopback in
// a thread of its own with its own event loop, since the port under test
// blocks the test's thread in its waits. It speaks Telnet with Com Port
// Control as the behaviour says, records what the client sent, and answers
// scripted requests with raw bytes (Telnet commands and doubled 0xFF
// included, exactly as given). One client at a time; a new one replaces the
// old.
class FakeDeviceServer {
public:
    enum class Behaviour {
        Rfc2217,               // agrees and acknowledges every rate
        RefusesOption,         // DONT COM-PORT-OPTION
        NeverAgrees,           // says nothing to the option request
        NeverAcknowledgesRate, // agrees, then ignores SET-BAUDRATE
        HalvesRate,            // acknowledges half the rate asked for
        FixedAt9600,           // acknowledges 9600 whatever is asked for
        Raw,                   // no Telnet: every byte is data, both ways
    };

    explicit FakeDeviceServer(Behaviour behaviour = Behaviour::Rfc2217);
    ~FakeDeviceServer();
    FakeDeviceServer(const FakeDeviceServer&) = delete;
    FakeDeviceServer& operator=(const FakeDeviceServer&) = delete;

    quint16 port() const { return m_port; }
    // "rfc2217://127.0.0.1:PORT".
    QString address() const;

    // Applies to what the client sends from now on.
    void setBehaviour(Behaviour behaviour);
    // Once the data received since the last answer ends with request, sends
    // raw, then closes the connection when asked to.
    void answer(const QByteArray& request, const QByteArray& raw, bool thenClose = false);
    // To the client now.
    void sendRaw(const QByteArray& raw);
    void dropClient();

    // What the client sent, decoded; the commands in the order they came.
    QByteArray data() const;
    QList<telnet::Command> commands() const;
    // The rates the client asked for.
    QList<quint32> rates() const;
    int connections() const;
    int disconnections() const;

    // Polls until check() holds or msecs have passed; returns check().
    bool waitUntil(const std::function<bool()>& check, int msecs = 5000) const;

private:
    void onNewConnection();
    void onReadyRead();
    void onCommand(const telnet::Command& command);

    struct Answer {
        QByteArray request;
        QByteArray raw;
        bool thenClose = false;
    };

    QThread m_thread;
    QObject* m_context = nullptr; // lives in m_thread
    QTcpServer* m_server = nullptr;
    QTcpSocket* m_client = nullptr;
    telnet::Decoder m_decoder;
    quint16 m_port = 0;

    mutable QMutex m_mutex; // guards everything below
    Behaviour m_behaviour;
    QList<Answer> m_answers;
    QByteArray m_data;
    QByteArray m_unanswered;
    QList<telnet::Command> m_commands;
    QList<quint32> m_rates;
    int m_connections = 0;
    int m_disconnections = 0;
};
