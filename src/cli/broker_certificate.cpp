#include "cli/broker_certificate.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStringList>

std::optional<QString> brokerCertificateProblem(const BrokerAddress& address, const QString& caFile,
                                                int timeoutMs) {
    QSslSocket socket;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!caFile.isEmpty())
        configuration.setCaCertificates(QSslCertificate::fromPath(caFile));
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    socket.setSslConfiguration(configuration);
    socket.connectToHostEncrypted(address.host, quint16(address.port));
    if (!socket.waitForConnected(timeoutMs))
        return std::nullopt;
    if (socket.waitForEncrypted(timeoutMs))
        return std::nullopt;
    QStringList errors;
    for (const QSslError& e : socket.sslHandshakeErrors())
        errors.append(e.errorString());
    if (errors.isEmpty())
        return std::nullopt;
    errors.removeDuplicates();
    return errors.join(QStringLiteral("; "));
}
