#include "link/qt_serial_port.h"

#include "link/port_devices.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTimer>

namespace {

QSerialPort::Parity toQtParity(char parity) {
    switch (parity) {
    case 'e':
        return QSerialPort::EvenParity;
    case 'o':
        return QSerialPort::OddParity;
    case 'm':
        return QSerialPort::MarkParity;
    case 's':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toQtStopBits(const QString& stopBits) {
    if (stopBits == QLatin1String("2"))
        return QSerialPort::TwoStop;
    if (stopBits == QLatin1String("1.5"))
        return QSerialPort::OneAndHalfStop;
    return QSerialPort::OneStop;
}

// The kernel takes a request into its buffer at once, but a slow USB adapter
// or a stalled line may not; allow the transmission time plus a second.
int writeTimeoutMsecs(qsizetype bytes, int baud) {
    return 1000 + int(bytes * 10 * 1000 / qMax(baud, 1));
}

// A burst longer than this many reads is left for the next call, so that a
// device streaming without pause cannot keep readAll() from returning.
constexpr int kMaxReadsPerCall = 64;

} // namespace

QtSerialPort::QtSerialPort(const PortDevices& devices)
    : m_devices(devices) {
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
}

QtSerialPort::~QtSerialPort() {
    // Disconnect first: closing may report an error, and this object is
    // already half destroyed.
    QObject::disconnect(&m_port, nullptr, nullptr, nullptr);
    m_port.close();
}

bool QtSerialPort::isOpen() const {
    return m_port.isOpen() && !m_lost;
}

bool QtSerialPort::open() {
    if (m_port.isOpen())
        m_port.close();
    m_lost = false;

    const QString device = m_devices.deviceName(m_portNumber);
    if (device.isEmpty()) {
        m_error = {PortError::Kind::NoSuchPort, m_portNumber, {}, {}, {}};
        return false;
    }

    m_device = device;
    m_mappedLineTiming = m_devices.hasLineTiming(m_portNumber);
    m_port.setPortName(device);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_error = openFailure(device);
        return false;
    }

    // The device keeps whatever the last program left in it (a pseudo-terminal
    // starts at 38400); the transmitters only answer at the chosen settings.
    if (!apply(m_settings)) {
        m_error = {PortError::Kind::OpenSettingsRefused, m_portNumber, device, m_settings.text(),
                   m_port.errorString()};
        m_port.close();
        return false;
    }

    // Whatever arrived before the port was ours (noise on the line, an answer
    // meant for another program) would otherwise look like the first reply.
    m_port.clear(QSerialPort::AllDirections);
    m_error = {};
    return true;
}

void QtSerialPort::close() {
    if (m_port.isOpen())
        m_port.close();
    m_lost = false;
}

PortError QtSerialPort::lastError() const {
    return m_error;
}

void QtSerialPort::setPortNumber(int number) {
    m_portNumber = number;
}

int QtSerialPort::portNumber() const {
    return m_portNumber;
}

bool QtSerialPort::setSettings(const QString& settings) {
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        return false;

    if (isOpen() && !apply(*parsed)) {
        m_error = {PortError::Kind::SettingsRefused, m_portNumber, m_device, parsed->text(),
                   m_port.errorString()};
        // Setting the four values one by one may have left some of the
        // refused ones in force.
        apply(m_settings);
        closeIfLost();
        return false;
    }
    m_settings = *parsed;
    return true;
}

QString QtSerialPort::settings() const {
    return m_settings.text();
}

void QtSerialPort::discardInput() {
    if (!isOpen())
        return;
    m_port.clear(QSerialPort::Input);
    closeIfLost();
}

void QtSerialPort::discardOutput() {
    if (!isOpen())
        return;
    m_port.clear(QSerialPort::Output);
    closeIfLost();
}

void QtSerialPort::write(const QByteArray& data) {
    if (!isOpen() || data.isEmpty())
        return;
    m_port.write(data);

    // QSerialPort only buffers; with no event loop running the bytes would
    // otherwise sit there while the exchange waits for the reply.
    const QDeadlineTimer deadline(writeTimeoutMsecs(data.size(), m_settings.baud));
    while (m_port.bytesToWrite() > 0 && !m_lost && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(int(deadline.remainingTime())))
            break;
    }
    closeIfLost();
}

