#pragma once

#include "cli/message_sink.h"
#include "cli/transmitter_health.h"
#include "cli/transmitter_read.h"
#include "connection/bus_poller.h"

#include <QDateTime>

#include <map>
#include <optional>

// The poller's results turned into the monitor's messages: every reading
// with its unit and sequence number, each transmitter's health as it
// changes, and its full read (the info) at the start, whenever it comes back
// online and once an hour, so a unit changed by someone else reaches the
// readings. It only ever reads.
class MonitorFeed final : public BusPoller::Observer {
public:
    struct Setup {
        QString prefix;
        int offlineAfter = 3;
        QDateTime run;
        // Home Assistant's discovery prefix, and the host and port its
        // device names come from; no prefix: no announcement.
        std::optional<QString> discoveryPrefix;
        // Only transmitters that answered are told of; one whose reads fail
        // for a whole pass of the probes is not found.
        bool search = false;
        QString host;
        QString port;
    };

    MonitorFeed(Setup setup, BusSession& session, BusPoller& poller, MessageSink& sink);

    void notReached(const QString& address) override;
    void pollingStarts() override;
    void joined(const PolledTransmitter& transmitter) override;
    void polled(const PollResult& result) override;
    void portLost() override;
    void portReopened() override;
    void cycleDone() override;

private:
    struct Watched {
        TransmitterHealth health;
        long long pressureSeq = 0;
        long long temperatureSeq = 0;
        std::optional<qint64> fullReadMs;
        bool fullReadDue = false;
        bool told = false;      // its state was published
        int failedCycles = 0;   // in a row
        bool announced = false; // to Home Assistant, and not removed since
        // A full read under way between cycles.
        std::optional<StepwiseRead> reading;
    };

    Watched& watched(const QString& address);
    void publishState(const QString& address);
    void publishReading(const QString& address, const char* leaf, const PolledValue& value,
                        const QString& unit, const QDateTime& time, long long& seq);
    // At the start, before any cycle: the whole read at once.
    void readInFull(const PolledTransmitter& transmitter);
    void stepFullReads();
    void publishFullRead(const PolledTransmitter& transmitter, const TransmitterRead& read);
    void tellLinkNotes();
    // Cycles one pass of the probes over the missing addresses takes.
    int passCycles() const;
    void judgeBySearch(const QString& address, Watched& w);
    void tellTransmitters();

    Setup m_setup;
    BusSession& m_session;
    BusPoller& m_poller;
    MessageSink& m_sink;
    std::map<QString, Watched> m_watched;
    long long m_droppedTold = 0;
    std::optional<qint64> m_statusMs;
};
