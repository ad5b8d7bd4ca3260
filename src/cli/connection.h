#pragma once

#include "cli/global_options.h"
#include "connection/bus_session.h"
#include "link/serial_port.h"

#include <memory>

// The bus of one run of tarnwick-cli: the core's session on the port the
// options name, opened with the failure worded for the user.
class Connection {
public:
    using RateCheck = BusSession::RateCheck;

    // Opens the port the options name. On failure, nothing after a message
    // that names the device (the command then exits with status 2);
    // portMissing, when given, tells a port that did not open (an adapter
    // not plugged in, a device server not reached) from a name or an option
    // that is wrong.
    static std::unique_ptr<Connection> open(const GlobalOptions& options,
                                            const RateCheck& beforeOpening = {},
                                            bool* portMissing = nullptr);

    ~Connection();

    BusSession& session() { return *m_session; }
    BusLine& line() { return m_session->line(); }
    SerialPort& port() { return m_session->port(); }
    const QString& device() const { return m_session->device(); }

private:
    explicit Connection(std::unique_ptr<BusSession> session);

    std::unique_ptr<BusSession> m_session;
};
