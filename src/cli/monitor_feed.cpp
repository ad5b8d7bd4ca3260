#include "cli/monitor_feed.h"

#include "cli/home_assistant.h"
#include "cli/output.h"
#include "cli/reply_words.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"
#include "link/clock.h"
#include "protocol/units.h"

namespace {
constexpr qint64 kFullReadEveryMs = 3'600'000;
// The status says how many readings were dropped at most once a second.
constexpr qint64 kStatusEveryMs = 1000;
const QString kNoReply = QStringLiteral("no reply");
} // namespace

MonitorFeed::MonitorFeed(Setup setup, BusSession& session, BusPoller& poller, MessageSink& sink)
    : m_setup(std::move(setup))
    , m_session(session)
    , m_poller(poller)
    , m_sink(sink) {}

MonitorFeed::Watched& MonitorFeed::watched(const QString& address) {
    auto it = m_watched.find(address);
    if (it == m_watched.end())
        it = m_watched
                 .emplace(address,
                          Watched{{m_setup.offlineAfter, std::nullopt}, 0, 0, std::nullopt, false})
                 .first;
    return it->second;
}

void MonitorFeed::notReached(const QString& address) {
    watched(address).health.goOffline(kNoReply);
}

void MonitorFeed::pollingStarts() {
    for (const PolledTransmitter& t : m_poller.transmitters()) {
        watched(t.place.address);
        if (t.place.baudIndex >= 0)
            readInFull(t);
        publishState(t.place.address);
    }
}

void MonitorFeed::joined(const PolledTransmitter& transmitter) {
    watched(transmitter.place.address).fullReadDue = true;
}

void MonitorFeed::polled(const PollResult& r) {
    const QString& address = r.transmitter.place.address;
    Watched& w = watched(address);
    const QString unit =
        r.transmitter.unitCode ? unitNames().value(*r.transmitter.unitCode) : QString();
    publishReading(address, "pressure", r.pressure, unit, r.time, w.pressureSeq);
    publishReading(address, "temperature", r.temperature, QStringLiteral("°C"), r.time,
                   w.temperatureSeq);
    const bool gotValue = r.pressure.ok() || r.temperature.ok();
    const bool wasOnline = w.health.online();
    const PolledValue& failed = r.pressure.ok() ? r.temperature : r.pressure;
    if (w.health.noteCycle(gotValue, polledProblem(failed.outcome)))
        publishState(address);
    // Back online: whoever had it meanwhile may have changed it.
    if (!wasOnline && w.health.online() && w.fullReadMs)
        w.fullReadDue = true;
}

void MonitorFeed::portLost() {
    printWarning(QStringLiteral("%1 lost; reopening it once a second").arg(m_session.device()));
    for (auto& [address, w] : m_watched)
        if (w.health.goOffline(replyProblem(ReplyKind::PortLost)))
            publishState(address);
}

void MonitorFeed::portReopened() {
    printWarning(QStringLiteral("%1 reopened").arg(m_session.device()));
}

void MonitorFeed::cycleDone() {
    const qint64 now = m_session.clock().msecs();
    for (const PolledTransmitter& t : m_poller.transmitters()) {
        if (stopRequested() || t.place.baudIndex < 0)
            continue;
        Watched& w = watched(t.place.address);
        if (w.health.online() &&
            (w.fullReadDue || !w.fullReadMs || now - *w.fullReadMs >= kFullReadEveryMs))
            readInFull(t);
    }
    const long long dropped = m_sink.dropped();
    if (dropped != m_droppedTold && (!m_statusMs || now - *m_statusMs >= kStatusEveryMs)) {
        m_droppedTold = dropped;
        m_statusMs = now;
        m_sink.publishStatus();
    }
    tellLinkNotes();
}

void MonitorFeed::tellLinkNotes() {
    for (const QString& note : m_sink.takeNotes())
        printWarning(note);
}

void MonitorFeed::publishState(const QString& address) {
    m_sink.publish(
        {transmitterTopic(m_setup.prefix, address, QStringLiteral("state")),
         statePayload(watched(address).health.offlineBecause(), QDateTime::currentDateTimeUtc()),
         true});
}

void MonitorFeed::publishReading(const QString& address, const char* leaf, const PolledValue& value,
                                 const QString& unit, const QDateTime& time, long long& seq) {
    // A failed read publishes nothing: it counts towards the state.
    if (!value.ok())
        return;
    m_sink.publish({transmitterTopic(m_setup.prefix, address, QLatin1String(leaf)),
                    readingPayload(value.text, value.number, unit, time, m_setup.run, ++seq),
                    false});
}

void MonitorFeed::readInFull(const PolledTransmitter& t) {
    Watched& w = watched(t.place.address);
    TransmitterConnection transmitter(m_session.line(), t.place.address);
    transmitter.setBaudIndex(t.place.baudIndex);
    const TransmitterRead read = readTransmitter(transmitter, stopRequested);
    if (!read.notRead().isEmpty())
        return; // a stop came: a part read is no info
    w.fullReadMs = m_session.clock().msecs();
    w.fullReadDue = false;
    if (read.unitCode)
        m_poller.setUnit(t.place.address, *read.unitCode);
    const QJsonObject info = read.toJson();
    m_sink.publish(
        {transmitterTopic(m_setup.prefix, t.place.address, QStringLiteral("info")), info, true});
    // Announced again after each full read: the unit may have changed.
    if (m_setup.discoveryPrefix)
        for (const MonitorMessage& m : discoveryMessages(
                 *m_setup.discoveryPrefix, m_setup.prefix,
                 {m_setup.host, m_setup.port, t.place.address, info.value(QStringLiteral("model")),
                  info.value(QStringLiteral("version")), read.unitCode}))
            m_sink.publish(m);
}
