#pragma once

#include "link/network_address.h"

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

        // A device server on the network (device: its address).
        BadAddress,           // addressProblem
        LookupTimedOut,       // no answer for host within milliseconds
        HostNotFound,         // host
        ConnectTimedOut,      // no answer within milliseconds
        ConnectRefused,       // nothing listens there
        ConnectFailed,        // system
        Rfc2217Refused,       // it refused the Com Port Control option
        Rfc2217Closed,        // it closed the connection without agreeing
        Rfc2217NoAgreement,   // no agreement within milliseconds
        OpenRateRefused,      // while opening, it set another rate than settings
        OpenRateNotConfirmed, // while opening, it did not confirm settings
        ServerClosed,         // it closed the connection while opening
        BadRateSetting,       // the setting's value is no rate
        RateConflict,         // baud in the address, another in the setting
        RateFixed,            // a raw server's line is at baud, not otherBaud
        RateRefused,          // on an open port: settings refused, baud set instead
        RateNotConfirmed,     // on an open port: settings not confirmed within milliseconds
        ConnectionLost,       // the connection to the server broke
    };

    Kind kind = Kind::None;
    int portNumber = 0;
    QString device = {};   // as the user knows it
    QString settings = {}; // the line settings refused
    QString system = {};   // the system's own message, where it helps
    QString host = {};
    int milliseconds = 0;
    int baud = 0;
    int otherBaud = 0;
    QString setting = {}; // a settings key, and its value as written
    QString value = {};
    NetworkAddress::Problem addressProblem = NetworkAddress::Problem::None;
};
