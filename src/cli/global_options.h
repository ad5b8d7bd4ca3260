#pragma once

#include <QString>

// The options every command takes, before or after the command's name.
struct GlobalOptions {
    // "com1" to "com6", a device path, or empty for the port the window
    // remembers.
    QString port;
    bool json = false;
    bool trace = false;
    bool noLineTiming = false;
    bool dryRun = false;
};
