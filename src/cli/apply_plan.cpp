#include "cli/apply_plan.h"

#include "cli/transmitter_read.h"
#include "protocol/commands.h"
#include "protocol/number_format.h"
#include "protocol/units.h"

#include <QJsonArray>
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
        const QJsonValue name = v.toObject().value(QStringLiteral("name"));
        if (code.isNull())
            return std::monostate{};
        const std::optional<QString> text = wholeNumberText(code);
        if (!text)
            return wrongType;
        // An edited document may name one unit and give the code of another.
        const QString codeName = unitNames().value(text->toInt());
        if (!name.isNull() && !name.isUndefined() &&
            name.toString().compare(codeName, Qt::CaseInsensitive) != 0)
            return Refusal{QStringLiteral("unit: code %1 is %2, not \"%3\"; give one of them")
                               .arg(*text,
                                    codeName.isEmpty() ? QStringLiteral("no unit") : codeName,
                                    name.toString())};
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

// The keys read --json writes that apply never writes.
bool isReadOnlyKey(const QString& key) {
    static const QStringList keys = [] {
        QStringList k{QStringLiteral("address"),     QStringLiteral("baud"),
                      QStringLiteral("version"),     QStringLiteral("pressure"),
                      QStringLiteral("temperature"), QStringLiteral("errors"),
                      QStringLiteral("read")};
        for (const QString& key : readKeys())
            k.append(key + QStringLiteral("Value"));
        return k;
    }();
    return keys.contains(key);
}

// The object to apply: the document itself, or an inventory's entry.
QString jsonKindName(const QJsonValue& v) {
    switch (v.type()) {
    case QJsonValue::String:
        return QStringLiteral("string");
    case QJsonValue::Double:
        return QStringLiteral("number");
    case QJsonValue::Bool:
        return QStringLiteral("true or false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Array:
    case QJsonValue::Object:
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("value");
}

std::variant<QJsonObject, Refusal> documentObject(const QByteArray& document,
                                                  const std::optional<QString>& entryAddress) {
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(document, &error);
    if (error.error != QJsonParseError::NoError) {
        // A bare value is JSON too, only not a document read --json writes.
        const QJsonDocument wrapped =
            QJsonDocument::fromJson(QByteArray("[") + document + QByteArray("]"));
        if (wrapped.isArray() && wrapped.array().size() == 1)
            return Refusal{QStringLiteral("the document is a JSON %1, not an object as read "
                                          "--json writes it")
                               .arg(jsonKindName(wrapped.array().first()))};
        return Refusal{QStringLiteral("the document is no JSON: %1 at character %2")
                           .arg(error.errorString())
                           .arg(error.offset)};
    }
    if (json.isArray()) {
        if (!entryAddress)
            return Refusal{QStringLiteral("the document is a list (inventory --json): give "
                                          "--address ADDR to choose its entry")};
        for (const QJsonValue& entry : json.array())
            if (entry.isObject() && entry[QStringLiteral("address")].toString() == *entryAddress)
                return entry.toObject();
        return Refusal{QStringLiteral("the list holds no entry for address %1").arg(*entryAddress)};
    }
    if (!json.isObject())
        return Refusal{QStringLiteral("the document is no JSON object as read --json writes it")};
    if (entryAddress)
        return Refusal{QStringLiteral("--address chooses an entry of a list, and the document "
                                      "is one object")};
    return json.object();
}
} // namespace

std::variant<ApplyDocument, Refusal>
parseApplyDocument(const QByteArray& document, bool withTrims, bool withTexts,
                   const std::optional<QString>& entryAddress) {
    const auto chosen = documentObject(document, entryAddress);
    if (const Refusal* r = std::get_if<Refusal>(&chosen))
        return *r;
    const QJsonObject o = std::get<QJsonObject>(chosen);
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!settingNamed(it.key()) && !isReadOnlyKey(it.key()))
            return Refusal{QStringLiteral("\"%1\" is no key read --json writes; the keys "
                                          "written are %2")
                               .arg(it.key(), settingKeys().join(QStringLiteral(", ")))};
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
        // The number beside a pressure's text is written by read --json from
        // the text; an edit to one alone would be lost in silence.
        const QString numberKey = key + QStringLiteral("Value");
        if (setting.kind == SettingKind::Pressure && o.contains(numberKey) &&
            !o.value(numberKey).isNull()) {
            const QJsonValue number = o.value(numberKey);
            const std::optional<double> fromText = quantityValue(text);
            if (!number.isDouble() || !fromText || *fromText != number.toDouble())
                return Refusal{
                    QStringLiteral("%1: %2 disagrees with %3 \"%4\"; edit both, or "
                                   "remove %1")
                        .arg(numberKey,
                             QString::fromUtf8(
                                 QJsonDocument(QJsonArray{number}).toJson(QJsonDocument::Compact))
                                 .mid(1)
                                 .chopped(1),
                             key, text)};
        }
        result.values.insert(key, text);
    }
    return result;
}

std::optional<Refusal> cloneProblem(const ApplyDocument& document, const WritePlan& plan) {
    // With its decimals, the document's pressures go out at them, and the
    // clone reads back as the source did.
    if (document.values.contains(QStringLiteral("decimals")))
        return std::nullopt;
    for (const PlannedWrite& w : plan.writes) {
        const SettingKey* setting = settingNamed(w.key);
        if (!setting || setting->kind != SettingKind::Pressure)
            continue;
        const QString held = document.values.value(w.key);
        const QString sent = w.command.mid(commandText(setting->command).size());
        if (decimalsWritten(held) != decimalsWritten(sent))
            return Refusal{QStringLiteral("%1: the document holds \"%2\", which would go out as "
                                          "\"%3\" with the transmitter's decimals; give the "
                                          "decimals in the document too")
                               .arg(w.key, held, sent)};
    }
    return std::nullopt;
}

std::variant<ApplyPlan, Refusal> planApply(const QByteArray& document, bool withTrims,
                                           bool withTexts, std::optional<int> transmitterDecimals,
                                           const std::optional<QString>& entryAddress) {
    const auto parsed = parseApplyDocument(document, withTrims, withTexts, entryAddress);
    if (const Refusal* r = std::get_if<Refusal>(&parsed))
        return *r;
    ApplyPlan result{std::get<ApplyDocument>(parsed), {}};
    const auto plan = planSettings(result.document.values, transmitterDecimals);
    if (const Refusal* r = std::get_if<Refusal>(&plan))
        return *r;
    result.plan = std::get<WritePlan>(plan);
    if (const std::optional<Refusal> problem = cloneProblem(result.document, result.plan))
        return *problem;
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
