#include "cli/stdout_sink.h"

#include "cli/output.h"

#include <QDateTime>

StdoutSink::StdoutSink(QString prefix, MonitorStatus status)
    : m_prefix(std::move(prefix))
    , m_status(std::move(status)) {}

void StdoutSink::publish(const MonitorMessage& message) {
    printJson(QJsonObject{{QStringLiteral("topic"), message.topic},
                          {QStringLiteral("payload"),
                           message.removes ? QJsonValue() : QJsonValue(message.payload)},
                          {QStringLiteral("retain"), message.retain}},
              true);
}

void StdoutSink::publishStatus() {
    publish({statusTopic(m_prefix), onlineStatus(m_status, QDateTime::currentDateTimeUtc()), true});
}

void StdoutSink::finish(int) {
    publish(
        {statusTopic(m_prefix), stoppedStatus(m_status, QDateTime::currentDateTimeUtc()), true});
}