QByteArray QtSerialPort::readAll() {
    if (!isOpen())
        return QByteArray();
    // QSerialPort hands out only what it has already fetched from the driver,
    // which it otherwise does from the event loop; a zero wait fetches what is
    // there without blocking.
    for (int i = 0; i < kMaxReadsPerCall && !m_lost && m_port.waitForReadyRead(0); ++i) {
    }
    QByteArray data = m_port.readAll();
    closeIfLost();
    return data;
}

bool QtSerialPort::waitForInput(int msecs) {
    if (!isOpen())
        return false;
    if (m_port.bytesAvailable() > 0)
        return true;
    const bool arrived = m_port.waitForReadyRead(qMax(msecs, 0));
    closeIfLost();
    return arrived && isOpen();
}

bool QtSerialPort::hasLineTiming() const {
    return m_forcedLineTiming.value_or(m_mappedLineTiming);
}

void QtSerialPort::setLineTiming(std::optional<bool> forced) {
    m_forcedLineTiming = forced;
}

void QtSerialPort::setDeviceLostHandler(DeviceLostHandler handler) {
    m_deviceLost = std::move(handler);
}

bool QtSerialPort::apply(const LineSettings& settings) {
    return m_port.setBaudRate(settings.baud) &&
           m_port.setDataBits(QSerialPort::DataBits(settings.dataBits)) &&
           m_port.setParity(toQtParity(settings.parity)) &&
           m_port.setStopBits(toQtStopBits(settings.stopBits)) &&
           m_port.setFlowControl(QSerialPort::NoFlowControl);
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    // Read and write errors are what an unplugged USB adapter or a hung-up
    // line produce; the port can do nothing useful any more, and retrying
    // would only spin because the driver reports the same failure at once.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    if (!m_port.isOpen() || m_lost)
        return;
    m_lost = true;
    // QSerialPort's own text is no help here: after a hang-up it describes
    // whatever system call failed last, not the missing device.
    m_error = {PortError::Kind::Lost, m_portNumber, m_device, {}, {}};
    // When the error comes from the event loop rather than from one of this
    // class's calls, nothing else closes the port soon. While it stays open
    // the kernel keeps the old device name taken, and the adapter plugged in
    // again would come back under another one.
    QTimer::singleShot(0, &m_port, [this] { closeIfLost(); });
}

void QtSerialPort::closeIfLost() {
    if (!m_lost)
        return;
    if (m_port.isOpen())
        m_port.close();
    m_lost = false;
    // Last, so the handler finds the port closed and may reopen it.
    if (m_deviceLost)
        m_deviceLost(m_device);
}

PortError QtSerialPort::openFailure(const QString& device) const {
    PortError error{PortError::Kind::Other, m_portNumber, device, {}, m_port.errorString()};
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        error.kind = PortError::Kind::NotFound;
        break;
    case QSerialPort::PermissionError: {
#ifdef Q_OS_WIN
        // Windows refuses a COM port held by another program with "access
        // denied"; there is nothing else to go by.
        error.kind = PortError::Kind::InUseOrNoAccess;
#else
        // QSerialPort reports a device in use by another program (its lock
        // file, or an exclusive open) the same way as missing access rights;
        // the file's own permissions tell the two apart.
        const QFileInfo file(device);
        error.kind = file.exists() && file.isReadable() && file.isWritable()
                         ? PortError::Kind::InUse
                         : PortError::Kind::NoAccess;
#endif
        break;
    }
    default:
        break;
    }
    return error;
}
