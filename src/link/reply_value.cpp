#include "link/reply_value.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

#include <QRegularExpression>
#include <QStringView>

namespace {
bool isIgnored(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Steps through a text as the number reader sees it: the ignored blanks are
// not there at all.
class BlankSkipper {
public:
    explicit BlankSkipper(QStringView text)
        : m_at(text.begin())
        , m_end(text.end()) {
        skipBlanks();
    }
    // The current character; U+0000 at the end, which is part of no number.
    QChar peek() const { return m_at != m_end ? *m_at : QChar(); }
    void advance() {
        ++m_at;
        skipBlanks();
    }

private:
    void skipBlanks() {
        while (m_at != m_end && isIgnored(*m_at))
            ++m_at;
    }

    const QChar* m_at;
    const QChar* m_end;
};

// Reads the leading number of text with the ignored blanks taken out and
// says whether there is one; when out is given, it receives the number as
// plain ASCII for strtod. It reads no further than the number: a reply may
// hold much more after it. Whether there is a number needs no copy at all.
bool leadingNumber(QStringView text, std::string* out) {
    BlankSkipper in(text);
    auto take = [&] {
        if (out) {
            // A short number fits the string's own buffer; a long one (a
            // reply may hold hundreds of digits) gets room for the whole
            // text at once, one allocation and not one per doubling.
            if (out->size() == out->capacity())
                out->reserve(std::size_t(text.size()));
            *out += char(in.peek().unicode());
        }
        in.advance();
    };
    if (in.peek() == QLatin1Char('+') || in.peek() == QLatin1Char('-'))
        take();
    bool digits = false;
    while (isDigit(in.peek())) {
        take();
        digits = true;
    }
    if (in.peek() == QLatin1Char('.')) {
        take();
        while (isDigit(in.peek())) {
            take();
            digits = true;
        }
    }
    if (!digits || !out)
        return digits;
    // An exponent counts only when it is complete: "1e" is 1.
    if (in.peek() == QLatin1Char('e') || in.peek() == QLatin1Char('E')) {
        std::string exponent = "e";
        in.advance();
        if (in.peek() == QLatin1Char('+') || in.peek() == QLatin1Char('-')) {
            exponent += char(in.peek().unicode());
            in.advance();
        }
        bool expDigits = false;
        while (isDigit(in.peek())) {
            exponent += char(in.peek().unicode());
            in.advance();
            expDigits = true;
        }
        if (expDigits)
            *out += exponent;
    }
    return true;
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
    std::string number;
    if (!leadingNumber(text, &number))
        return 0.0;
    // Read in the C locale whatever the user's is (where the decimal separator
    // is a comma, plain strtod would read "12.5" as 12). Beyond double range
    // it gives an infinity, below it zero.
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
}

bool hasNumber(const QString& text) {
    return leadingNumber(text, nullptr);
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

std::optional<int> codeValue(const QString& value, int highest) {
    static const QRegularExpression whole(QStringLiteral("^\\s*\\+?[0-9]{1,4}(\\.0*)?\\s*$"));
    if (!whole.match(value).hasMatch())
        return std::nullopt;
    const int code = int(numericValue(value));
    if (code < 0 || code > highest)
        return std::nullopt;
    return code;
}
