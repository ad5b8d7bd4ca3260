#pragma once

#include <QString>

class SettingsStore;

// Turns the port number the user picks (1, 2, ...) into the device the
// operating system opens. Section "Ports", key "comN" of the settings file
// names the device for port N when the default guess is wrong, for example
// com3=/dev/ttyS0 for an on-board port or a symlink made by a udev rule.
// The section is maintained by hand; nothing here writes it.
class PortDevices {
public:
    explicit PortDevices(const SettingsStore& settings);

    // The configured device of the port, else defaultDeviceName(). Empty only
    // for a number below 1 that has no configured device.
    QString deviceName(int portNumber) const;

    // Whether replies on the port take the time the line needs to carry them.
    // Key "comN.lineTiming" set to false marks a link without such timing (a
    // virtual null-modem pair with a software transmitter), where a reply may
    // be complete before the request could have crossed a real line. Any
    // other value, or none, keeps the timing on.
    bool hasLineTiming(int portNumber) const;

    // For a port whose device is a network address (rfc2217://HOST:PORT):
    // key "comN.latency" is how many milliseconds the link adds to a reply
    // (default 25), "comN.connectTimeout" how long opening may take to reach
    // the server, name lookup included (default 3000). A value must be whole
    // milliseconds, latency 0 to 10000 and connect time-out 1 to 60000; any
    // other value counts as not set, so a typing mistake gives the default
    // rather than a wait of nothing or of hours.
    int latencyMs(int portNumber) const;
    int connectTimeoutMs(int portNumber) const;

    // For a port whose device is a raw server (tcp://HOST:PORT): key
    // "comN.baud" declares the rate the server's line is set to, as written
    // (empty when not set). The address may declare it too ("?baud=N").
    QString baudSetting(int portNumber) const;
    // The rate such a port's line is fixed at; 0 for any other port, and for
    // a declaration the port refuses to open with (no rate, or two rates).
    int fixedBaud(int portNumber) const;

    // "COMn" on Windows; elsewhere the n-th USB serial adapter,
    // "/dev/ttyUSB{n-1}", because a bus is almost always wired through one.
    static QString defaultDeviceName(int portNumber);

private:
    int milliseconds(int portNumber, const char* key, int low, int high, int otherwise) const;

    const SettingsStore& m_settings;
};
