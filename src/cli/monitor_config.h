#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// The monitor's files: its configuration (key=value lines named after the
// long options) and the broker's credentials (username= and password=).
// Errors name the file and line.

struct ConfigLine {
    QString key;
    QString value;
    int line = 0;
};

// The settings of a configuration file, each key once; "#" starts a
// comment. A key not among knownKeys, and a password (it belongs in the
// credentials), are refused.
std::variant<QList<ConfigLine>, QString> readConfigFile(const QString& path,
                                                        const QStringList& knownKeys);

struct Credentials {
    std::optional<QString> username;
    std::optional<QString> password;
    // Set when others than its owner may read the file.
    QString warning;
};

std::variant<Credentials, QString> readCredentialsFile(const QString& path);
