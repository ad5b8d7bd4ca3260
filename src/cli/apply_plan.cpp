#include "cli/apply_plan.h"

#include "cli/transmitter_read.h"
#include "protocol/number_format.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// A JSON number that is a whole number, as its text.
std::optional<QString> wholeNumberText(const QJsonValue& v) {
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (d != std::floor(d) || std::fabs(d) > 1e6)
        return std::nullopt;
    return QString::number(qint64(d));
}

// The value of one key as set would take it; nothing for null; a refusal for
// a value of the wrong type.
std::variant<std::monostate, QString, Refusal> documentValue(const SettingKey& setting,
                                                             const QJsonValue& v) {
    if (v.isNull())
        return std::monostate{};
    const Refusal wrongType{QStringLiteral("%1: the document's value is not what read --json "
                                           "writes")
                                .arg(QLatin1String(setting.name))};
    if (setting.kind == SettingKind::Unit) {
        if (!v.isObject())
            return wrongType;
        const QJsonValue code = v.toObject().value(QStringLiteral("code"));
        if (code.isNull())
            return std::monostate{};
        const std::optional<QString> text = wholeNumberText(code);
        if (!text)
            return wrongType;
        return *text;
    }
    if (setting.kind == SettingKind::Decimals) {
        const std::optional<QString> text = wholeNumberText(v);
        if (!text)
            return wrongType;
        return *text;
    }
    if (!v.isString())
        return wrongType;
    return v.toString();
}
} // namespace

std::variant<ApplyDocument, Refusal> parseApplyDocument(const QByteArray& document, bool withTrims,
                                                        bool withTexts) {
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(document, &error);
    if (error.error != QJsonParseError::NoError || !json.isObject())
        return Refusal{QStringLiteral("the document is no JSON object as read --json writes it")};
    const QJsonObject o = json.object();
    ApplyDocument result;
    for (const SettingKey& setting : settingKeyTable()) {
        const QString key = QLatin1String(setting.name);
        if (!o.contains(key))
            return Refusal{
                QStringLiteral("the document has no \"%1\"; it is not what read --json writes")
                    .arg(key)};
        const bool wanted = setting.kind == SettingKind::Trim   ? withTrims
                            : setting.kind == SettingKind::Text ? withTexts
                                                                : true;
        const auto value = documentValue(setting, o.value(key));
        if (const Refusal* r = std::get_if<Refusal>(&value))
            return *r;
        if (!wanted)
            continue;
        if (std::holds_alternative<std::monostate>(value)) {
            result.nullKeys.append(key);
            continue;
        }
        const QString text = std::get<QString>(value);
        if (const std::optional<Refusal> problem = settingProblem(key, text))
            return *problem;
        result.values.insert(key, text);
    }
    return result;
}

std::variant<ApplyPlan, Refusal> planApply(const QByteArray& document, bool withTrims,
                                           bool withTexts, std::optional<int> transmitterDecimals) {
    const auto parsed = parseApplyDocument(document, withTrims, withTexts);
    if (const Refusal* r = std::get_if<Refusal>(&parsed))
        return *r;
    ApplyPlan result{std::get<ApplyDocument>(parsed), {}};
    const auto plan = planSettings(result.document.values, transmitterDecimals);
    if (const Refusal* r = std::get_if<Refusal>(&plan))
        return *r;
    result.plan = std::get<WritePlan>(plan);
    return result;
}

QList<Difference> compareReadBack(const SettingValues& values, const TransmitterRead& read) {
    QList<Difference> differences;
    for (const SettingKey& setting : settingKeyTable()) {
        const QString key = QLatin1String(setting.name);
        if (!values.contains(key))
            continue;
        const QString expected = values.value(key);
        if (!read.values.contains(key)) {
            differences.append({key, expected, QStringLiteral("(no answer)")});
            continue;
        }
        const QString actual = read.values.value(key);
        bool same = false;
        if (setting.kind == SettingKind::Unit || setting.kind == SettingKind::Decimals) {
            const std::optional<int> code =
                setting.kind == SettingKind::Unit ? read.unitCode : read.decimals;
            same = code && QString::number(*code) == expected;
        } else if (setting.kind == SettingKind::Text) {
            same = actual == expected;
        } else {
            const std::optional<float> a = singleValue(actual);
            const std::optional<float> e = singleValue(expected);
            same = a && e && *a == *e;
        }
        if (!same)
            differences.append({key, expected, actual});
    }
    return differences;
}
