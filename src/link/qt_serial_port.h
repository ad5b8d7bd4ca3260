#pragma once

#include "link/line_settings.h"
#include "link/serial_port.h"

#include <QSerialPort>

#include <optional>

class PortDevices;

// The serial port of the computer, through QSerialPort. Nothing runs an event
// loop while an exchange is waiting for a reply, so every operation drives
// QSerialPort synchronously: write() pushes the bytes to the driver before it
// returns, readAll() collects what the driver holds without waiting.
//
// Opening an open port closes it first and opens it again, so a changed port
// number or device mapping takes effect. A port whose device stops working
// (adapter unplugged, read or write failing) closes itself; isOpen() turns
// false, lastError() says what happened and the device-lost handler is
// told.
class QtSerialPort final : public SerialPort {
public:
    // devices must outlive the port; it is asked for the device name at every
    // open().
    explicit QtSerialPort(const PortDevices& devices);
    ~QtSerialPort() override;

    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    bool isOpen() const override;
    bool open() override;
    void close() override;
    // In Chinese, for the user; empty after a successful open().
    PortError lastError() const override;

    // Takes effect at the next open().
    void setPortNumber(int number) override;
    int portNumber() const override;
    // While open, the settings are applied at once; when the device refuses
    // them the previous ones stay in force and this returns false too.
    bool setSettings(const QString& settings) override;
    QString settings() const override;

    void discardInput() override;
    void discardOutput() override;
    void write(const QByteArray& data) override;
    QByteArray readAll() override;
    // A negative time counts as zero, never as "wait forever".
    bool waitForInput(int msecs) override;

    // As the device mapping says for the port number at the last open(),
    // unless setLineTiming() forced a value.
    bool hasLineTiming() const override;
    // A value forces line timing on or off whatever the mapping says; nothing
    // returns to the mapping. Takes effect at once.
    void setLineTiming(std::optional<bool> forced);

    void setDeviceLostHandler(DeviceLostHandler handler) override;

private:
    bool apply(const LineSettings& settings);
    void onError(QSerialPort::SerialPortError error);
    void closeIfLost();
    PortError openFailure(const QString& device) const;

    const PortDevices& m_devices;
    QSerialPort m_port;
    int m_portNumber = 1;
    // As configured; QSerialPort::portName() drops the "/dev/" the user knows.
    QString m_device;
    LineSettings m_settings;
    PortError m_error;
    bool m_mappedLineTiming = true;
    std::optional<bool> m_forcedLineTiming;
    DeviceLostHandler m_deviceLost;
    // Set from QSerialPort's error signal, which may come from deep inside
    // one of its own calls; the port is closed once that call has returned.
    bool m_lost = false;
};
