#include "support/ser2net_process.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>

QString ser2netPath() {
    QString path = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                              {QStringLiteral("/usr/sbin"),
                                               QStringLiteral("/usr/local/sbin"),
                                               QStringLiteral("/sbin")});
    return path;
}

quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

Ser2net::Ser2net(const QString& program, const QString& device, quint16 port, bool charDelay,
                 int rawBaud)
    : m_program(program)
    , m_port(port)
    , m_rawBaud(rawBaud) {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QFile yaml(m_dir.filePath(QStringLiteral("ser2net.yaml")));
    if (yaml.open(QIODevice::WriteOnly))
        yaml.write(QStringLiteral("connection: &bus\n"
                                  "  accepter: %4tcp,127.0.0.1,%1\n"
                                  "  connector: serialdev,%2,%5n81,local\n"
                                  "  options:\n"
                                  "    kickolduser: true\n"
                                  "%3")
                       .arg(port)
                       .arg(device)
                       .arg(charDelay ? QString() : QStringLiteral("    chardelay: false\n"))
                       .arg(rawBaud ? QString() : QStringLiteral("telnet(rfc2217),"))
                       .arg(rawBaud ? rawBaud : 9600)
                       .toUtf8());
    m_config = yaml.fileName();
}

Ser2net::~Ser2net() {
    stop();
}

bool Ser2net::start() {
    m_process.start(m_program,
                    {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), m_config});
    return m_process.waitForStarted(kPatienceMs);
}

void Ser2net::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kPatienceMs)) {
        m_process.kill();
        m_process.waitForFinished(kPatienceMs);
    }
}

QString Ser2net::output() {
    return QString::fromUtf8(m_process.readAll());
}

QString Ser2net::address() const {
    if (m_rawBaud)
        return QStringLiteral("tcp://127.0.0.1:%1?baud=%2").arg(m_port).arg(m_rawBaud);
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port);
}
