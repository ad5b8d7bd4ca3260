#pragma once

#include "link/port_error.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The serial line as the window sees it: one port, chosen by number, with a
// line settings text such as "9600,N,8,1". Input is always delivered as text,
// a read returns everything waiting and never blocks, and the port raises no
// data events: replies are collected only by the exchange, which may block in
// waitForInput() until its deadline.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual bool isOpen() const = 0;
    // Opens the device of portNumber() with the current line settings. On
    // failure the port stays closed and lastError() tells why, naming the
    // device.
    virtual bool open() = 0;
    virtual void close() = 0;
    // What went wrong last, as facts: each program words them in its own
    // language.
    virtual PortError lastError() const = 0;

    // Port number and line settings may be set while the port is closed; they
    // keep their values across closing and opening.
    virtual void setPortNumber(int number) = 0;
    virtual int portNumber() const = 0;
    // Accepts "9600,N,8,1" and "9600,n,8,1" alike. Returns false (and keeps
    // the previous settings) for a text it cannot read.
    virtual bool setSettings(const QString& settings) = 0;
    // The settings in force, in the lower-case form "9600,n,8,1".
    virtual QString settings() const = 0;

    virtual void discardInput() = 0;
    virtual void discardOutput() = 0;
    virtual void write(const QByteArray& data) = 0;
    // Everything received so far, removed from the receive buffer; never waits.
    virtual QByteArray readAll() = 0;
    // Blocks until more input may be waiting or msecs have passed. Returns
    // false when the time ran out with nothing new.
    virtual bool waitForInput(int msecs) = 0;

    // Whether a reply takes at least the time the line needs to carry the
    // request and the reply. False for a link without such timing, where an
    // early frame is no sign of a stale one.
    virtual bool hasLineTiming() const = 0;

    // How much longer than the line itself the link may take to bring a
    // reply, in milliseconds: a device server on the network holds bytes
    // back and sends them in bunches. Added to every wait for a reply.
    virtual int latencyMs() const { return 0; }

    // The rate the line is fixed at by something the tool cannot set (a
    // device server that passes bytes through at the rate set on it), or 0
    // when setSettings() sets the rate. Such a port refuses settings with
    // another rate.
    virtual int fixedBaud() const { return 0; }

    // Called once, with the device name, when the port closes itself because
    // its device went away (an adapter pulled out). Not called for close().
    using DeviceLostHandler = std::function<void(const QString& device)>;
    virtual void setDeviceLostHandler(DeviceLostHandler handler) = 0;

    // Called when an exchange that used the port is over, so a port that
    // records the traffic can end its record of that exchange.
    virtual void exchangeEnded() {}
};
