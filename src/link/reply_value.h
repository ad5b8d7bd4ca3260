#pragma once

#include <QString>

#include <optional>

// Reading the texts an exchange returns: "*" + address + data + CR for a
// valid reply, or a failure text "ERR 0" + CR / "EER 3" + CR.

// The text without its first three characters and its last one: the data
// after the address echo, or " 0" / " 3" for the failure texts.
QString replyValue(const QString& reply);

// A valid reply that carries data: it starts with "*" and is longer than four
// characters. The failure texts are longer too but never start with "*".
bool hasData(const QString& reply);

// A valid reply whose data begin with a number: a reading the transmitter
// really sent, as opposed to a lost reply or one without a value.
bool isReading(const QString& reply);

// The numeric value of a text: its leading decimal number (sign, digits with
// at most one decimal point, exponent), with blanks, tabs and line feeds
// ignored wherever they stand; 0 when there is none. Values beyond double
// range come out as infinities, never as a crash.
double numericValue(const QString& text);

// Whether the text has a leading number at all ("+0012.5" yes, "", "OK" no).
bool hasNumber(const QString& text);

// The numeric value rounded to the nearest whole number, halves to the even
// neighbour, when it fits a 16-bit signed integer; nothing otherwise, so a
// huge value can neither crash nor wrap round.
std::optional<qint16> integerValue(const QString& text);

// A reply value that is a whole number from 0 to highest: "2", "+2", "2.0".
std::optional<int> codeValue(const QString& value, int highest);
