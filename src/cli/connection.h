#pragma once

#include "cli/cli_settings.h"
#include "cli/global_options.h"
#include "cli/traced_port.h"
#include "link/bus_line.h"
#include "link/clock.h"
#include "link/device_port.h"
#include "link/port_devices.h"
#include "link/qt_settings_store.h"

#include <cstdio>
#include <functional>
#include <memory>

// The open port of one run of tarnwick-cli, with everything it hangs on.
class Connection {
public:
    // Told the rate the port's line is fixed at (0: the tool sets it) before
    // the port opens; false stops the run there, after its message.
    using RateCheck = std::function<bool(int fixedBaud)>;

    // Opens the port the options name. On failure, nothing after a message
    // that names the device (the command then exits with status 2).
    static std::unique_ptr<Connection> open(const GlobalOptions& options,
                                            const RateCheck& beforeOpening = {});

    ~Connection();

    // The core's bus line on the open port: every exchange of the run goes
    // through it, so a failure's wait holds across transmitters and commands.
    BusLine& line() { return *m_line; }
    SerialPort& port() { return m_line->port(); }
    // The device the port opened, as the user knows it.
    const QString& device() const { return m_device; }
    // Opens the port again after its device went away and came back.
    bool reopen();

private:
    Connection();

    QtSettingsStore m_file;
    CliSettings m_settings{m_file};
    PortDevices m_devices{m_settings};
    DevicePort m_port{m_devices};
    std::FILE* m_traceFile = nullptr;
    std::unique_ptr<TracedPort> m_traced;
    SteadyClock m_clock;
    QString m_device;
    std::unique_ptr<BusLine> m_line;
};
