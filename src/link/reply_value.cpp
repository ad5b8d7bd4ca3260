#include "link/reply_value.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {
bool isIgnored(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The leading number of text with the ignored blanks taken out, as plain
// ASCII for strtod; empty when the text does not start with a number.
std::string leadingNumber(const QString& text) {
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (!isIgnored(c))
            s.append(c);

    std::string out;
    qsizetype i = 0;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        out += char(s[i++].toLatin1());
    bool digits = false;
    while (i < s.size() && isDigit(s[i])) {
        out += char(s[i++].toLatin1());
        digits = true;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        out += '.';
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            out += char(s[i++].toLatin1());
            digits = true;
        }
    }
    if (!digits)
        return {};
    // An exponent counts only when it is complete: "1e" is 1.
    if (i < s.size() && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            exponent += char(s[j++].toLatin1());
        bool expDigits = false;
        while (j < s.size() && isDigit(s[j])) {
            exponent += char(s[j++].toLatin1());
            expDigits = true;
        }
        if (expDigits)
            out += exponent;
    }
    return out;
}
} // namespace

QString replyValue(const QString& reply) {
    if (reply.size() <= 4)
        return QString();
    return reply.mid(3, reply.size() - 4);
}

bool hasData(const QString& reply) {
    return reply.size() > 4 && reply.startsWith(QLatin1Char('*'));
}

bool isReading(const QString& reply) {
    return hasData(reply) && hasNumber(replyValue(reply));
}

double numericValue(const QString& text) {
    std::string number = leadingNumber(text);
    if (number.empty())
        return 0.0;
    // from_chars ignores the locale (strtod would read "12.5" as 12 where the
    // decimal separator is a comma) but takes no plus sign.
    const bool negative = number.front() == '-';
    if (number.front() == '+' || negative)
        number.erase(0, 1);
    double v = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), v);
    if (error == std::errc::result_out_of_range) {
        // Too large gives an infinity, too small rounds to zero.
        const bool large = number.find_first_of("123456789") < number.find_first_of("eE") &&
                           number.find("e-") == std::string::npos &&
                           number.find("E-") == std::string::npos;
        v = large ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -v : v;
}

bool hasNumber(const QString& text) {
    return !leadingNumber(text).empty();
}

std::optional<qint16> integerValue(const QString& text) {
    const double v = numericValue(text);
    if (!std::isfinite(v))
        return std::nullopt;
    // Round half to even, whatever the floating-point environment says.
    double whole = std::floor(v);
    const double fraction = v - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    if (whole < std::numeric_limits<qint16>::min() || whole > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(whole);
}
