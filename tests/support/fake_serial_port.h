#pragma once

#include "link/serial_port.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <functional>

class FakeClock;

// A serial port for tests: records what was opened and written, and plays
// replies that a script produces for each written frame. Replies become
// readable at a time of the shared fake clock, so an exchange that waits moves
// the clock instead of real time.
class FakeSerialPort final : public SerialPort {
public:
    struct Reply {
        QByteArray bytes;
        qint64 delayMs = 0; // after the write that caused it
    };
    // Answers one written frame; return no replies for silence.
    using Responder = std::function<QList<Reply>(const QByteArray& written)>;

    explicit FakeSerialPort(FakeClock& clock);

    bool isOpen() const override { return m_open; }
    bool open() override;
    void close() override;
    PortError lastError() const override { return m_error; }

    void setPortNumber(int number) override { m_portNumber = number; }
    int portNumber() const override { return m_portNumber; }
    bool setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }

    void discardInput() override;
    void discardOutput() override;
    void write(const QByteArray& data) override;
    QByteArray readAll() override;
    bool waitForInput(int msecs) override;
    bool hasLineTiming() const override { return lineTiming; }
    int latencyMs() const override { return latency; }
    int fixedBaud() const override { return fixedRate; }
    void setDeviceLostHandler(DeviceLostHandler handler) override {
        m_deviceLost = std::move(handler);
    }

    // The device goes away: the port closes itself and tells its user.
    void loseDevice();

    // Bytes that arrive at a given clock time whatever was written.
    void deliverAt(qint64 clockMs, const QByteArray& bytes);

    Responder responder;
    QSet<int> missingPorts; // port numbers whose open fails
    QList<QByteArray> written;
    QList<int> openedPorts; // every successful open, by number
    QList<QString> settingsHistory;
    // Every port operation of an exchange, in order: "discardInput",
    // "discardOutput", "write", "read", "wait".
    QStringList calls;
    // How long a write takes on the fake clock, as on a slow line.
    qint64 writeDurationMs = 0;
    int closeCount = 0;
    int discardInputCount = 0;
    int discardOutputCount = 0;
    int readCount = 0;
    bool lineTiming = true;
    int latency = 0;
    // A line fixed at this rate, as behind a raw device server: opening sets
    // it, and settings with another rate are refused.
    int fixedRate = 0;
    // Rates whose settings are refused, as by a server that keeps its line
    // at another.
    QSet<int> refusedRates;
    QString deviceName = QStringLiteral("/dev/ttyUSB0");

private:
    struct Pending {
        qint64 at;
        QByteArray bytes;
    };
    void releaseDue();

    FakeClock& m_clock;
    bool m_open = false;
    int m_portNumber = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    PortError m_error;
    QByteArray m_received;
    QList<Pending> m_pending;
    DeviceLostHandler m_deviceLost;
};
