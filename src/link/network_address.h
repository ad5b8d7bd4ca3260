#pragma once

#include <QString>

#include <optional>

// A serial line reached through a device server on the network, written
// where a device name goes ([Ports] comN=...):
//   rfc2217://HOST:PORT          the server speaks Telnet with the Com Port
//                                Control option; the tool sets its line.
//   tcp://HOST:PORT[?baud=N]     the server passes bytes through unchanged
//                                and its line is fixed at N baud (1200, 2400,
//                                4800 or 9600; 9600 when not given).
// HOST is a name, an IPv4 address or an IPv6 address in brackets. The scheme
// is read in either case; nothing else is allowed, so a typing mistake is
// refused rather than half understood.
struct NetworkAddress {
    enum class Mode { Rfc2217, Raw };

    // Why a text is no address, so the message can say what to correct.
    enum class Problem {
        None,
        NoScheme,      // no "scheme://"
        UnknownScheme, // neither rfc2217 nor tcp
        EmptyHost,
        NoPort,
        BadPort,          // not a number from 1 to 65535
        BadBaud,          // tcp:// with a rate the transmitters do not use
        UnknownParameter, // tcp://...?NAME=... with a NAME other than baud
        Junk,             // anything else: a path, a query, stray characters
    };

    Mode mode = Mode::Rfc2217;
    QString host;
    quint16 port = 0;
    // The fixed rate of a raw link; 0 for rfc2217://, whose rate is set.
    int baud = 0;
    // Whether the address itself names the rate ("?baud=N").
    bool baudGiven = false;

    // parameter, when given, learns the name of an unknown parameter.
    static std::optional<NetworkAddress> parse(const QString& text, Problem* problem = nullptr,
                                               QString* parameter = nullptr);
    // The canonical form, "rfc2217://host:port" or "tcp://host:port?baud=N".
    QString text() const;
};

// The rate a raw link's line is fixed at. The address ("?baud=N") and the
// port's setting (setting: its text, empty when not set) may each declare it;
// when both do they must agree, and when neither does it is 9600. What goes
// wrong with the declaration, so a message can name the setting.
struct FixedRate {
    enum class Problem {
        None,
        BadSetting, // the setting is not 1200, 2400, 4800 or 9600
        Conflict,   // the address and the setting name different rates
    };
    int baud = 0; // 0 unless problem is None
    Problem problem = Problem::None;
};
FixedRate fixedRateOf(const NetworkAddress& rawAddress, const QString& setting);
// The same for a device name: the rate a raw server's line is fixed at, or 0
// for any other device and for a declaration that is refused.
int fixedBaudOf(const QString& deviceName, const QString& setting);

// Whether a device name is meant as a network address: it starts with
// "scheme://". Such a name is never a device file, even when parse() refuses
// it.
bool isNetworkAddress(const QString& deviceName);
