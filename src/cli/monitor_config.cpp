#include "cli/monitor_config.h"

#include <QFile>
#include <QFileDevice>

namespace {

// The key=value lines of a file, comments and blank lines left out, or why
// it cannot be read.
std::variant<QList<ConfigLine>, QString> readKeyValues(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString());
    QList<ConfigLine> lines;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString text = QString::fromUtf8(file.readLine()).trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return QStringLiteral("%1:%2: give key=value").arg(path).arg(number);
        const QString key = text.left(equals).trimmed();
        for (const ConfigLine& earlier : lines)
            if (earlier.key == key)
                return QStringLiteral("%1:%2: %3 is set already, on line %4")
                    .arg(path)
                    .arg(number)
                    .arg(key)
                    .arg(earlier.line);
        lines.append({key, text.mid(equals + 1).trimmed(), number});
    }
    return lines;
}

} // namespace

std::variant<QList<ConfigLine>, QString> readConfigFile(const QString& path,
                                                        const QStringList& knownKeys) {
    auto read = readKeyValues(path);
    if (const auto* lines = std::get_if<QList<ConfigLine>>(&read))
        for (const ConfigLine& l : *lines) {
            if (l.key == QLatin1String("password") || l.key == QLatin1String("username"))
                return QStringLiteral("%1:%2: %3 belongs in the credentials file "
                                      "(--credentials), never in the configuration")
                    .arg(path)
                    .arg(l.line)
                    .arg(l.key);
            if (!knownKeys.contains(l.key))
                return QStringLiteral("%1:%2: unknown key \"%3\"").arg(path).arg(l.line).arg(l.key);
        }
    return read;
}

std::variant<Credentials, QString> readCredentialsFile(const QString& path) {
    auto read = readKeyValues(path);
    if (const auto* error = std::get_if<QString>(&read))
        return *error;
    Credentials credentials;
    for (const ConfigLine& l : std::get<QList<ConfigLine>>(read)) {
        if (l.key == QLatin1String("username"))
            credentials.username = l.value;
        else if (l.key == QLatin1String("password"))
            credentials.password = l.value;
        else
            return QStringLiteral("%1:%2: unknown key \"%3\" (give username= and password=)")
                .arg(path)
                .arg(l.line)
                .arg(l.key);
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (QFile::permissions(path) & others)
        credentials.warning =
            QStringLiteral("%1 may be read by others than its owner; chmod 600 it").arg(path);
    return credentials;
}
