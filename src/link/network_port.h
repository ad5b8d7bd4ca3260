#pragma once

#include "link/line_settings.h"
#include "link/network_defaults.h"
#include "link/serial_port.h"
#include "link/telnet_codec.h"

#include <QTcpSocket>

class QDeadlineTimer;
struct NetworkAddress;

// A serial line behind a device server, used like the computer's own port:
// one that speaks RFC 2217 (Telnet with Com Port Control, such as ser2net's
// telnet(rfc2217) accepter) or, for a tcp:// address, a raw one that passes
// bytes through at the rate set on the server. As with QtSerialPort nothing runs an event loop
// while an exchange waits, so the socket is driven synchronously and every wait is bounded.
//
// open() connects (name lookup included, within the connect time-out), asks
// the server for Com Port Control and sets the line. A server that refuses
// the option or never answers is an error, never a plain byte pipe: the tool
// could not set the rate its search depends on. setSettings() waits for the
// server to acknowledge the rate; a server that stays silent is taken for
// gone. A lost connection closes the port, as a pulled-out adapter does.
//
// A raw server's rate cannot be set from here: the port runs at the declared
// rate from the moment it opens and refuses settings with any other, so
// nothing goes out at a rate the line is not at.
//
// Frames cross the network in bunches, so the port has no line timing, and
// its latency is added to every reply deadline.
class NetworkPort final : public SerialPort {
public:
    NetworkPort();
    ~NetworkPort() override;

    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    // "rfc2217://HOST:PORT" or "tcp://HOST:PORT[?baud=N]"; takes effect at
    // the next open(). The text is also the name the device-lost handler and
    // the messages give.
    void setAddress(const QString& address);
    QString address() const { return m_address; }
    // The port's own declaration of a raw server's rate (its "baud" setting
    // as written, empty when there is none); the address may declare it too.
    void setDeclaredBaud(const QString& setting) { m_declaredBaud = setting; }
    // The raw server's rate for the address and declaration given, or 0 (an
    // RFC 2217 server, or a declaration that open() refuses).
    int fixedBaud() const override;
    // Bounds the name lookup and the TCP connection together.
    void setConnectTimeout(int msecs) { m_connectTimeoutMs = msecs; }
    int connectTimeoutMs() const { return m_connectTimeoutMs; }
    // How long to wait for the server's answer to the option request and to
    // each change of rate.
    void setAnswerTimeout(int msecs) { m_answerTimeoutMs = msecs; }
    void setLatency(int msecs) { m_latencyMs = msecs; }
    int latencyMs() const override { return m_latencyMs; }

    bool isOpen() const override;
    bool open() override;
    void close() override;
    // What went wrong last, as facts naming the address; kind None after a
    // successful open().
    PortError lastError() const override;

    // Kept for the caller's sake; the address says what to open.
    void setPortNumber(int number) override { m_portNumber = number; }
    int portNumber() const override { return m_portNumber; }
    // While open, waits for the server to acknowledge the rate. A server that
    // stays silent closes the port (the device-lost handler is told); one
    // that sets another rate leaves the previous settings in force and this
    // returns false. A raw server's port takes its own rate only.
    bool setSettings(const QString& settings) override;
    QString settings() const override;

    // Drops what has arrived and asks the server to drop what it holds from
    // the line, without waiting for its answer.
    void discardInput() override;
    // Nothing to do: write() has handed everything to the network.
    void discardOutput() override {}
    void write(const QByteArray& data) override;
    QByteArray readAll() override;
    // A negative time counts as zero. Telnet commands alone do not count as
    // input.
    bool waitForInput(int msecs) override;

    bool hasLineTiming() const override { return false; }

    void setDeviceLostHandler(DeviceLostHandler handler) override;

private:
    enum class RateAnswer { Acknowledged, Different, Silent, Lost };

    bool fail(PortError error);
    bool connectTo(const NetworkAddress& address);
    bool negotiate();
    bool openRaw(const NetworkAddress& address);
    // Drops what arrived while opening; the port is open unless the
    // connection broke meanwhile.
    bool finishOpening();
    RateAnswer applySettings(const LineSettings& settings);
    // Sends bytes and waits (bounded) until the socket has passed them on.
    void send(const QByteArray& bytes);
    // Decodes what the socket holds, answers negotiations.
    void takeIn();
    // Takes in what has arrived without waiting.
    void poll();
    bool connected() const;
    void onSocketProblem(QAbstractSocket::SocketError error);
    void markLost();
    void closeIfLost();
    void resetSocket();

    QTcpSocket m_socket;
    telnet::Session m_session;
    QByteArray m_received;
    QString m_address;
    QString m_declaredBaud;
    // The open connection goes to a raw server: no Telnet either way.
    bool m_raw = false;
    int m_portNumber = 1;
    int m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    int m_answerTimeoutMs = kDefaultAnswerTimeoutMs;
    int m_latencyMs = kDefaultNetworkLatencyMs;
    LineSettings m_settings;
    PortError m_error;
    DeviceLostHandler m_deviceLost;
    // Open means connected, agreed and set up; the socket is connected much
    // earlier, during open().
    bool m_open = false;
    // Set when the connection broke, possibly from deep inside one of the
    // socket's own calls; the port is closed once that call has returned.
    bool m_lost = false;
};
