#pragma once

#include "cli/monitor_messages.h"

#include <QStringList>

#include <optional>

// Where the monitor's messages go: an MQTT broker, or stdout to try it and
// for scripts. Called from the polling thread only; a broker's client works
// on threads of its own, so no call waits on the network.
class MessageSink {
public:
    virtual ~MessageSink() = default;

    // Starts publishing: connects, or on stdout publishes the status.
    virtual void start() = 0;
    // A retained message is its topic's last value, published again at every
    // connect; any other is a reading, held in order in a bounded queue while
    // the broker cannot be reached.
    virtual void publish(const MonitorMessage& message) = 0;
    // The status, as it is now.
    virtual void publishStatus() = 0;
    // The transmitters the status names, once they change (a search found
    // one); the next status says so.
    virtual void setTransmitters(const QStringList& addresses) = 0;
    // Readings handed over and not yet acknowledged; readings dropped from a
    // full queue.
    virtual long long queued() const = 0;
    virtual long long dropped() const = 0;
    // Why the broker will not take this client (credentials, certificate):
    // no retry helps.
    virtual std::optional<QString> refusal() const = 0;
    // What happened to the link since the last call, worded for stderr.
    virtual QStringList takeNotes() = 0;
    // The clean stop: the "stopped" status, at most waitMs for the queue to
    // be acknowledged, then a disconnect (so the broker keeps the will).
    virtual void finish(int waitMs) = 0;
};
