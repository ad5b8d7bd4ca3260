// The four pressure fields are rewritten with the pattern of Cmb_DP when the
// user leaves them, and only a sendable number is ever put into a frame. For
// any value the text written must be a plain signed decimal with the
// pattern's places that reads back as the value rounded to those places; for
// any text typed, the reading must be a finite number the C library agrees
// with, and a text may be sent only when it is nothing but a number.

#include "property_check.h"
#include "protocol/number_format.h"

#include <QRegularExpression>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

using fuzz::quoted;
using fuzz::require;

namespace {

const QString kPatterns[] = {QStringLiteral("0000."), QStringLiteral("000.0"),
                             QStringLiteral("00.00"), QStringLiteral("0.000"),
                             QStringLiteral(".0000")};

// Written with [0-9] and \z: under Qt's Unicode mode \d takes other scripts'
// digits too, and $ still matches before a final line feed.
const QRegularExpression
    kWholeNumber(QStringLiteral("\\A[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?\\z"));

QByteArray floatText(float v) {
    return QByteArray::number(double(v), 'g', 9);
}

// The shortest decimal digits after the point that read back as |v|, in the
// fixed notation: the digits the pattern rounds.
std::string shortestFraction(float v) {
    char buffer[128];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::fixed);
    require(error == std::errc(), "to_chars has room for any float");
    const std::string text(buffer, end);
    const std::size_t point = text.find('.');
    return point == std::string::npos ? std::string() : text.substr(point + 1);
}

void checkFormatted(float v, const QString& pattern) {
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    const qsizetype integerPlaces = point;
    const qsizetype decimals = pattern.size() - point - 1;
    const std::optional<QString> formatted = formatWithPattern(v, pattern);
    const auto shown = [&] { return "value " + floatText(v) + " pattern " + quoted(pattern); };
    require(formatted.has_value(), "a finite value is formatted with any valid pattern", shown);
    const QString& text = *formatted;
    const auto result = [&] { return "result " + quoted(text); };

    require(!text.isEmpty() && text[0] == (v < 0 ? QLatin1Char('-') : QLatin1Char('+')),
            "the text starts with - for a value below zero and + for any other", shown, result);
    const QStringView digits = QStringView(text).sliced(1);
    require(digits.count(QLatin1Char('.')) == 1, "the text holds exactly one point", shown, result);
    for (QChar c : digits)
        require(c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')),
                "the text holds only a sign, digits and the point", shown, result);
    const qsizetype at = digits.indexOf(QLatin1Char('.'));
    const QStringView whole = digits.first(at);
    require(digits.size() - at - 1 == decimals, "the text has exactly the pattern's decimals",
            shown, result);
    require(whole.size() >= integerPlaces, "the text has at least the pattern's integer places",
            shown, result);
    require(whole.size() <= qMax<qsizetype>(integerPlaces, 1) || whole[0] != QLatin1Char('0'),
            "integer digits are padded to the pattern's places and no further", shown, result);
    require(integerPlaces > 0 || whole != QLatin1String("0"),
            "a pattern without integer places writes no lone 0 before the point", shown, result);

    require(isSendableNumber(text), "a formatted text may be sent", shown, result);
    const std::optional<float> back = singleValue(text);
    require(back.has_value(), "a formatted text reads back", shown, result);
    const auto read = [&] { return "read back " + floatText(*back); };

    // Half a unit of the last decimal, plus what single precision itself
    // cannot tell apart.
    const double halfUnit = 0.5 * std::pow(10.0, -double(decimals));
    const double slack = std::max(std::fabs(double(v)), 1.0) * 1e-6;
    require(std::fabs(double(*back) - double(v)) <= halfUnit + slack,
            "the text reads back within half a unit of the last decimal", shown, result, read);

    const std::string fraction = shortestFraction(v);
    if (qsizetype(fraction.size()) <= decimals) {
        // Nothing to round: the text holds the shortest digits of v, which
        // read back as v itself.
        require(*back == v, "a value needing no rounding reads back exactly", shown, result, read);
    } else if (qsizetype(fraction.size()) == decimals + 1 && fraction.back() == '5') {
        require(std::fabs(*back) > std::fabs(v), "a half is rounded away from zero", shown, result,
                read);
    }
}

