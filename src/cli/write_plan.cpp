#include "cli/write_plan.h"

#include "cli/arguments.h"
#include "protocol/commands.h"
#include "protocol/number_format.h"
#include "protocol/text_rules.h"
#include "protocol/trim_text.h"
#include "protocol/units.h"

#include <QLocale>

#include <cmath>

namespace {
QString textProblem(TextProblem problem) {
    switch (problem) {
    case TextProblem::None:
        return QString();
    case TextProblem::Empty:
        return QStringLiteral("is empty");
    case TextProblem::NotPrintableAscii:
        return QStringLiteral("holds characters other than printable ASCII");
    case TextProblem::FrameStart:
        return QStringLiteral("holds \"$\", which a transmitter takes as the start of a new "
                              "request");
    case TextProblem::OnlyBlanks:
        return QStringLiteral("holds only blanks");
    case TextProblem::TooLong:
        return QStringLiteral("is longer than %1 characters").arg(kMaxStoredText);
    }
    return QString();
}

// Why a pressure is refused: a number too large for the single precision
// the window's fields hold, or no number at all.
QString notANumber(const QString& value) {
    bool ok = false;
    const double number = QLocale::c().toDouble(value.trimmed(), &ok);
    return ok && std::isfinite(number)
               ? QStringLiteral("is too large a number: a transmitter's value holds at most "
                                "about 3.4e38")
               : QStringLiteral("is not a number");
}

Refusal refusal(const QString& key, const QString& value, const QString& why) {
    return {QStringLiteral("%1: \"%2\" %3").arg(key, value, why)};
}

// A decimal number as the digits of its value times 10^decimals, rounded
// halves away from zero, with its sign: "12.345" at 2 is "1235", "-0.004" at
// 2 is "0". Worked on the digits as written, so no binary rounding enters.
QString scaledDigits(const QString& number, int decimals) {
    QString text = number.trimmed();
    if (text.contains(QLatin1Char('e'), Qt::CaseInsensitive))
        // An exponent is rare on a command line: its double, to more places
        // than single precision holds, is close enough to round.
        text = QString::number(text.toDouble(), 'f', decimals + 9);
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
        text.remove(0, 1);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    const QString whole = point < 0 ? text : text.left(point);
    const QString fraction =
        (point < 0 ? QString() : text.mid(point + 1)).leftJustified(decimals + 1, QLatin1Char('0'));
    QString digits = QLatin1Char('0') + whole + fraction.left(decimals);
    if (fraction.at(decimals) >= QLatin1Char('5')) {
        // Carry the one through the nines.
        qsizetype i = digits.size() - 1;
        while (digits.at(i) == QLatin1Char('9'))
            digits[i--] = QLatin1Char('0');
        digits[i] = QChar(digits.at(i).unicode() + 1);
    }
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return negative && digits != QLatin1String("0") ? QLatin1Char('-') + digits : digits;
}
} // namespace

std::optional<int> unitCodeOf(const QString& text) {
    if (const std::optional<int> code = parseWholeNumber(text, 0, kHighestUnitCode);
        code && text.trimmed().size() == 1)
        return code;
    for (int i = 0; i < unitNames().size(); ++i)
        if (unitNames()[i].compare(text.trimmed(), Qt::CaseInsensitive) == 0)
            return i;
    return std::nullopt;
}

std::optional<int> trimPositionOf(const QString& text) {
    const bool hasSign = text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'));
    if (!isDigitRun(QStringView(text).sliced(hasSign ? 1 : 0), 1, 4))
        return std::nullopt;
    const int position = text.toInt();
    if (position < -kTrimLimit || position > kTrimLimit)
        return std::nullopt;
    return position;
}

