#pragma once

#include "link/network_port.h"
#include "link/qt_serial_port.h"

class PortDevices;

// The port the user picks by number, whatever its device is: at every
// open() it asks PortDevices for the device of its port number and opens the
// computer's serial port for a device name, or a NetworkPort for a network
// address (rfc2217://HOST:PORT, tcp://HOST:PORT), with that port's latency,
// connect time-out and declared rate from the settings. Everything else goes to the port the last
// open() chose; port number, settings and the device-lost handler are kept
// for both, so the choice may change at every open().
class DevicePort final : public SerialPort {
public:
    // devices must outlive the port.
    explicit DevicePort(const PortDevices& devices);

    DevicePort(const DevicePort&) = delete;
    DevicePort& operator=(const DevicePort&) = delete;

    bool isOpen() const override { return m_active->isOpen(); }
    bool open() override;
    void close() override { m_active->close(); }
    PortError lastError() const override { return m_active->lastError(); }
    // Whether the last open() chose a network address.
    bool isNetwork() const { return m_active == &m_network; }

    void setPortNumber(int number) override;
    int portNumber() const override { return m_active->portNumber(); }
    bool setSettings(const QString& settings) override;
    QString settings() const override { return m_active->settings(); }

    void discardInput() override { m_active->discardInput(); }
    void discardOutput() override { m_active->discardOutput(); }
    void write(const QByteArray& data) override { m_active->write(data); }
    QByteArray readAll() override { return m_active->readAll(); }
    bool waitForInput(int msecs) override { return m_active->waitForInput(msecs); }
    bool hasLineTiming() const override { return m_active->hasLineTiming(); }
    int latencyMs() const override { return m_active->latencyMs(); }
    // While closed, the rate of the port number's device as the settings
    // declare it, so a caller can refuse another before opening.
    int fixedBaud() const override;

    void setDeviceLostHandler(DeviceLostHandler handler) override;

    // For a caller that needs the kind of a network failure.
    const NetworkPort& networkPort() const { return m_network; }

private:
    const PortDevices& m_devices;
    QtSerialPort m_serial;
    NetworkPort m_network;
    SerialPort* m_active = &m_serial;
};
