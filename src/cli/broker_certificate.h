#pragma once

#include "cli/broker_address.h"

#include <QString>

#include <optional>

// Why the broker's certificate is refused (an authority not trusted, made
// out for another host name, expired), found by a TLS handshake of our own:
// the MQTT library tells a certificate for another name only as a failed
// connection, which would be retried for ever. None when the handshake
// passes or the broker cannot be reached at all. Blocking, up to twice
// timeoutMs; for a thread that may wait.
std::optional<QString> brokerCertificateProblem(const BrokerAddress& address, const QString& caFile,
                                                int timeoutMs);
