#include "connection/bus_poller.h"

#include "connection/poll_schedule.h"
#include "connection/setting_keys.h"
#include "link/reply_value.h"
#include "link/serial_port.h"
#include "protocol/bus_search.h"

#include <algorithm>

namespace {
constexpr qint64 kReopenIntervalMs = 1000;
// Waits are cut into slices this long, so a stop is seen soon.
constexpr int kWaitSliceMs = 20;

PolledValue::Outcome outcomeOf(ReplyKind kind) {
    switch (kind) {
    case ReplyKind::Data:
        break;
    case ReplyKind::NoData:
        return PolledValue::Outcome::NoData;
    case ReplyKind::NoReply:
        return PolledValue::Outcome::NoReply;
    case ReplyKind::InvalidFrame:
        return PolledValue::Outcome::InvalidReply;
    case ReplyKind::OtherAddress:
        return PolledValue::Outcome::OtherAddress;
    case ReplyKind::PortLost:
        return PolledValue::Outcome::PortLost;
    }
    return PolledValue::Outcome::Value;
}

PolledValue valueOf(const Exchanged& reply) {
    PolledValue v;
    v.outcome = outcomeOf(reply.kind);
    if (v.ok() && !isReading(reply.reply))
        v.outcome = PolledValue::Outcome::NotAReading;
    if (v.ok()) {
        v.text = reply.value();
        v.number = numericValue(v.text);
    }
    return v;
}
} // namespace

void ValueStatistics::note(double value) {
    low = count ? std::min(low, value) : value;
    high = count ? std::max(high, value) : value;
    ++count;
    sum += value;
}

BusPoller::BusPoller(BusSession& session, Options options)
    : m_session(session)
    , m_options(std::move(options)) {}

bool BusPoller::stopped() const {
    return m_stop || (m_options.stopRequested && m_options.stopRequested());
}

BusPoller::End BusPoller::run(Observer& observer) {
    if (!findTransmitters(observer)) {
        if (stopped())
            return End::StoppedWhileFinding;
        if (!m_options.pollWhenNoneAnswers)
            return End::NoneReached;
    }
    observer.pollingStarts();
    pollCycles(observer);
    return End::Polled;
}

void BusPoller::setUnit(const QString& address, int unitCode) {
    for (PolledTransmitter& polled : m_transmitters)
        if (polled.place.address == address) {
            polled.unitCode = unitCode;
            polled.unitAnswered = true;
        }
}

bool BusPoller::findTransmitters(Observer& observer) {
    bool any = false;
    const auto stop = [this] { return stopped(); };
    for (const QString& address : m_options.addresses) {
        if (stopped())
            return false;
        PolledTransmitter polled;
        polled.place = {address, -1};
        TransmitterConnection transmitter(m_session.line(), address);
        polled.place.baudIndex = transmitter.reachRate(m_options.baudIndex, stop);
        if (polled.place.baudIndex < 0) {
            observer.notReached(address);
        } else {
            readFirstUnit(polled, transmitter, observer);
            any = true;
        }
        m_transmitters.append(polled);
    }
    return any && !stopped();
}

Exchanged BusPoller::readUnit(PolledTransmitter& polled, TransmitterConnection& transmitter) {
    const Exchanged unit = transmitter.exchange(Command::Unit);
    polled.unitAnswered = unit.kind == ReplyKind::Data;
    if (polled.unitAnswered)
        polled.unitCode = codeValue(unit.value(), kHighestUnitCode);
    return unit;
}

void BusPoller::readFirstUnit(PolledTransmitter& polled, TransmitterConnection& transmitter,
                              Observer& observer) {
    const Exchanged unit = readUnit(polled, transmitter);
    if (!polled.unitCode)
        observer.unitNotRead(polled.place.address, unit);
}

void BusPoller::pollCycles(Observer& observer) {
    Clock& clock = m_session.clock();
    const qint64 startMs = clock.msecs();
    m_startMs = startMs;
    long long slot = 0;
    int cycles = 0;
    while (!stopped() && (m_options.count == 0 || cycles < m_options.count)) {
        waitUntil(startMs + slot * m_options.intervalMs);
        if (stopped())
            break;
        ensureOpen(observer);
        for (PolledTransmitter& polled : m_transmitters) {
            if (stopped())
                break;
            if (polled.place.baudIndex < 0)
                ++polled.missingCycles;
            else
                pollOne(polled, observer);
        }
        if (!stopped())
            probeMissing(observer);
        m_slot = slot;
        if (!stopped())
            observer.cycleDone();
        ++cycles;
        const NextSlot next = nextSlot(slot, clock.msecs() - startMs, m_options.intervalMs);
        // The last cycle has no next slot to miss.
        if (m_options.count == 0 || cycles < m_options.count)
            m_missed += next.missed;
        slot = next.slot;
    }
}

