#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real serial device server for end-to-end tests: ser2net in the
// foreground with a configuration of its own, its telnet(rfc2217) accepter
// (or a raw TCP one, its line fixed at one rate) on a loopback port in front
// of a device (the simulator's pseudo-terminal).

// ser2net's program, or empty when it is not installed (it lives in sbin,
// which an ordinary user's PATH may leave out).
QString ser2netPath();

// A loopback TCP port nothing listens on at the moment.
quint16 freeLoopbackPort();

class Ser2net {
public:
    // Generous: the machine is shared, and only a hang should fail a test.
    static constexpr int kPatienceMs = 10000;

    // Without charDelay, ser2net sends on what it reads at once instead of
    // holding it for a couple of character times (its default). With a
    // rawBaud, the accepter passes bytes through and the line stays at that
    // rate.
    Ser2net(const QString& program, const QString& device, quint16 port, bool charDelay = true,
            int rawBaud = 0);
    ~Ser2net();

    bool start();
    void stop();
    QString output();
    // "rfc2217://127.0.0.1:PORT", or "tcp://127.0.0.1:PORT?baud=N" for a raw
    // accepter.
    QString address() const;

private:
    QString m_program;
    quint16 m_port;
    int m_rawBaud;
    QTemporaryDir m_dir;
    QString m_config;
    QProcess m_process;
};
