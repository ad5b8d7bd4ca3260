#include "link/reply_value.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

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
    const std::string number = leadingNumber(text);
    if (number.empty())
        return 0.0;
    // Read in the C locale whatever the user's is (where the decimal separator
    // is a comma, plain strtod would read "12.5" as 12). Beyond double range
    // it gives an infinity, below it zero.
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
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
