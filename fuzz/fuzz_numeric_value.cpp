// The numeric value of a text decides list positions, trim positions and the
// pressure extremes, and its input is whatever a transmitter put into a reply
// or a label holds. For any text the value must be a number or an infinity,
// agree with the C library's reading of the same leading number, ignore
// blanks wherever they stand, and round to an integer only when it fits.

#include "link/reply_value.h"
#include "property_check.h"

#include <QRegularExpression>

#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

using fuzz::quoted;
using fuzz::require;

namespace {

bool sameValue(double a, double b) {
    return a == b && std::signbit(a) == std::signbit(b);
}

QString withoutBlanks(const QString& text) {
    QString out = text;
    out.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QLatin1Char('\n'));
    return out;
}

// The leading number of a text with its blanks taken out, as the header
// describes it, found by a regular expression instead of the hand-written
// scanner, and read by strtod. The fuzzer never calls setlocale, so strtod
// reads a point as the decimal point.
std::optional<double> expectedValue(QString ascii) {
    static const QRegularExpression leading(
        QStringLiteral("\\A[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?"));
    // Only ASCII can be part of the number; anything else becomes '?', which
    // also keeps lone surrogates away from the regular expression, which
    // matches nothing at all in invalid UTF-16.
    for (QChar& c : ascii)
        if (c.unicode() > 0x7F)
            c = QLatin1Char('?');
    const QRegularExpressionMatch match = leading.match(ascii);
    if (!match.hasMatch())
        return std::nullopt;
    const QByteArray number = match.captured(0).toLatin1();
    char* end = nullptr;
    const double v = std::strtod(number.constData(), &end);
    require(end == number.constData() + number.size(), "strtod reads the whole leading number",
            [&] { return "number " + quoted(number); });
    return v;
}

void checkText(const QString& text, std::uint8_t control) {
    const double v = numericValue(text);
    const bool has = hasNumber(text);
    const std::optional<qint16> whole = integerValue(text);
    const auto shown = [&] { return "text " + quoted(text); };
    const auto value = [&] { return "numericValue " + QByteArray::number(v, 'g', 17); };

    require(!std::isnan(v), "numericValue is never NaN", shown);
    if (!has) {
        require(v == 0.0, "a text without a number has the value 0", shown, value);
        require(whole == qint16(0), "a text without a number has the integer value 0", shown);
    }

    const QString bare = withoutBlanks(text);
    const std::optional<double> expected = expectedValue(bare);
    require(has == expected.has_value(), "hasNumber agrees with the leading-number pattern", shown,
            [&] { return has ? "hasNumber true" : "hasNumber false"; });
    if (expected)
        require(sameValue(v, *expected), "numericValue agrees with strtod on the leading number",
                shown, value,
                [&] { return "strtod       " + QByteArray::number(*expected, 'g', 17); });

    // Halves to the even neighbour: what nearbyint does in the default
    // rounding mode, which nothing in this process changes.
    require(std::fegetround() == FE_TONEAREST, "the rounding mode is the default");
    const double nearest = std::nearbyint(v);
    const bool fits = std::isfinite(v) && nearest >= std::numeric_limits<qint16>::min() &&
                      nearest <= std::numeric_limits<qint16>::max();
    require(whole.has_value() == fits,
            "integerValue is present exactly when the rounded value fits", shown, value,
            [&] { return whole ? "integerValue present" : "integerValue absent"; });
    if (whole) {
        const auto rounded = [&] { return "integerValue " + QByteArray::number(*whole); };
        require(double(*whole) == nearest, "integerValue rounds halves to even", shown, value,
                rounded);
        require(std::fabs(v - *whole) <= 0.5, "integerValue is within 0.5 of the value", shown,
                value, rounded);
    }

    // A blank, tab or line feed anywhere changes nothing.
    static const char kBlanks[] = {' ', '\t', '\n'};
    QString blanked = text;
    blanked.insert(control % (text.size() + 1), QLatin1Char(kBlanks[(control / 64) % 3]));
    require(sameValue(numericValue(blanked), v) && hasNumber(blanked) == has &&
                integerValue(blanked) == whole,
            "an added blank changes nothing", shown,
            [&] { return "with blank " + quoted(blanked); });

    // A minus sign in front of a text that has none negates its value; a
    // sign alone is still no number, and no number is plain 0.
    if (!bare.startsWith(QLatin1Char('+')) && !bare.startsWith(QLatin1Char('-'))) {
        const QString negated = QLatin1Char('-') + text;
        const double n = numericValue(negated);
        require((has ? sameValue(n, -v) : sameValue(n, 0.0)) && hasNumber(negated) == has,
                "a leading minus negates the value", shown,
                [&] { return "negated " + QByteArray::number(n, 'g', 17); });
        const QString plus = QLatin1Char('+') + text;
        require(sameValue(numericValue(plus), v) && hasNumber(plus) == has,
                "a leading plus changes nothing", shown);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const std::uint8_t control = size > 0 ? data[0] : 0;
    // A reply is bytes; a label or a field holds any text: the input is read
    // as UTF-8 (invalid sequences become U+FFFD), as Latin-1 (every byte one
    // character) or as raw UTF-16 (full-width digits, lone surrogates), one
    // of the three picked by its length. Every reading still meets every
    // kind of input over a run, at a third of the cost per input.
    switch (size % 3) {
    case 0:
        checkText(QString::fromUtf8(bytes, qsizetype(size)), control);
        break;
    case 1:
        checkText(QString::fromLatin1(bytes, qsizetype(size)), control);
        break;
    default: {
        std::vector<char16_t> units(size / 2);
        if (!units.empty())
            std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
        checkText(QString::fromUtf16(units.data(), qsizetype(units.size())), control);
    }
    }
    return 0;
}
