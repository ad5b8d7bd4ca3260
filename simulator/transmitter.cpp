#include "simulator/transmitter.h"

#include <QtMath>

#include <array>
#include <cctype>
#include <cmath>
#include <utility>

namespace sim {

namespace {

constexpr std::array<int, 4> kBauds{1200, 2400, 4800, 9600};

// A code written as decimal digits within 0..count-1; -1 for anything else,
// including a sign, which the tool sends for an empty selection.
int parseCode(const QByteArray& payload, int count) {
    if (payload.isEmpty() || payload.size() > 3)
        return -1;
    for (char c : payload) {
        if (c < '0' || c > '9')
            return -1;
    }
    const int code = payload.toInt();
    return code < count ? code : -1;
}

QByteArray signedFixed(double value, int decimals, int integerDigits) {
    QByteArray digits = QByteArray::number(std::fabs(value), 'f', decimals);
    // Rounding decides the sign: -0.004 with two decimals reads "+000.00".
    const bool negative = value < 0 && digits.toDouble() != 0;
    const qsizetype point = digits.indexOf('.');
    const qsizetype integerPart = point < 0 ? digits.size() : point;
    if (integerPart < integerDigits)
        digits.prepend(QByteArray(integerDigits - integerPart, '0'));
    return (negative ? '-' : '+') + digits;
}

} // namespace

QByteArray formatPressure(double value, int decimals) {
    return signedFixed(value, decimals, qMax(1, 5 - decimals));
}

QByteArray formatTemperature(double celsius) {
    return signedFixed(celsius, 1, 2);
}

Transmitter::Transmitter(QByteArray address, int baud, Settings settings, QByteArray version,
                         double basePressure, double baseTemperature)
    : m_address(std::move(address))
    , m_baud(baud)
    , m_version(std::move(version))
    , m_settings(std::move(settings))
    , m_userArea(m_settings)
    , m_factoryArea(m_settings)
    , m_random(quint32(m_address.toUInt() + 1)) {
    // The pressure wanders by a small part of the measuring span, with noise in
    // the last digit or two; a range that does not read as numbers falls back
    // to a part of the base value.
    double span = std::fabs(m_settings.rangeHigh.toDouble() - m_settings.rangeLow.toDouble());
    if (span == 0)
        span = std::fabs(basePressure) + 1;
    m_pressure = {basePressure, span * 0.004, 47, span * 0.0003};
    m_temperature = {baseTemperature, 0.4, 600, 0.05};
}

bool Transmitter::isValidAddress(const QByteArray& address) {
    if (address.size() != 2 || !std::isdigit(uchar(address[0])) || !std::isdigit(uchar(address[1])))
        return false;
    return address != "00";
}

bool Transmitter::isValidBaud(int baud) {
    return baudIndex(baud) >= 0;
}

int Transmitter::baudIndex(int baud) {
    for (std::size_t i = 0; i < kBauds.size(); ++i) {
        if (kBauds[i] == baud)
            return int(i);
    }
    return -1;
}

int Transmitter::baudFromIndex(int index) {
    return index >= 0 && index < int(kBauds.size()) ? kBauds[std::size_t(index)] : 0;
}

double Transmitter::sample(const Drift& drift, double seconds) {
    const double wave = drift.amplitude * std::sin(2 * M_PI * seconds / drift.periodSeconds);
    const double jitter = drift.noise * (2 * m_random.generateDouble() - 1);
    return drift.base + wave + jitter;
}

double Transmitter::pressure(double seconds) {
    return sample(m_pressure, seconds) - m_settings.zeroOffset;
}

QByteArray Transmitter::pressureReading(double seconds) {
    return formatPressure(pressure(seconds), m_settings.decimals);
}

QByteArray Transmitter::temperatureReading(double seconds) {
    return formatTemperature(sample(m_temperature, seconds));
}

std::optional<Transmitter::Answer> Transmitter::handle(const QByteArray& command, double seconds) {
    const QByteArray name = command.left(2);
    const QByteArray payload = command.mid(2);

    // The text settings: read without payload, store the payload exactly as
    // sent and echo it back.
    QByteArray* text = nullptr;
    if (name == "TY")
        text = &m_settings.model;
    else if (name == "ID")
        text = &m_settings.id;
    else if (name == "DL")
        text = &m_settings.rangeLow;
    else if (name == "DH")
        text = &m_settings.rangeHigh;
    else if (name == "OL")
        text = &m_settings.output4mA;
    else if (name == "OH")
        text = &m_settings.output20mA;
    else if (name == "ZF")
        text = &m_settings.trim4mA;
    else if (name == "FF")
        text = &m_settings.trim20mA;
    if (text) {
        if (!payload.isEmpty())
            *text = payload;
        return Answer{*text, {}};
    }

    if (name == "UT" || name == "DP") {
        int& value = name == "UT" ? m_settings.unit : m_settings.decimals;
        if (!payload.isEmpty()) {
            const int code = parseCode(payload, name == "UT" ? kUnitCodeCount : kDecimalsCodeCount);
            if (code < 0)
                return std::nullopt;
            value = code;
        }
        return Answer{QByteArray::number(value), {}};
    }

    if (name == "AD") {
        if (payload.isEmpty())
            return Answer{m_address, {}};
        if (!isValidAddress(payload))
            return std::nullopt;
        m_address = payload;
        return Answer{m_address, {}};
    }

    if (name == "BD") {
        const int baud = payload.size() == 1 ? baudFromIndex(payload[0] - '0') : 0;
        if (baud == 0)
            return std::nullopt;
        return Answer{payload, baud};
    }

    if (command == "VR")
        return Answer{m_version, {}};
    if (command == "RP0")
        return Answer{pressureReading(seconds), {}};
    if (command == "RT0")
        return Answer{temperatureReading(seconds), {}};
    if (command == "SZ") {
        // The present pressure becomes zero; the reply is a fresh reading,
        // zero give or take its noise.
        m_settings.zeroOffset += pressure(seconds);
        return Answer{pressureReading(seconds), {}};
    }
    if (command == "WU") {
        m_userArea = m_settings;
        return Answer{"OK", {}};
    }
    if (command == "WF") {
        m_factoryArea = m_settings;
        return Answer{"OK", {}};
    }
    if (command == "LD") {
        m_settings = m_factoryArea;
        return Answer{"OK", {}};
    }
    return std::nullopt;
}

} // namespace sim
