#pragma once

#include "connection/bus_session.h"
#include "connection/transmitter_connection.h"
#include "connection/transmitter_place.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <optional>

// One pressure or temperature read of a cycle: the value the transmitter
// sent, or what went wrong. A lost reading is never a 0.
struct PolledValue {
    enum class Outcome {
        Value,
        NoReply,
        NoData,
        InvalidReply,
        OtherAddress,
        NotAReading, // a verified reply whose data is no number
        PortLost,
    };

    Outcome outcome = Outcome::NoReply;
    QString text;      // as sent, for a value
    double number = 0; // its number, for a value

    bool ok() const { return outcome == Outcome::Value; }
};

// The mean, lowest and highest of the values of one quantity.
struct ValueStatistics {
    int count = 0;
    double sum = 0;
    double low = 0;
    double high = 0;

    void note(double value);
    double mean() const { return count ? sum / count : 0; }
};

// One transmitter of a poll: where it answers, its unit and what it gave.
struct PolledTransmitter {
    TransmitterPlace place;      // its baud index -1 until it answers
    std::optional<int> unitCode; // none when "UT" gave no unit code
    // Whether "UT" was answered with data (a code or not): until then it is
    // asked again before the transmitter's reads of each cycle.
    bool unitAnswered = false;
    int cycles = 0;
    int readings = 0;
    int retries = 0;       // reads sent again
    int missingCycles = 0; // cycles it answered at no rate
    std::map<PolledValue::Outcome, int> failures;
    ValueStatistics pressure;
    ValueStatistics temperature;
};

// One transmitter in one cycle.
struct PollResult {
    const PolledTransmitter& transmitter;
    // Taken before its first read: the wall clock, and the poller's clock.
    QDateTime time;
    qint64 clockMs = 0;
    PolledValue pressure;
    PolledValue temperature;
};

// The polling of a bus's transmitters: finds each one's rate and reads its
// unit, then reads pressure ("RP0") and temperature ("RT0") of each on a
// fixed schedule (cycle n starts at n intervals after the first; the slots an
// overrun passes over are counted, never caught up), sending a failed read
// again up to `retries` times after the line's wait, and reopening a lost
// port once a second. Polling starts with the transmitters that answer; one
// that answers at no rate is probed again after each cycle's reads, one
// address at one rate a cycle, and joins once it answers. A unit that was not
// answered is asked again before the transmitter's reads of each cycle. It
// only ever reads, and says nothing itself: a program is handed every result
// and event and words them. Runs on the thread that opened the session (its
// ports belong to that thread and run without an event loop); stop() may
// come from any thread.
class BusPoller {
public:
    struct Options {
        QList<QString> addresses;
        int baudIndex = -1; // -1: each one's rate found with "AD" probes
        int intervalMs = 500;
        int count = 0; // cycles; 0: until stopped
        int retries = 0;
        // Consulted with stop() at the same points: a signal handler's flag.
        std::function<bool()> stopRequested;
        // Polls even when none answers at the start, every one of them
        // probed until it does: a service started before its bus.
        bool pollWhenNoneAnswers = false;
    };

    class Observer {
    public:
        virtual ~Observer() = default;
        // A transmitter that did not answer at the rate given, or at none,
        // at the start.
        virtual void notReached(const QString& address) { Q_UNUSED(address); }
        // Its "UT" reply, which gave no unit code, at the start or when it
        // joins, and when asked again it answers with no code.
        virtual void unitNotRead(const QString& address, const Exchanged& reply) {
            Q_UNUSED(address);
            Q_UNUSED(reply);
        }
        // A unit code read after the start (unit asked again).
        virtual void unitRead(const PolledTransmitter& transmitter) { Q_UNUSED(transmitter); }
        // A missing transmitter answered a probe; its rows follow.
        virtual void joined(const PolledTransmitter& transmitter) { Q_UNUSED(transmitter); }
        // At least one transmitter answered; the cycles begin.
        virtual void pollingStarts() {}
        virtual void polled(const PollResult& result) = 0;
        virtual void portLost() {}
        virtual void portReopened() {}
        // A cycle's reads and probe are done: the line is the observer's,
        // for reads of its own, until it returns (msUntilNextSlot() says
        // how long it may take without pushing the next cycle late).
        virtual void cycleDone() {}
    };

    enum class End {
        Polled,             // the count was reached, or a stop came while polling
        NoneReached,        // after notReached() for every one
        StoppedWhileFinding // before any cycle
    };

    BusPoller(BusSession& session, Options options);

    End run(Observer& observer);
    void stop() { m_stop = true; }
    bool stopped() const;

    // Every transmitter asked for, in the order given, missing ones too.
    const QList<PolledTransmitter>& transmitters() const { return m_transmitters; }
    // A unit the observer read itself (someone changed it), for the rows
    // from now on.
    void setUnit(const QString& address, int unitCode);
    // From now to the start of the next cycle's slot; 0 when the cycles run
    // back to back or this one has overrun.
    qint64 msUntilNextSlot() const;
    // The rates a missing transmitter is probed at, one a cycle.
    int ratesProbed() const;
    // Slots passed over by cycles that overran, the last cycle's aside.
    long long missedSlots() const { return m_missed; }

private:
    bool findTransmitters(Observer& observer);
    Exchanged readUnit(PolledTransmitter& polled, TransmitterConnection& transmitter);
    void readFirstUnit(PolledTransmitter& polled, TransmitterConnection& transmitter,
                       Observer& observer);
    void pollCycles(Observer& observer);
    void pollOne(PolledTransmitter& polled, Observer& observer);
    void probeMissing(Observer& observer);
    QList<int> probeRates() const;
    PolledValue read(PolledTransmitter& polled, TransmitterConnection& transmitter,
                     Command command);
    void ensureOpen(Observer& observer);
    void waitUntil(qint64 clockMs);

    BusSession& m_session;
    Options m_options;
    std::atomic<bool> m_stop{false};
    QList<PolledTransmitter> m_transmitters;
    long long m_missed = 0;
    // The schedule: when the first cycle started, and this cycle's slot.
    qint64 m_startMs = 0;
    long long m_slot = 0;
    // The next probe: the missing transmitter and the rate, by position.
    int m_probeTransmitter = 0;
    int m_probeRate = 0;
    bool m_lost = false;
    std::optional<qint64> m_lastReopenMs;
};
