#pragma once

// What every planned write must be, whatever the input: a frame that can be
// sent, for a key that was given, carrying exactly the formatted form of the
// value given for that key, in the window's order, each key once.

#include "cli/arguments.h"
#include "cli/write_plan.h"
#include "link/exchange.h"
#include "property_check.h"
#include "protocol/number_format.h"
#include "protocol/text_rules.h"
#include "protocol/trim_text.h"

namespace fuzz {

inline void requirePlanMatches(const WritePlan& plan, const SettingValues& values,
                               std::optional<int> transmitterDecimals) {
    const QStringList& keys = settingKeys();
    int lastIndex = -1;
    for (const PlannedWrite& w : plan.writes) {
        const auto which = [&] { return w.key.toUtf8() + " " + quoted(w.command); };
        const int index = int(keys.indexOf(w.key));
        require(index > lastIndex, "writes in the window's order, each key once", which);
        lastIndex = index;
        require(values.contains(w.key), "a write only for a key given", which);
        require(isSendable(w.command) && w.command.size() >= 2, "a sendable command", which);
        const QString payload = w.command.mid(2);
        const QString value = values.value(w.key);
        QString expected;
        if (w.key == QLatin1String("unit")) {
            const std::optional<int> code = unitCodeOf(value);
            expected = code ? QString::number(*code) : QStringLiteral("<no unit>");
        } else if (w.key == QLatin1String("decimals")) {
            const std::optional<int> d = parseWholeNumber(value, 0, 4);
            expected = d ? QString::number(*d) : QStringLiteral("<no decimals>");
        } else if (w.key.startsWith(QLatin1String("trim"))) {
            const std::optional<int> t = trimPositionOf(value);
            expected = t ? trimText(*t) : QStringLiteral("<no trim>");
        } else if (w.key == QLatin1String("id") || w.key == QLatin1String("model")) {
            require(storedTextProblem(value) == TextProblem::None, "a text the window stores",
                    which);
            expected = value;
        } else {
            std::optional<int> decimals = transmitterDecimals;
            if (values.contains(QStringLiteral("decimals")))
                decimals = parseWholeNumber(values.value(QStringLiteral("decimals")), 0, 4);
            const std::optional<float> v = singleValue(value);
            const std::optional<QString> formatted =
                v && decimals ? formatWithPattern(*v, decimalPattern(*decimals)) : std::nullopt;
            expected = formatted ? *formatted : QStringLiteral("<no number>");
            require(isSendableNumber(payload), "a pressure the window would send", which);
        }
        require(payload == expected, "the payload is the formatted value given", which,
                [&] { return "expected " + quoted(expected); });
    }
}

} // namespace fuzz
