#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// What the monitor publishes, built without a broker: topics and payloads.
// Times are ISO 8601 UTC with milliseconds.

struct MonitorMessage {
    QString topic;
    QJsonObject payload;
    bool retain = false;
    // An empty retained payload: the broker forgets the topic's value.
    bool removes = false;
};

// The port name as given, every character outside A-Z a-z 0-9 _ - made "_"
// ("/dev/ttyUSB0" is "_dev_ttyUSB0"), so it is one topic level and a valid
// client id.
QString portSlug(const QString& port);
// "tarnwick/<host>/<slug>" and "tarnwick-<host>-<slug>".
QString defaultTopicPrefix(const QString& host, const QString& port);
QString defaultClientId(const QString& host, const QString& port);

QString utcText(const QDateTime& time);

// The monitor's own topic, and what it carries.
struct MonitorStatus {
    QString port;
    QStringList transmitters;
    long long queued = 0;
    long long dropped = 0;
    QDateTime run;
};
QString statusTopic(const QString& prefix);
QJsonObject onlineStatus(const MonitorStatus& status, const QDateTime& now);
// The last will, set at connect: the broker publishes it when the link dies.
QJsonObject willStatus();
QJsonObject stoppedStatus(const MonitorStatus& status, const QDateTime& now);

QString transmitterTopic(const QString& prefix, const QString& address, const QString& leaf);

// A transmitter's health: "online", or "offline" with why.
QJsonObject statePayload(const std::optional<QString>& offlineBecause, const QDateTime& now);

// One reading of pressure or temperature. unit is empty when not known (a
// null, never a guess); seq counts the topic's messages of this run from 1.
QJsonObject readingPayload(const QString& text, double value, const QString& unit,
                           const QDateTime& time, const QDateTime& run, long long seq);
