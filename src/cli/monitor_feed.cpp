#include "cli/monitor_feed.h"

#include "cli/home_assistant.h"
#include "cli/output.h"
#include "cli/reply_words.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"
#include "link/clock.h"
#include "link/exchange.h"
#include "protocol/bus_search.h"
#include "protocol/units.h"

namespace {
constexpr qint64 kFullReadEveryMs = 3'600'000;
// The status says how many readings were dropped at most once a second.
constexpr qint64 kStatusEveryMs = 1000;
const QString kNoReply = QStringLiteral("no reply");
const QString kNotFound = QStringLiteral("not found");
// Passes a searched transmitter stays not found before its announcement to
// Home Assistant is removed.
constexpr int kPassesBeforeRemoval = 3;
// Beyond a reply's time-out, what an exchange of a full read may take.
constexpr int kStepMarginMs = 30;
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
                 .emplace(address, Watched{{m_setup.offlineAfter, std::nullopt},
                                           0,
                                           0,
                                           std::nullopt,
                                           false,
                                           false,
                                           0,
                                           false,
                                           std::nullopt})
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
        // A search tells only of what answered.
        if (!m_setup.search || t.place.baudIndex >= 0)
            publishState(t.place.address);
    }
    if (m_setup.search)
        tellTransmitters();
}

void MonitorFeed::joined(const PolledTransmitter& transmitter) {
    Watched& w = watched(transmitter.place.address);
    w.fullReadDue = true;
    // A newcomer found by the search.
    if (!w.told) {
        w.health = TransmitterHealth(m_setup.offlineAfter, std::nullopt);
        publishState(transmitter.place.address);
        tellTransmitters();
    }
}

void MonitorFeed::tellTransmitters() {
    QStringList found;
    for (const PolledTransmitter& t : m_poller.transmitters())
        if (watched(t.place.address).told)
            found.append(t.place.address);
    m_sink.setTransmitters(found);
    m_sink.publishStatus();
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
    w.failedCycles = gotValue ? 0 : w.failedCycles + 1;
    // Not found stays the reason until it answers again.
    const bool notFound = w.health.offlineBecause() == kNotFound;
    if ((gotValue || !notFound) && w.health.noteCycle(gotValue, polledProblem(failed.outcome)))
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
        if (m_setup.search)
            judgeBySearch(t.place.address, w);
        // A read begun while it answered is made again once it is back.
        if (!w.health.online()) {
            w.reading.reset();
            continue;
        }
        if (!w.reading &&
            (w.fullReadDue || !w.fullReadMs || now - *w.fullReadMs >= kFullReadEveryMs)) {
            TransmitterConnection transmitter(m_session.line(), t.place.address);
            transmitter.setBaudIndex(t.place.baudIndex);
            w.reading.emplace(transmitter);
        }
    }
    stepFullReads();
    const long long dropped = m_sink.dropped();
    if (dropped != m_droppedTold && (!m_statusMs || now - *m_statusMs >= kStatusEveryMs)) {
        m_droppedTold = dropped;
        m_statusMs = now;
        m_sink.publishStatus();
    }
    tellLinkNotes();
}

// The full reads due go in the cycles' slack, one exchange at a time, each
// only when even a time-out would end before the next cycle's slot, so the
// readings keep their schedule; cycles back to back (or late) take one
// exchange each, so a read still ends.
void MonitorFeed::stepFullReads() {
    bool stepped = false;
    for (const PolledTransmitter& t : m_poller.transmitters()) {
        Watched& w = watched(t.place.address);
        if (!w.reading)
            continue;
        TransmitterConnection transmitter(m_session.line(), t.place.address);
        transmitter.setBaudIndex(t.place.baudIndex);
        const int worstMs = replyTimeoutMsOfBaud(kBaudRates[t.place.baudIndex]) + kStepMarginMs;
        while (!w.reading->done() && !stopRequested()) {
            const qint64 slack = m_poller.msUntilNextSlot();
            if (slack < worstMs && (stepped || slack > 0))
                return;
            w.reading->step(transmitter);
            stepped = true;
        }
        if (w.reading && w.reading->done()) {
            const TransmitterRead read = w.reading->result();
            w.reading.reset();
            publishFullRead(t, read);
        }
    }
}

int MonitorFeed::passCycles() const {
    int missing = 0;
    for (const PolledTransmitter& t : m_poller.transmitters())
        missing += t.place.baudIndex < 0 ? 1 : 0;
    const int rates = m_poller.ratesProbed();
    return std::max(1, missing * rates);
}

// A transmitter that fails every read for as long as the probes take to pass
// over every missing address would not have been found by them either.
void MonitorFeed::judgeBySearch(const QString& address, Watched& w) {
    if (!w.told || w.failedCycles == 0)
        return;
    const int pass = passCycles();
    if (w.failedCycles >= pass && w.health.goOffline(kNotFound))
        publishState(address);
    if (m_setup.discoveryPrefix && w.announced && w.failedCycles >= kPassesBeforeRemoval * pass) {
        for (const MonitorMessage& m :
             discoveryRemovals(*m_setup.discoveryPrefix, m_setup.host, m_setup.port, address))
            m_sink.publish(m);
        w.announced = false;
    }
}

void MonitorFeed::tellLinkNotes() {
    for (const QString& note : m_sink.takeNotes())
        printWarning(note);
}

void MonitorFeed::publishState(const QString& address) {
    watched(address).told = true;
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
    TransmitterConnection transmitter(m_session.line(), t.place.address);
    transmitter.setBaudIndex(t.place.baudIndex);
    const TransmitterRead read = readTransmitter(transmitter, stopRequested);
    if (!read.notRead().isEmpty())
        return; // a stop came: a part read is no info
    publishFullRead(t, read);
}

void MonitorFeed::publishFullRead(const PolledTransmitter& t, const TransmitterRead& read) {
    Watched& w = watched(t.place.address);
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
    w.announced = m_setup.discoveryPrefix.has_value();
}
