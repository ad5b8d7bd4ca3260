#include "support/mosquitto_broker.h"

#include "support/ser2net_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

namespace {

constexpr int kPatienceMs = MosquittoBroker::kPatienceMs;

// mosquitto_sub prints one line a message: the retain flag, the topic, and
// the payload in hex, so a payload holding spaces or newlines cannot be
// taken for the next message.
const QString kFormat = QStringLiteral("%r %t %x");

QString clientProgram(const QString& name) {
    return QStandardPaths::findExecutable(name);
}

std::optional<MqttMessage> parseLine(const QByteArray& line) {
    if (line.size() < 3 || line[1] != ' ')
        return std::nullopt;
    const QByteArray rest = line.mid(2);
    const qsizetype space = rest.lastIndexOf(' ');
    if (space < 0)
        return std::nullopt;
    MqttMessage m;
    m.retained = line[0] == '1';
    m.topic = QString::fromUtf8(rest.left(space));
    m.payload = QByteArray::fromHex(rest.mid(space + 1));
    return m;
}

QString lastLines(const QString& text, int count) {
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QString mosquittoPath() {
    QString path = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                              {QStringLiteral("/usr/sbin"),
                                               QStringLiteral("/usr/local/sbin"),
                                               QStringLiteral("/sbin")});
    return path;
}

bool TestCertificates::make() {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
        return false;
    }
    return makeAuthority(QStringLiteral("ca"), QStringLiteral("Tarnwick test CA")) &&
           makeAuthority(QStringLiteral("other-ca"), QStringLiteral("Unrelated test CA")) &&
           makeServer(QStringLiteral("server"), QStringLiteral("IP:127.0.0.1")) &&
           makeServer(QStringLiteral("elsewhere"), QStringLiteral("DNS:elsewhere.example"));
}

bool TestCertificates::makeAuthority(const QString& name, const QString& commonName) {
    return openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-keyout", name + ".key", "-out", name + ".crt", "-days", "2",
                    "-subj", "/CN=" + commonName, "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
}

bool TestCertificates::makeServer(const QString& name, const QString& subjectAltName) {
    QFile extensions(m_dir.filePath(name + ".ext"));
    if (!extensions.open(QIODevice::WriteOnly) ||
        extensions.write(QStringLiteral("subjectAltName=%1\nextendedKeyUsage=serverAuth\n")
                             .arg(subjectAltName)
                             .toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1: %2").arg(name, extensions.errorString());
        return false;
    }
    extensions.close();
    return openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name}) &&
           openssl({"x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                    "-set_serial", QString::number(++m_serial), "-days", "2", "-extfile",
                    name + ".ext", "-out", name + ".crt"});
}

bool TestCertificates::openssl(const QStringList& args) {
    const QString program = clientProgram(QStringLiteral("openssl"));
    if (program.isEmpty()) {
        m_error = QStringLiteral("openssl is not installed (scripts/install-deps.sh installs it)");
        return false;
    }
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(kPatienceMs) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed (exit %2):\n%3")
                      .arg(args.join(QLatin1Char(' ')))
                      .arg(p.exitCode())
                      .arg(QString::fromUtf8(p.readAll()));
        return false;
    }
    return true;
}

MosquittoBroker::MosquittoBroker(quint16 port)
    : m_port(port ? port : freeLoopbackPort()) {
    // Its complaints before the log file opens (a bad configuration, a port
    // in use) go here.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("output.log")),
                                    QIODevice::Append);
}

MosquittoBroker::~MosquittoBroker() {
    stop();
}

bool MosquittoBroker::addUser(const QString& user, const QString& password) {
    const QString program = clientProgram(QStringLiteral("mosquitto_passwd"));
    if (program.isEmpty()) {
        m_error = QStringLiteral("mosquitto_passwd is not installed (package mosquitto)");
        return false;
    }
    QStringList args{QStringLiteral("-b")};
    if (!m_passwords)
        args << QStringLiteral("-c");
    args << m_dir.filePath(QStringLiteral("passwords")) << user << password;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(kPatienceMs) || p.exitCode() != 0) {
        m_error = QStringLiteral("mosquitto_passwd failed: %1").arg(QString::fromUtf8(p.readAll()));
        return false;
    }
    m_passwords = true;
    return true;
}

