#include "cli/monitor_messages.h"

#include <QJsonArray>

namespace {
const QString kState = QStringLiteral("state");
const QString kTime = QStringLiteral("time");
const QString kRun = QStringLiteral("run");
} // namespace

QString portSlug(const QString& port) {
    QString slug = port;
    for (QChar& c : slug) {
        const char16_t u = c.unicode();
        const bool kept = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                          (u >= '0' && u <= '9') || u == '_' || u == '-';
        if (!kept)
            c = QLatin1Char('_');
    }
    return slug;
}

QString defaultTopicPrefix(const QString& host, const QString& port) {
    return QStringLiteral("tarnwick/%1/%2").arg(host, portSlug(port));
}

QString defaultClientId(const QString& host, const QString& port) {
    return QStringLiteral("tarnwick-%1-%2").arg(host, portSlug(port));
}

QString utcText(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString statusTopic(const QString& prefix) {
    return prefix + QStringLiteral("/status");
}

QJsonObject onlineStatus(const MonitorStatus& status, const QDateTime& now) {
    return {{kState, QStringLiteral("online")},
            {QStringLiteral("port"), status.port},
            {QStringLiteral("transmitters"), QJsonArray::fromStringList(status.transmitters)},
            {QStringLiteral("queued"), status.queued},
            {QStringLiteral("dropped"), status.dropped},
            {kRun, utcText(status.run)},
            {kTime, utcText(now)}};
}

QJsonObject willStatus() {
    return {{kState, QStringLiteral("offline")},
            {QStringLiteral("reason"), QStringLiteral("connection lost")}};
}

QJsonObject stoppedStatus(const MonitorStatus& status, const QDateTime& now) {
    QJsonObject o = onlineStatus(status, now);
    o.insert(kState, QStringLiteral("offline"));
    o.insert(QStringLiteral("reason"), QStringLiteral("stopped"));
    return o;
}

QString transmitterTopic(const QString& prefix, const QString& address, const QString& leaf) {
    return QStringLiteral("%1/%2/%3").arg(prefix, address, leaf);
}

QJsonObject statePayload(const std::optional<QString>& offlineBecause, const QDateTime& now) {
    return {{kState, offlineBecause ? QStringLiteral("offline") : QStringLiteral("online")},
            {QStringLiteral("error"), offlineBecause ? QJsonValue(*offlineBecause) : QJsonValue()},
            {kTime, utcText(now)}};
}

QJsonObject readingPayload(const QString& text, double value, const QString& unit,
                           const QDateTime& time, const QDateTime& run, long long seq) {
    return {{QStringLiteral("value"), value},
            {QStringLiteral("text"), text},
            {QStringLiteral("unit"), unit.isEmpty() ? QJsonValue() : QJsonValue(unit)},
            {kTime, utcText(time)},
            {kRun, utcText(run)},
            {QStringLiteral("seq"), seq}};
}
