#pragma once

#include "cli/cli_command.h"
#include "cli/paho_sink.h"
#include "connection/bus_poller.h"

#include <optional>

// What one run of the monitor does, from its command line and, where that
// gives none, its configuration file.
struct MonitorOptions {
    BusPoller::Options poller;
    int offlineAfter = 3;
    QString topicPrefix;
    // The addresses are a range to search: only those that answer are
    // monitored, the rest probed in each cycle's slack.
    bool search = false;
    // Home Assistant's discovery prefix; none: no discovery messages.
    std::optional<QString> discoveryPrefix;
    // Who and where this monitor is, for the names of what it announces.
    QString host;
    QString port;
    // None: every message on stdout.
    std::optional<BrokerSettings> broker;
};

void addMonitorOptions(QCommandLineParser& parser);

// The options, each refusal printed: nothing after any. The configuration's
// global options (port, latency, ...) go into the context's where the
// command line gives none.
std::optional<MonitorOptions> monitorOptions(CommandContext& context);
