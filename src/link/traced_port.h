#pragma once

#include "link/serial_port.h"

#include <QElapsedTimer>
#include <QList>

#include <cstdio>

// A serial port that writes every frame, in both directions, to a stream
// (stderr): one line each, with the milliseconds since the program started,
// the direction, and the bytes, CR shown as \r. Everything else is passed on
// to the real port unchanged.
class TracedPort final : public SerialPort {
public:
    // Every line goes to each stream given.
    TracedPort(SerialPort& port, QList<std::FILE*> out);

    // Writes what came in since the last frame but never ended in a CR (a
    // reply cut off by the time-out), at the end of every exchange.
    void exchangeEnded() override { flush(); }

    bool isOpen() const override { return m_port.isOpen(); }
    bool open() override { return m_port.open(); }
    void close() override { m_port.close(); }
    PortError lastError() const override { return m_port.lastError(); }
    void setPortNumber(int number) override { m_port.setPortNumber(number); }
    int portNumber() const override { return m_port.portNumber(); }
    bool setSettings(const QString& settings) override { return m_port.setSettings(settings); }
    QString settings() const override { return m_port.settings(); }
    void discardInput() override;
    void discardOutput() override { m_port.discardOutput(); }
    void write(const QByteArray& data) override;
    QByteArray readAll() override;
    bool waitForInput(int msecs) override { return m_port.waitForInput(msecs); }
    bool hasLineTiming() const override { return m_port.hasLineTiming(); }
    int latencyMs() const override { return m_port.latencyMs(); }
    int fixedBaud() const override { return m_port.fixedBaud(); }
    void setDeviceLostHandler(DeviceLostHandler handler) override {
        m_port.setDeviceLostHandler(std::move(handler));
    }

private:
    void flush();
    void line(const char* direction, const QByteArray& bytes);

    SerialPort& m_port;
    QList<std::FILE*> m_out;
    QElapsedTimer m_sinceStart;
    QByteArray m_pending;
};

// Bytes as the trace shows them: printable ASCII as it is, CR as \r, LF as
// \n, a backslash doubled, anything else as \xNN.
QByteArray traceText(const QByteArray& bytes);
