#include "link/device_port.h"

#include "link/network_address.h"
#include "link/port_devices.h"

DevicePort::DevicePort(const PortDevices& devices)
    : m_devices(devices)
    , m_serial(devices) {}

bool DevicePort::open() {
    // Whichever was open goes first: the mapping may have changed since, and
    // a device server lets only one client at a time hold its line.
    m_active->close();

    const int number = m_active->portNumber();
    const QString device = m_devices.deviceName(number);
    if (isNetworkAddress(device)) {
        m_network.setAddress(device);
        m_network.setLatency(m_devices.latencyMs(number));
        m_network.setConnectTimeout(m_devices.connectTimeoutMs(number));
        m_network.setDeclaredBaud(m_devices.baudSetting(number));
        m_active = &m_network;
    } else {
        m_active = &m_serial;
    }
    return m_active->open();
}

int DevicePort::fixedBaud() const {
    return isOpen() ? m_active->fixedBaud() : m_devices.fixedBaud(portNumber());
}

void DevicePort::setPortNumber(int number) {
    m_serial.setPortNumber(number);
    m_network.setPortNumber(number);
}

bool DevicePort::setSettings(const QString& settings) {
    if (!m_active->setSettings(settings))
        return false;
    // The other port is closed and only keeps them for its next open().
    SerialPort& other = isNetwork() ? static_cast<SerialPort&>(m_serial) : m_network;
    other.setSettings(settings);
    return true;
}

void DevicePort::setDeviceLostHandler(DeviceLostHandler handler) {
    m_serial.setDeviceLostHandler(handler);
    m_network.setDeviceLostHandler(std::move(handler));
}
