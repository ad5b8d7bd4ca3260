#pragma once

#include <QString>

#include <optional>

// The options every command takes, before or after the command's name.
struct GlobalOptions {
    // "com1" to "com6", a device path or name; none for $TARNWICK_PORT, else
    // the port the window remembers.
    std::optional<QString> port;
    bool json = false;
    bool trace = false;
    // The trace into this file instead of stderr, when not empty.
    QString traceFile;
    bool noLineTiming = false;
    // For a network port: its latency and connect time-out in milliseconds,
    // as given (checked when the port opens).
    std::optional<QString> latency;
    std::optional<QString> connectTimeout;
    bool dryRun = false;
};
