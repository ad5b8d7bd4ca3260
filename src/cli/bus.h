#pragma once

#include "link/bus_line.h"
#include "link/exchange.h"

#include <QString>

class Clock;
class SerialPort;
class TracedPort;

// How a transmitter answered one exchange.
enum class Answer {
    Answered,     // a verified frame from the address asked
    NoReply,      // nothing, or too little, came back
    InvalidReply, // a frame that failed the check
    OtherAddress, // a verified frame, but another transmitter's
};

Answer classifyReply(const QString& reply, const QString& address);
// "no reply", "invalid reply", "reply from another address"; empty for an
// answer.
QString answerProblem(Answer answer);

// The bus as the commands of tarnwick-cli use it: the exchange of the core on
// one open port, with its line set to one of the four rates.
class Bus {
public:
    Bus(SerialPort& port, const Clock& clock, TracedPort* trace, const QString& device);

    SerialPort& port() { return m_port; }
    const QString& device() const { return m_device; }

    // Sets the line to the rate of a baud index (0 = 1200 ... 3 = 9600).
    bool setBaudIndex(int baudIndex);
    int baudIndex() const { return m_baudIndex; }

    // One exchange on the core's bus line, which lets the line settle after
    // a failure ("RP0" coming late into "RT0" showed a pressure as the
    // temperature); the reply text as the core's exchange returns it.
    QString exchange(const QString& address, const QString& command);

    // "AD" at 9600, 4800, 2400 and 1200 until the address answers; the line
    // is left at that rate. The baud index, or -1 when no rate answered.
    int findRate(const QString& address);

    // Whether replies came sooner than the line could carry them while no
    // frame passed: the sign of a link without line timing on a timed port.
    bool onlyEarlyFrames() const { return m_line.onlyEarlyFrames(); }

private:
    SerialPort& m_port;
    TracedPort* m_trace;
    QString m_device;
    int m_baudIndex = -1;
    BusLine m_line;
};
