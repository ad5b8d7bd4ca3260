#pragma once

#include "link/bus_line.h"
#include "link/clock.h"
#include "link/network_address.h"
#include "link/port_error.h"

#include <QString>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class SerialPort;
class SettingsStore;

// The bus a program other than the window works on: the port a name names,
// opened, with its tracing, latency and fixed rate, and the line every
// exchange of the run goes through, so a failure's wait holds across
// transmitters and commands. The window opens and closes its port from its
// own menu instead.
//
// A port name is com1 to com6 (the device the settings' [Ports] section maps
// it to), a path, a bare name (a file of that name in the current folder,
// else the device under /dev), rfc2217://HOST:PORT or tcp://HOST:PORT with its
// declared rate. None: the port the window remembers.
struct BusSessionOptions {
    std::optional<QString> port;
    // A link without line timing (a software simulator on a pseudo-terminal).
    bool noLineTiming = false;
    // A network port's figures; none: the settings', else the defaults.
    std::optional<int> latencyMs;
    std::optional<int> connectTimeoutMs;
    // Every frame written to traceFile when given, and to traceStream when
    // trace is set.
    bool trace = false;
    QString traceFile;
    std::FILE* traceStream = stderr;
    // The settings the [Ports] mapping comes from; none: the window's file.
    const SettingsStore* settings = nullptr;
};

// Why a bus did not open, as facts for a program to word.
struct BusOpenFailure {
    enum class Kind {
        EmptyName,       // the name is blank
        BadAddress,      // a network address that is malformed: addressProblem
        UnknownScheme,   // "something://" of no kind the tool knows
        RateRefused,     // the caller's check refused the port's fixed rate
        PortNotOpened,   // port, and for a network port networkMessage
        TraceNotWritten, // the trace file did not open: system
    };

    Kind kind = Kind::PortNotOpened;
    QString given; // the name as given
    NetworkAddress::Problem addressProblem = NetworkAddress::Problem::None;
    QString addressParameter; // the unknown parameter's name
    PortError port;           // its device as an absolute path
    // 0 for a device the name gave; else the com number.
    int portNumber = 0;
    // A bare name that was looked for under /dev because the current folder
    // (folder) has no such file; empty otherwise.
    QString bareName;
    QString folder;
    QString system; // the system's message for the trace file
};

class BusSession {
public:
    // Told the rate the port's line is fixed at (0: the program sets it)
    // before the port opens; false refuses to open it.
    using RateCheck = std::function<bool(int fixedBaud)>;
    using Opened = std::variant<std::unique_ptr<BusSession>, BusOpenFailure>;

    static Opened open(const BusSessionOptions& options, const RateCheck& beforeOpening = {});

    // A session on a port that is already open (a fake bus), named device;
    // the port and the clock must outlive it.
    BusSession(SerialPort& port, Clock& clock, QString device);
    ~BusSession();

    BusSession(const BusSession&) = delete;
    BusSession& operator=(const BusSession&) = delete;

    BusLine& line() { return *m_line; }
    // The port as the line sees it, traced when asked.
    SerialPort& port() { return *m_port; }
    Clock& clock() { return *m_clock; }
    // The device the port opened, as the user knows it.
    const QString& device() const { return m_device; }

    // Opens the port again, at the line settings it had, after its device
    // went away and came back.
    bool reopen();

private:
    struct Owned;
    BusSession(std::unique_ptr<Owned> owned, SerialPort& port, Clock& clock, QString device);

    // Declared first, so the line goes before the port it uses.
    std::unique_ptr<Owned> m_owned;
    SerialPort* m_port;
    Clock* m_clock;
    QString m_device;
    std::unique_ptr<BusLine> m_line;
};
