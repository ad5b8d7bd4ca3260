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
    bool dryRun = false;
};
