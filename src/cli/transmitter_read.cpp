#include "cli/transmitter_read.h"

#include "cli/bus.h"
#include "link/reply_value.h"
#include "protocol/bus_search.h"
#include "protocol/full_read.h"
#include "protocol/units.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace {
const QString kUnit = QStringLiteral("unit");
const QString kDecimals = QStringLiteral("decimals");
const QString kModel = QStringLiteral("model");
const QString kNotACode = QStringLiteral("not a code");

constexpr int kHighestUnit = 6;
constexpr int kHighestDecimals = 4;

QString keyOf(FullReadStep step) {
    switch (step) {
    case FullReadStep::RangeModel:
    case FullReadStep::Model:
        return kModel;
    case FullReadStep::RangeLow:
        return QStringLiteral("rangeLow");
    case FullReadStep::RangeHigh:
        return QStringLiteral("rangeHigh");
    case FullReadStep::Unit:
        return kUnit;
    case FullReadStep::Id:
        return QStringLiteral("id");
    case FullReadStep::Version:
        return QStringLiteral("version");
    case FullReadStep::Decimals:
        return kDecimals;
    case FullReadStep::OutputLow:
        return QStringLiteral("outputLow");
    case FullReadStep::OutputHigh:
        return QStringLiteral("outputHigh");
    case FullReadStep::Trim4mA:
        return QStringLiteral("trim4mA");
    case FullReadStep::Trim20mA:
        return QStringLiteral("trim20mA");
    case FullReadStep::Pressure:
        return QStringLiteral("pressure");
    case FullReadStep::Temperature:
        return QStringLiteral("temperature");
    }
    return QString();
}

QString errorOf(const TransmitterRead& read, const QString& key) {
    // The error of the last failed exchange for that key.
    static const QHash<QString, QString> commandOfKey = [] {
        QHash<QString, QString> h;
        for (const FullReadItem& item : fullRead())
            h.insert(keyOf(item.step), commandText(item.command));
        return h;
    }();
    QString error;
    for (const ReadError& e : read.errors)
        if (e.command == commandOfKey.value(key))
            error = e.error;
    return error;
}
} // namespace

const QStringList& readKeys() {
    static const QStringList keys{kModel,
                                  QStringLiteral("id"),
                                  QStringLiteral("version"),
                                  kUnit,
                                  kDecimals,
                                  QStringLiteral("rangeLow"),
                                  QStringLiteral("rangeHigh"),
                                  QStringLiteral("outputLow"),
                                  QStringLiteral("outputHigh"),
                                  QStringLiteral("trim4mA"),
                                  QStringLiteral("trim20mA"),
                                  QStringLiteral("pressure"),
                                  QStringLiteral("temperature")};
    return keys;
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

TransmitterRead readTransmitter(Bus& bus, const QString& address) {
    TransmitterRead read;
    read.address = address;
    read.baud = bus.baudIndex() >= 0 ? kBaudRates[bus.baudIndex()] : 0;
    for (const FullReadItem& item : fullRead()) {
        const QString command = commandText(item.command);
        const QString reply = bus.exchange(address, command);
        const Answer answer = classifyReply(reply, address);
        if (answer != Answer::Answered) {
            read.errors.append({command, answerProblem(answer)});
            continue;
        }
        const QString key = keyOf(item.step);
        const QString value = replyValue(reply);
        read.values.insert(key, value);
        if (key == kUnit || key == kDecimals) {
            std::optional<int>& code = key == kUnit ? read.unitCode : read.decimals;
            code = codeValue(value, key == kUnit ? kHighestUnit : kHighestDecimals);
            if (!code)
                read.errors.append({command, kNotACode});
        }
    }
    return read;
}

QJsonObject TransmitterRead::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("address"), address);
    o.insert(QStringLiteral("baud"), baud);
    for (const QString& key : readKeys()) {
        if (!values.contains(key)) {
            o.insert(key, QJsonValue::Null);
            continue;
        }
        if (key == kUnit) {
            QJsonObject unit;
            unit.insert(QStringLiteral("code"), unitCode ? QJsonValue(*unitCode) : QJsonValue());
            unit.insert(QStringLiteral("name"),
                        unitCode ? QJsonValue(unitNames().value(*unitCode)) : QJsonValue());
            o.insert(key, unit);
        } else if (key == kDecimals) {
            o.insert(key, decimals ? QJsonValue(*decimals) : QJsonValue());
        } else {
            o.insert(key, values.value(key));
        }
    }
    QJsonArray errorList;
    for (const ReadError& e : errors)
        errorList.append(QJsonObject{{QStringLiteral("command"), e.command},
                                     {QStringLiteral("error"), e.error}});
    o.insert(QStringLiteral("errors"), errorList);
    return o;
}

QStringList TransmitterRead::toText() const {
    QStringList lines;
    const auto add = [&lines](const QString& key, const QString& text) {
        lines.append(key.leftJustified(12) + text);
    };
    add(QStringLiteral("address"), address);
    add(QStringLiteral("baud"), QString::number(baud));
    for (const QString& key : readKeys()) {
        if (!values.contains(key)) {
            add(key, QStringLiteral("(failed: %1)").arg(errorOf(*this, key)));
            continue;
        }
        const QString value = values.value(key);
        if (key == kUnit || key == kDecimals) {
            const std::optional<int> code = key == kUnit ? unitCode : decimals;
            if (!code)
                add(key, QStringLiteral("\"%1\" (not a code)").arg(value));
            else if (key == kUnit)
                add(key, QStringLiteral("%1 %2").arg(*code).arg(unitNames().value(*code)));
            else
                add(key, QString::number(*code));
            continue;
        }
        add(key, value);
    }
    return lines;
}