bool MosquittoBroker::writeConfig() {
    QString config = QStringLiteral("listener %1 127.0.0.1\n"
                                    "persistence true\n"
                                    "persistence_location %2/\n"
                                    "log_dest file %2/mosquitto.log\n"
                                    "connection_messages true\n")
                         .arg(m_port)
                         .arg(m_dir.path());
    // Started as root, it would switch to the mosquitto user, which cannot
    // read this private folder.
    if (::geteuid() == 0)
        config += QStringLiteral("user root\n");
    if (m_passwords)
        config += QStringLiteral("allow_anonymous false\npassword_file %1\n")
                      .arg(m_dir.filePath(QStringLiteral("passwords")));
    else
        config += QStringLiteral("allow_anonymous true\n");
    if (!m_tls.certFile.isEmpty())
        config += QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                      .arg(m_tls.caFile, m_tls.certFile, m_tls.keyFile);
    QFile file(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write its configuration: %1").arg(file.errorString());
        return false;
    }
    return true;
}

bool MosquittoBroker::start() {
    const QString program = mosquittoPath();
    if (program.isEmpty()) {
        m_error =
            QStringLiteral("mosquitto is not installed (scripts/install-deps.sh installs it)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
        return false;
    }
    if (!writeConfig())
        return false;
    m_process.start(program,
                    {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("mosquitto.conf"))});
    if (!m_process.waitForStarted(kPatienceMs)) {
        m_error = QStringLiteral("mosquitto did not start: %1").arg(m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(kPatienceMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("mosquitto ended at its start (exit %1):\n%2")
                          .arg(m_process.exitCode())
                          .arg(logTail());
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (probe.waitForConnected(200)) {
            probe.abort();
            return true;
        }
        // A refusal comes at once; do not spin.
        QThread::msleep(20);
    }
    m_error = QStringLiteral("port %1 accepted no connection:\n%2").arg(m_port).arg(logTail());
    stop();
    return false;
}

void MosquittoBroker::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kPatienceMs)) {
        m_process.kill();
        m_process.waitForFinished(kPatienceMs);
    }
}

QString MosquittoBroker::url() const {
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_tls.certFile.isEmpty() ? QStringLiteral("mqtt") : QStringLiteral("mqtts"))
        .arg(m_port);
}

