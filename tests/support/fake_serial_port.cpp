#include "support/fake_serial_port.h"

#include "link/line_settings.h"
#include "support/fake_clock.h"

#include <algorithm>

FakeSerialPort::FakeSerialPort(FakeClock& clock)
    : m_clock(clock) {}

bool FakeSerialPort::open() {
    if (missingPorts.contains(m_portNumber)) {
        m_error = {PortError::Kind::NotFound, m_portNumber,
                   QStringLiteral("COM%1").arg(m_portNumber)};
        return false;
    }
    m_open = true;
    m_error = {};
    if (fixedRate != 0)
        m_settings = QStringLiteral("%1,n,8,1").arg(fixedRate);
    openedPorts.append(m_portNumber);
    return true;
}

void FakeSerialPort::close() {
    m_open = false;
    ++closeCount;
}

void FakeSerialPort::loseDevice() {
    if (!m_open)
        return;
    m_open = false;
    if (m_deviceLost)
        m_deviceLost(deviceName);
}

bool FakeSerialPort::setSettings(const QString& settings) {
    const auto parsed = LineSettings::parse(settings);
    if (!parsed || (fixedRate != 0 && parsed->baud != fixedRate))
        return false;
    if (refusedRates.contains(parsed->baud)) {
        m_error = {PortError::Kind::SettingsRefused, m_portNumber, deviceName, parsed->text()};
        return false;
    }
    m_settings = parsed->text();
    settingsHistory.append(m_settings);
    return true;
}

void FakeSerialPort::discardOutput() {
    ++discardOutputCount;
    calls.append(QStringLiteral("discardOutput"));
}

void FakeSerialPort::discardInput() {
    ++discardInputCount;
    calls.append(QStringLiteral("discardInput"));
    releaseDue();
    m_received.clear();
}

void FakeSerialPort::write(const QByteArray& data) {
    written.append(data);
    calls.append(QStringLiteral("write"));
    m_clock.now += writeDurationMs;
    if (!responder)
        return;
    for (const Reply& reply : responder(data))
        m_pending.append({m_clock.now + reply.delayMs, reply.bytes});
}

QByteArray FakeSerialPort::readAll() {
    ++readCount;
    calls.append(QStringLiteral("read"));
    releaseDue();
    return std::exchange(m_received, {});
}

bool FakeSerialPort::waitForInput(int msecs) {
    calls.append(QStringLiteral("wait"));
    releaseDue();
    if (!m_received.isEmpty())
        return true;
    const qint64 deadline = m_clock.now + std::max(msecs, 0);
    qint64 next = deadline;
    for (const Pending& p : m_pending)
        next = std::min(next, p.at);
    m_clock.now = std::max(m_clock.now, next);
    releaseDue();
    return !m_received.isEmpty();
}

void FakeSerialPort::deliverAt(qint64 clockMs, const QByteArray& bytes) {
    m_pending.append({clockMs, bytes});
}

void FakeSerialPort::releaseDue() {
    std::stable_sort(m_pending.begin(), m_pending.end(),
                     [](const Pending& a, const Pending& b) { return a.at < b.at; });
    while (!m_pending.isEmpty() && m_pending.first().at <= m_clock.now)
        m_received += m_pending.takeFirst().bytes;
}