void checkAnyPattern(float v, const QString& pattern) {
    static const QRegularExpression valid(QStringLiteral("\\A0*\\.0*\\z"));
    const bool isValid = valid.match(pattern).hasMatch();
    if (!isValid) {
        const std::optional<QString> formatted = formatWithPattern(v, pattern);
        require(
            !formatted.has_value(), "a pattern not made of zeros and one point gives nothing",
            [&] { return "pattern " + quoted(pattern); },
            [&] { return "result " + quoted(formatted.value_or(QString())); });
    }
    // A lone point has no place for a digit at all, so its "+." is no number;
    // no list offers it.
    else if (std::isfinite(v) && pattern.size() > 1)
        checkFormatted(v, pattern);
}

void checkTyped(const QString& text) {
    const std::optional<float> value = singleValue(text);
    const bool sendable = isSendableNumber(text);
    const auto shown = [&] { return "text " + quoted(text); };

    if (sendable)
        require(kWholeNumber.match(text).hasMatch() && value.has_value(),
                "a sendable text is a number and nothing else", shown);
    if (!value)
        return;
    const auto read = [&] { return "singleValue " + floatText(*value); };
    require(std::isfinite(*value), "singleValue is finite", shown, read);
    require(kWholeNumber.match(text).hasMatch() == sendable, "a number without blanks is sendable",
            shown, [&] { return sendable ? "sendable" : "not sendable"; });

    // Compared with strtod in double precision: at most the rounding to
    // single precision apart, or both below its smallest normal value.
    const QString trimmed = text.trimmed();
    for (QChar c : trimmed)
        if (c.unicode() > 0x7F)
            return;
    const QByteArray ascii = trimmed.toLatin1();
    char* end = nullptr;
    const double expected = std::strtod(ascii.constData(), &end);
    require(end == ascii.constData() + ascii.size(),
            "singleValue reads only what strtod reads whole", shown, read);
    require(std::fabs(double(*value) - expected) <=
                std::fabs(expected) * 1e-7 + double(std::numeric_limits<float>::min()),
            "singleValue agrees with strtod", shown, read,
            [&] { return "strtod " + QByteArray::number(expected, 'g', 17); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    // One of the list's patterns per input, picked by its length: every
    // pattern still meets every kind of value over a run, at a fifth of the
    // cost per input, so the fuzzer tries five times as many values.
    const QString& listed = kPatterns[size % std::size(kPatterns)];
    // Plain ASCII reads the same both ways: checking it twice finds nothing.
    const bool ascii = std::all_of(data, data + size, [](std::uint8_t b) { return b < 0x80; });
    for (int decoding = 0; decoding < (ascii ? 1 : 2); ++decoding) {
        const QString text = decoding == 0 ? QString::fromUtf8(bytes, qsizetype(size))
                                           : QString::fromLatin1(bytes, qsizetype(size));
        checkTyped(text);
        // Values a user can type, which is how a field gets its value.
        if (const std::optional<float> typed = singleValue(text))
            checkFormatted(*typed, listed);
    }

    // Any float at all, infinities and NaNs included, from the first four
    // bytes; the rest of the input as a pattern of its own.
    if (size >= sizeof(float)) {
        std::uint32_t bits;
        std::memcpy(&bits, data, sizeof bits);
        const float v = std::bit_cast<float>(bits);
        if (std::isfinite(v))
            checkFormatted(v, listed);
        checkAnyPattern(
            v, QString::fromLatin1(bytes + sizeof(float), qsizetype(size - sizeof(float))));
    }
    return 0;
}