void BusPoller::pollOne(PolledTransmitter& polled, Observer& observer) {
    TransmitterConnection transmitter(m_session.line(), polled.place.address);
    transmitter.setBaudIndex(polled.place.baudIndex);
    const QDateTime time = QDateTime::currentDateTime();
    const qint64 clockMs = m_session.clock().msecs();
    // Asked again until answered; a failed answer was told at the start.
    if (!polled.unitAnswered) {
        const Exchanged unit = readUnit(polled, transmitter);
        if (polled.unitCode)
            observer.unitRead(polled);
        else if (polled.unitAnswered)
            observer.unitNotRead(polled.place.address, unit);
    }
    const PolledValue pressure = read(polled, transmitter, Command::Pressure);
    const PolledValue temperature = read(polled, transmitter, Command::Temperature);
    ++polled.cycles;
    for (const PolledValue* v : {&pressure, &temperature}) {
        if (v->ok())
            ++polled.readings;
        else
            ++polled.failures[v->outcome];
    }
    if (pressure.ok())
        polled.pressure.note(pressure.number);
    if (temperature.ok())
        polled.temperature.note(temperature.number);
    observer.polled({polled, time, clockMs, pressure, temperature});
}

// Reads only are sent again: a write whose echo was lost may well have been
// stored.
PolledValue BusPoller::read(PolledTransmitter& polled, TransmitterConnection& transmitter,
                            Command command) {
    PolledValue v = valueOf(transmitter.exchange(command));
    for (int i = 0; i < m_options.retries && !v.ok() && !stopped(); ++i) {
        ++polled.retries;
        v = valueOf(transmitter.exchange(command));
    }
    return v;
}

QList<int> BusPoller::probeRates() const {
    return m_options.baudIndex >= 0 ? QList<int>{m_options.baudIndex}
                                    : searchBaudIndexes(m_session.port().fixedBaud());
}

qint64 BusPoller::msUntilNextSlot() const {
    if (m_options.intervalMs <= 0)
        return 0;
    const qint64 next = m_startMs + (m_slot + 1) * m_options.intervalMs;
    return std::max<qint64>(0, next - m_session.clock().msecs());
}

int BusPoller::ratesProbed() const {
    return int(probeRates().size());
}

// One missing transmitter at one rate: a cycle's slack is never more than
// one probe, so readings keep their pace however many are missing.
void BusPoller::probeMissing(Observer& observer) {
    if (!m_session.port().isOpen())
        return;
    const QList<int> rates = probeRates();
    for (int looked = 0; looked < m_transmitters.size(); ++looked) {
        m_probeTransmitter %= int(m_transmitters.size());
        PolledTransmitter& polled = m_transmitters[m_probeTransmitter];
        if (polled.place.baudIndex >= 0) {
            ++m_probeTransmitter;
            m_probeRate = 0;
            continue;
        }
        const int rate = rates.value(m_probeRate);
        if (++m_probeRate >= rates.size()) {
            m_probeRate = 0;
            ++m_probeTransmitter;
        }
        TransmitterConnection probe(m_session.line(), polled.place.address);
        if (probe.setBaudIndex(rate) && probe.answersAddress()) {
            polled.place.baudIndex = rate;
            observer.joined(polled);
            readFirstUnit(polled, probe, observer);
        }
        return;
    }
}

// Keeps a lost port trying to come back, without hammering the device.
void BusPoller::ensureOpen(Observer& observer) {
    if (m_session.port().isOpen())
        return;
    if (!m_lost) {
        m_lost = true;
        observer.portLost();
    }
    const qint64 now = m_session.clock().msecs();
    if (m_lastReopenMs && now - *m_lastReopenMs < kReopenIntervalMs)
        return;
    m_lastReopenMs = now;
    if (m_session.reopen()) {
        m_lost = false;
        observer.portReopened();
    }
}

void BusPoller::waitUntil(qint64 clockMs) {
    Clock& clock = m_session.clock();
    while (!stopped()) {
        const qint64 left = clockMs - clock.msecs();
        if (left <= 0)
            return;
        clock.sleepMs(int(std::min<qint64>(left, kWaitSliceMs)));
    }
}
