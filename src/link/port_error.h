#pragma once

#include <QString>

// What went wrong with a port, as facts: each program words it in its own
// language (the window in Chinese, tarnwick-cli in English).
struct PortError {
    enum class Kind {
        None,
        NoSuchPort,          // no device for the port number
        NotFound,            // the device does not exist
        InUse,               // another program holds it
        NoAccess,            // the user may not open it
        InUseOrNoAccess,     // one of the two; the system does not tell which
        OpenSettingsRefused, // opened, but the line settings were refused
        SettingsRefused,     // the line settings refused on an open port
        Lost,                // the device went away while open
        Other,               // the system's message says what
    };

    Kind kind = Kind::None;
    int portNumber = 0;
    QString device;   // as the user knows it
    QString settings; // the line settings refused
    QString system;   // the system's own message, where it helps
};

// The window's wording of a port error, as its message boxes and status
// panel show it.
QString portErrorText(const PortError& error);