QString MosquittoBroker::logTail(int lines) const {
    QString text;
    for (const QString& name : {QStringLiteral("output.log"), QStringLiteral("mosquitto.log")}) {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return QStringLiteral("mosquitto on port %1:\n%2").arg(m_port).arg(lastLines(text, lines));
}

QJsonObject MqttMessage::json() const {
    return QJsonDocument::fromJson(payload).object();
}

MqttSubscriber::MqttSubscriber(const MosquittoBroker& broker, const QString& prefix,
                               const QString& clientId)
    : m_broker(broker)
    , m_prefix(prefix)
    , m_clientId(clientId) {
    // The mosquitto clients read their options files from XDG_CONFIG_HOME:
    // a folder of their own keeps the user's defaults out and holds the
    // credentials.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
    m_process.setProcessEnvironment(env);
}

MqttSubscriber::~MqttSubscriber() {
    stop();
}

void MqttSubscriber::setCredentials(const QString& user, const QString& password) {
    for (const QString& name : {QStringLiteral("mosquitto_sub"), QStringLiteral("mosquitto_pub")}) {
        QFile options(m_home.filePath(name));
        if (options.open(QIODevice::WriteOnly | QIODevice::Truncate))
            options.write(QStringLiteral("-u %1\n-P %2\n").arg(user, password).toUtf8());
    }
}

QStringList MqttSubscriber::connectionArgs() const {
    QStringList args{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                     QString::number(m_broker.port())};
    if (!m_broker.tls().caFile.isEmpty())
        args << QStringLiteral("--cafile") << m_broker.tls().caFile;
    return args;
}

int MqttSubscriber::runClient(const QString& name, const QStringList& args, QByteArray* out) {
    const QString program = clientProgram(name);
    if (program.isEmpty()) {
        m_error = QStringLiteral("%1 is not installed (package mosquitto-clients)").arg(name);
        return -1;
    }
    QProcess p;
    p.setProcessEnvironment(m_process.processEnvironment());
    p.start(program, args);
    if (!p.waitForFinished(kPatienceMs) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        m_error = QStringLiteral("%1 did not finish").arg(name);
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if (p.exitCode() != 0)
        m_error = QStringLiteral("%1 failed (exit %2): %3")
                      .arg(name)
                      .arg(p.exitCode())
                      .arg(QString::fromUtf8(p.readAllStandardError()));
    return p.exitCode();
}

bool MqttSubscriber::start() {
    const QString program = clientProgram(QStringLiteral("mosquitto_sub"));
    if (program.isEmpty()) {
        m_error = QStringLiteral("mosquitto_sub is not installed (package mosquitto-clients)");
        return false;
    }
    m_process.start(program, connectionArgs() +
                                 QStringList{QStringLiteral("-c"), QStringLiteral("-i"), m_clientId,
                                             QStringLiteral("-q"), QStringLiteral("1"),
                                             QStringLiteral("-t"), m_prefix + QStringLiteral("/#"),
                                             QStringLiteral("-F"), kFormat});
    if (!m_process.waitForStarted(kPatienceMs)) {
        m_error = QStringLiteral("mosquitto_sub did not start: %1").arg(m_process.errorString());
        return false;
    }
    // Its subscription is in place once a message published after it
    // arrives; the probe goes again until one does.
    const QString probe = m_prefix + QStringLiteral("/probe");
    const QDeadlineTimer deadline(kPatienceMs);
    while (!deadline.hasExpired()) {
        if (runClient(QStringLiteral("mosquitto_pub"),
                      connectionArgs() + QStringList{QStringLiteral("-q"), QStringLiteral("1"),
                                                     QStringLiteral("-t"), probe,
                                                     QStringLiteral("-m"), QStringLiteral("probe")},
                      nullptr) != 0)
            return false;
        if (waitFor([&](const MqttMessage& m) { return m.topic == probe; }, 500))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
    }
    m_error = QStringLiteral("no probe came back to mosquitto_sub");
    return false;
}

void MqttSubscriber::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kPatienceMs)) {
        m_process.kill();
        m_process.waitForFinished(kPatienceMs);
    }
}

void MqttSubscriber::readWaiting() {
    m_partial += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        if (const auto m = parseLine(m_partial.left(end)))
            m_messages << *m;
        m_partial.remove(0, end + 1);
    }
}

const MqttMessages& MqttSubscriber::messages() {
    readWaiting();
    return m_messages;
}

bool MqttSubscriber::waitUntil(const std::function<bool(const MqttMessages&)>& condition,
                               int msecs) {
    const QDeadlineTimer deadline(msecs);
    for (;;) {
        readWaiting();
        if (condition(m_messages))
            return true;
        if (deadline.hasExpired())
            return false;
        if (m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("mosquitto_sub ended (exit %1)").arg(m_process.exitCode());
            return false;
        }
        m_process.waitForReadyRead(int(qBound(qint64(1), deadline.remainingTime(), qint64(100))));
    }
}

std::optional<MqttMessage>
MqttSubscriber::waitFor(const std::function<bool(const MqttMessage&)>& match, int msecs) {
    std::optional<MqttMessage> found;
    waitUntil(
        [&](const MqttMessages& messages) {
            for (const MqttMessage& m : messages) {
                if (match(m)) {
                    found = m;
                    return true;
                }
            }
            return false;
        },
        msecs);
    return found;
}

std::optional<MqttMessage> MqttSubscriber::retained(const QString& topic) {
    QByteArray out;
    runClient(QStringLiteral("mosquitto_sub"),
              connectionArgs() +
                  QStringList{QStringLiteral("-t"), topic, QStringLiteral("--retained-only"),
                              QStringLiteral("-C"), QStringLiteral("1"), QStringLiteral("-W"),
                              QStringLiteral("10"), QStringLiteral("-F"), kFormat},
              &out);
    return parseLine(out.left(out.indexOf('\n')));
}

QString MqttSubscriber::diagnostics() {
    return QStringLiteral("%1\nmosquitto_sub said: %2\n%3")
        .arg(m_error, QString::fromUtf8(m_process.readAllStandardError()), m_broker.logTail());
}