std::optional<Refusal> settingProblem(const QString& key, const QString& value) {
    const SettingKey* setting = settingNamed(key);
    if (!setting)
        return Refusal{QStringLiteral("\"%1\" is no key; the keys are %2")
                           .arg(key, settingKeys().join(QStringLiteral(", ")))};
    switch (setting->kind) {
    case SettingKind::Unit:
        if (!unitCodeOf(value))
            return refusal(key, value,
                           QStringLiteral("is no unit; give a code 0 to %1 or one of %2")
                               .arg(QString::number(kHighestUnitCode),
                                    unitNames().join(QStringLiteral(", "))));
        break;
    case SettingKind::Decimals:
        if (!parseWholeNumber(value, 0, kHighestDecimals) || value.trimmed().size() != 1)
            return refusal(
                key, value,
                QStringLiteral("is no number of decimals from 0 to %1").arg(kHighestDecimals));
        break;
    case SettingKind::Pressure:
        if (!singleValue(value))
            return refusal(key, value, notANumber(value));
        break;
    case SettingKind::Trim:
        if (!trimPositionOf(value))
            return refusal(
                key, value,
                QStringLiteral("is no trim; give a whole number from -%1 to %1").arg(kTrimLimit));
        break;
    case SettingKind::Text:
        // An empty text would go out as the bare command, which only reads.
        const TextProblem problem = value.isEmpty() ? TextProblem::Empty : storedTextProblem(value);
        if (problem != TextProblem::None)
            return refusal(key, value, textProblem(problem));
        break;
    }
    return std::nullopt;
}

std::variant<SettingValues, Refusal> parseSettings(const QStringList& keyValues) {
    SettingValues values;
    for (const QString& item : keyValues) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return Refusal{QStringLiteral("\"%1\" is no KEY=VALUE").arg(item)};
        const QString key = item.left(eq);
        const QString value = item.mid(eq + 1);
        if (values.contains(key))
            return Refusal{QStringLiteral("%1 is given twice").arg(key)};
        if (const std::optional<Refusal> problem = settingProblem(key, value))
            return *problem;
        values.insert(key, value);
    }
    if (values.isEmpty())
        return Refusal{QStringLiteral("no KEY=VALUE given")};
    return values;
}

bool needsTransmitterDecimals(const SettingValues& values) {
    // The decimals come before the pressures: given, they format them.
    for (const SettingKey& setting : settingKeyTable())
        if (values.contains(QLatin1String(setting.name)) &&
            (setting.kind == SettingKind::Decimals || setting.kind == SettingKind::Pressure))
            return setting.kind == SettingKind::Pressure;
    return false;
}

std::variant<WritePlan, Refusal> planSettings(const SettingValues& values,
                                              std::optional<int> transmitterDecimals) {
    for (auto it = values.begin(); it != values.end(); ++it)
        if (!settingNamed(it.key()))
            return *settingProblem(it.key(), it.value());
    WritePlan plan;
    std::optional<int> decimals = transmitterDecimals;
    for (const SettingKey& setting : settingKeyTable()) {
        const QString key = QLatin1String(setting.name);
        if (!values.contains(key))
            continue;
        const QString value = values.value(key);
        if (const std::optional<Refusal> problem = settingProblem(key, value))
            return *problem;
        QString payload;
        switch (setting.kind) {
        case SettingKind::Unit:
            payload = QString::number(*unitCodeOf(value));
            break;
        case SettingKind::Decimals:
            // Written before the pressures, which are then formatted with them.
            decimals = parseWholeNumber(value, 0, kHighestDecimals);
            payload = QString::number(*decimals);
            break;
        case SettingKind::Pressure: {
            const QString pattern = decimals ? decimalPattern(*decimals) : QString();
            if (pattern.isEmpty())
                return Refusal{QStringLiteral("%1: the number of decimals is not known, so the "
                                              "value cannot be formatted")
                                   .arg(key)};
            const std::optional<QString> text = formatWithPattern(*singleValue(value), pattern);
            if (!text || !isSendableNumber(*text))
                return refusal(key, value, QStringLiteral("cannot be formatted"));
            // The value passes through single precision, as the window's
            // fields do: a value with more digits than that holds would go
            // out as another number.
            if (scaledDigits(*text, *decimals) != scaledDigits(value, *decimals))
                return refusal(key, value,
                               QStringLiteral("would go out as \"%1\", another value; give one "
                                              "with at most 7 significant digits")
                                   .arg(*text));
            payload = *text;
            break;
        }
        case SettingKind::Trim:
            payload = trimText(*trimPositionOf(value));
            break;
        case SettingKind::Text:
            payload = value;
            break;
        }
        plan.writes.append({key, commandText(setting.command, payload)});
    }
    return plan;
}

std::variant<WritePlan, Refusal> planSet(const QStringList& keyValues,
                                         std::optional<int> transmitterDecimals) {
    const std::variant<SettingValues, Refusal> values = parseSettings(keyValues);
    if (const Refusal* r = std::get_if<Refusal>(&values))
        return *r;
    return planSettings(std::get<SettingValues>(values), transmitterDecimals);
}
