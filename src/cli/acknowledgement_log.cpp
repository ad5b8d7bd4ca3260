#include "cli/acknowledgement_log.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <ctime>

AcknowledgementLog::AcknowledgementLog(const QString& path) {
    if (!path.isEmpty())
        m_file = std::fopen(path.toLocal8Bit().constData(), "w");
}

AcknowledgementLog::~AcknowledgementLog() {
    if (m_file)
        std::fclose(m_file);
}

void AcknowledgementLog::write(const char* event, const char* topic, const QByteArray& payload) {
    if (!m_file)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long ns = static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    const long long seq =
        QJsonDocument::fromJson(payload).object().value(QStringLiteral("seq")).toInteger();
    std::lock_guard lock(m_mutex);
    std::fprintf(m_file, "%s %lld %s %lld\n", event, ns, topic, seq);
    std::fflush(m_file);
}
