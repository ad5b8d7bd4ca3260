#pragma once

#include <QString>

#include <variant>

// A broker as the user names it: mqtt://HOST[:PORT] (1883) or
// mqtts://HOST[:PORT] (8883, TLS); an IPv6 host in brackets.
struct BrokerAddress {
    bool tls = false;
    QString host;
    int port = 0;

    // The form the MQTT library takes: tcp://HOST:PORT or ssl://HOST:PORT.
    QString libraryUri() const;
};

// The address, or why the text is none, worded for the user.
std::variant<BrokerAddress, QString> parseBrokerAddress(const QString& text);
