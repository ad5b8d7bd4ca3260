#include "protocol/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {
bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The number of ASCII digits at text[from] onwards.
qsizetype digitsAt(QStringView text, qsizetype from) {
    qsizetype at = from;
    while (at < text.size() && isAsciiDigit(text[at]))
        ++at;
    return at - from;
}

// Adds one to the last digit of a string of digits, carrying to the left.
void incrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}
// Splits the shortest decimal form of v (v >= 0) into its whole and
// fractional digits.
bool shortestDecimal(float v, std::string& whole, std::string& fraction) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific);
    if (error != std::errc())
        return false;
    // "d.dddde+XX"
    const std::string text(buffer, end);
    const std::size_t e = text.find('e');
    std::string digits = text.substr(0, e);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    const int exponent = std::stoi(text.substr(e + 1));
    const int pointAt = exponent + 1; // digits before the decimal point
    if (pointAt <= 0) {
        whole = "0";
        fraction = std::string(-pointAt, '0') + digits;
    } else if (pointAt >= int(digits.size())) {
        whole = digits + std::string(pointAt - digits.size(), '0');
        fraction.clear();
    } else {
        whole = digits.substr(0, pointAt);
        fraction = digits.substr(pointAt);
    }
    return true;
}
} // namespace

bool isDigitRun(QStringView text, qsizetype minDigits, qsizetype maxDigits) {
    return text.size() >= minDigits && text.size() <= maxDigits && digitsAt(text, 0) == text.size();
}

// Scanned by hand rather than by a regular expression: every typed key and
// every planned write passes through here, and a match costs allocations.
bool isNumberText(QStringView text) {
    qsizetype at = 0;
    if (at < text.size() && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-')))
        ++at;
    const qsizetype whole = digitsAt(text, at);
    at += whole;
    qsizetype fraction = 0;
    if (at < text.size() && text[at] == QLatin1Char('.')) {
        ++at;
        fraction = digitsAt(text, at);
        at += fraction;
    }
    if (whole == 0 && fraction == 0)
        return false;
    if (at < text.size() && (text[at] == QLatin1Char('e') || text[at] == QLatin1Char('E'))) {
        ++at;
        if (at < text.size() && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-')))
            ++at;
        const qsizetype exponent = digitsAt(text, at);
        if (exponent == 0)
            return false;
        at += exponent;
    }
    return at == text.size();
}

std::optional<float> singleValue(const QString& text) {
    const QString t = text.trimmed();
    if (!isNumberText(t))
        return std::nullopt;
    std::string s = t.toStdString();
    const bool negative = s.front() == '-';
    if (s.front() == '+' || negative)
        s.erase(0, 1);
    // from_chars takes neither a sign nor a bare trailing point.
    if (s.back() == '.')
        s.pop_back();
    const std::size_t e = s.find_first_of("eE");
    if (e != std::string::npos && e > 0 && s[e - 1] == '.')
        s.erase(e - 1, 1);

    float v = 0.0f;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (error == std::errc::result_out_of_range) {
        // Too small for single precision reads as zero; too large is no value.
        double wide = 0.0;
        std::from_chars(s.data(), s.data() + s.size(), wide);
        if (std::fabs(wide) >= 1.0 || std::isinf(wide))
            return std::nullopt;
        v = 0.0f;
    } else if (error != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    if (!std::isfinite(v))
        return std::nullopt;
    return negative ? -v : v;
}

QString decimalPattern(int decimals) {
    // Five digit places in all, the point moving left one place a decimal.
    constexpr int kPlaces = 4;
    if (decimals < 0 || decimals > kPlaces)
        return QString();
    return QString(kPlaces - decimals, QLatin1Char('0')) + QLatin1Char('.') +
           QString(decimals, QLatin1Char('0'));
}

bool isSendableNumber(const QString& text) {
    return isNumberText(text) && singleValue(text).has_value();
}

std::optional<QString> formatWithPattern(float v, const QString& pattern) {
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    if (point < 0 || pattern.count(QLatin1Char('.')) != 1 || !std::isfinite(v))
        return std::nullopt;
    for (QChar c : pattern)
        if (c != QLatin1Char('0') && c != QLatin1Char('.'))
            return std::nullopt;
    const int integerPlaces = int(point);
    const int decimals = int(pattern.size() - point - 1);

    // The shortest decimal digits that read back as the same single value,
    // so a typed 2.675 rounds as 2.675 and not as its binary neighbour
    // 2.67499, and 1e20 is written 1 and twenty zeros.
    std::string whole;
    std::string fraction;
    if (!shortestDecimal(std::fabs(v), whole, fraction))
        return std::nullopt;

    if (int(fraction.size()) > decimals) {
        const bool up = fraction[decimals] >= '5';
        fraction.resize(decimals);
        if (up) {
            std::string digits = whole + fraction;
            incrementDigits(digits);
            whole = digits.substr(0, digits.size() - decimals);
            fraction = digits.substr(digits.size() - decimals);
        }
    }
    fraction.resize(decimals, '0');

    if (whole == "0" && integerPlaces == 0)
        whole.clear();
    if (int(whole.size()) < integerPlaces)
        whole.insert(0, integerPlaces - whole.size(), '0');

    const QString digits = QString::fromStdString(whole + '.' + fraction);
    return (v < 0 ? QLatin1Char('-') : QLatin1Char('+')) + digits;
}
