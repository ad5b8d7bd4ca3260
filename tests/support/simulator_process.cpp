#include "support/simulator_process.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

// Generous: the machine is shared, and only a hang should fail a test.
constexpr int kPatienceMs = 5000;

} // namespace

SimulatorProcess::SimulatorProcess(QStringList extraArgs, const QByteArray& busJson)
    : m_args(std::move(extraArgs))
    , m_busJson(busJson) {
    // Its complaints (a bad bus file, a failed link) belong in the test log.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimulatorProcess::~SimulatorProcess() {
    stop();
}

QString SimulatorProcess::devicePath() const {
    return m_dir.filePath(QStringLiteral("bus"));
}

bool SimulatorProcess::start() {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
        return false;
    }
    QStringList args{QStringLiteral("--link"), devicePath(), QStringLiteral("--trace"),
                     m_dir.filePath(QStringLiteral("trace.log"))};
    if (!m_busJson.isEmpty()) {
        QFile bus(m_dir.filePath(QStringLiteral("bus.json")));
        if (!bus.open(QIODevice::WriteOnly) || bus.write(m_busJson) != m_busJson.size()) {
            m_error = QStringLiteral("cannot write the bus file: %1").arg(bus.errorString());
            return false;
        }
        args << QStringLiteral("--bus") << bus.fileName();
    }
    m_process.start(QStringLiteral(TARNWICK_SIMULATOR_PATH), args + m_args);
    if (!m_process.waitForStarted(kPatienceMs)) {
        m_error = m_process.errorString();
        return false;
    }
    const QString first = readLine(kPatienceMs);
    if (first != QStringLiteral("device: ") + devicePath()) {
        m_error = first.isEmpty()
                      ? QStringLiteral("no device line; exit code %1").arg(m_process.exitCode())
                      : QStringLiteral("unexpected first line: %1").arg(first);
        stop();
        return false;
    }
    return true;
}

QStringList SimulatorProcess::traceLines() const {
    QFile trace(m_dir.filePath(QStringLiteral("trace.log")));
    if (!trace.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(trace.readAll()).split(QLatin1Char('\n'));
    // Lines are written whole, so only the empty piece after the last
    // newline is dropped.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString SimulatorProcess::control(const QString& command) {
    if (m_process.state() != QProcess::Running)
        return {};
    m_process.write(command.toUtf8() + '\n');
    const QDeadlineTimer deadline(kPatienceMs);
    for (;;) {
        const QString line = readLine(int(deadline.remainingTime()));
        // "device:" lines announce a replug and come before its answer.
        if (!line.startsWith(QLatin1String("device: ")) || deadline.hasExpired())
            return line;
    }
}

QString SimulatorProcess::readLine(int msecs) {
    const QDeadlineTimer deadline(msecs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running)
            return {};
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    QByteArray line = m_process.readLine();
    if (line.endsWith('\n'))
        line.chop(1);
    return QString::fromUtf8(line);
}

void SimulatorProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("quit\n");
    if (!m_process.waitForFinished(kPatienceMs)) {
        m_process.kill();
        m_process.waitForFinished(kPatienceMs);
    }
}
