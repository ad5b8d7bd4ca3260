#pragma once

#include "simulator/faults.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <optional>

namespace sim {

constexpr int kUnitCodeCount = 7;            // 0 kPa ... 6 unknown
constexpr int kHighestReportedUnitCode = 99; // in a bus file, beyond the codes a "UT" write takes
constexpr int kDecimalsCodeCount = 5;        // 0 to 4 places

// What the data areas hold. The bus address and the baud rate stay out: a
// restore that moved a transmitter to another address or rate would lose it
// from the tool that asked for the restore.
struct Settings {
    QByteArray model;
    QByteArray id;
    int unit = 0;
    int decimals = 2;
    QByteArray rangeLow;
    QByteArray rangeHigh;
    QByteArray output4mA;
    QByteArray output20mA;
    QByteArray trim4mA;
    QByteArray trim20mA;
    double zeroOffset = 0; // subtracted from every pressure reading

    bool operator==(const Settings&) const = default;
};

// A pressure as the transmitter writes it: sign, integer digits padded to fill
// five digit places together with the decimals, and the decimals:
// 12.34 with 2 decimals is "+012.34", with 0 decimals "+00012".
QByteArray formatPressure(double value, int decimals);
// A temperature with one decimal and at least two integer digits: "+23.5".
QByteArray formatTemperature(double celsius);

// The base of a slowly drifting quantity: the reading is the base plus a slow
// sine of the given amplitude and period plus uniform noise.
struct Drift {
    double base = 0;
    double amplitude = 0;
    double periodSeconds = 60;
    double noise = 0;
};

// One simulated transmitter: its settings, data areas, live readings and the
// command set it answers. Knows nothing of the line; the bus decides whether
// a request reaches it, and shapes and times the reply.
class Transmitter {
public:
    Transmitter(QByteArray address, int baud, Settings settings, QByteArray version,
                double basePressure, double baseTemperature);

    struct Answer {
        QByteArray data; // what follows the address echo in the reply body
        // A baud change takes effect after the reply has been written, or the
        // tool would never hear the acknowledgement.
        std::optional<int> baudAfterReply;
    };

    // The transmitter's answer to one command (name plus payload), at the
    // given time in seconds. No value: it gives no reply, and nothing changed.
    std::optional<Answer> handle(const QByteArray& command, double seconds);

    QByteArray address() const { return m_address; }
    int baud() const { return m_baud; }
    void setBaud(int baud) { m_baud = baud; }
    // How long it takes from the end of a request to the start of its reply,
    // in milliseconds: the transmitter's own reaction, not the line's.
    int turnaroundMs() const { return m_turnaroundMs; }
    void setTurnaroundMs(int ms) { m_turnaroundMs = ms; }
    static constexpr int kMaxTurnaroundMs = 1000;
    QByteArray version() const { return m_version; }
    const Settings& settings() const { return m_settings; }
    const Settings& userArea() const { return m_userArea; }
    const Settings& factoryArea() const { return m_factoryArea; }
    double basePressure() const { return m_pressure.base; }
    double baseTemperature() const { return m_temperature.base; }

    FaultTable& faults() { return m_faults; }
    const FaultTable& faults() const { return m_faults; }

    // The live readings as the transmitter reports them; each call draws new
    // noise, as a real reading would differ from the one before.
    QByteArray pressureReading(double seconds);
    QByteArray temperatureReading(double seconds);

    static bool isValidAddress(const QByteArray& address);
    static bool isValidBaud(int baud);
    // 0..3 for 1200..9600, as the "BD" command numbers them; -1 otherwise.
    static int baudIndex(int baud);
    static int baudFromIndex(int index);

private:
    double sample(const Drift& drift, double seconds);
    double pressure(double seconds);

    QByteArray m_address;
    int m_baud;
    int m_turnaroundMs = 0;
    QByteArray m_version;
    Settings m_settings;
    Settings m_userArea;
    Settings m_factoryArea;
    Drift m_pressure;
    Drift m_temperature;
    FaultTable m_faults;
    QRandomGenerator m_random;
};

} // namespace sim
