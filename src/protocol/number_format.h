#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The numeric fields hold pressures as signed decimal text with the number of
// decimals the transmitter uses, chosen by a pattern of Cmb_DP: "0000.",
// "000.0", "00.00", "0.000" or ".0000".

// Whether text is between minDigits and maxDigits ASCII digits and nothing
// else: other scripts' digits are no digits on the wire.
bool isDigitRun(QStringView text, qsizetype minDigits, qsizetype maxDigits);

// Whether text is a number and nothing else: an optional sign, digits with an
// optional decimal point and fraction (or a point and digits), an optional
// exponent; ASCII digits only, no blanks.
bool isNumberText(QStringView text);

// The text read as a single-precision number: an optional sign, digits with
// an optional decimal point and fraction, an optional exponent, blanks around
// it ignored. Nothing for any other text, for "nan" and "inf", and for a value
// too large for single precision.
std::optional<float> singleValue(const QString& text);

// v formatted with pattern: the places before the point give the least number
// of integer digits (padded with zeros, never cut; none for ".0000" when v is
// below 1), those after it the exact number of decimals, rounded halves away
// from zero on the value's shortest decimal form; the point is always
// written. A "-" stands in front of a value below zero, a "+" in front of any
// other. Nothing for a pattern that is not made of zeros and one point.
std::optional<QString> formatWithPattern(float v, const QString& pattern);

// The pattern of Cmb_DP for a number of decimal places, 0 to 4: "0000.",
// "000.0", "00.00", "0.000", ".0000"; empty for any other number.
QString decimalPattern(int decimals);

// A field's text as it may be sent: a number as above with no blanks at all,
// so the failure texts " 0" and " 3" and the initial texts never qualify.
bool isSendableNumber(const QString& text);
