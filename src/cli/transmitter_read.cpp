#include "cli/transmitter_read.h"
#include "cli/reply_words.h"

#include "cli/output.h"
#include "cli/stop_request.h"
#include "connection/setting_keys.h"
#include "connection/transmitter_connection.h"
#include "link/reply_value.h"
#include "protocol/bus_search.h"
#include "protocol/full_read.h"
#include "protocol/units.h"

#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace {
const QString kNotACode = QStringLiteral("not a code");

// What a read shows besides the settings.
struct ReadOnlyKey {
    Command command;
    const char* name;
};
constexpr ReadOnlyKey kReadOnlyKeys[] = {{Command::Version, "version"},
                                         {Command::Pressure, "pressure"},
                                         {Command::Temperature, "temperature"}};

QString keyOf(Command command) {
    if (const SettingKey* setting = settingOf(command))
        return QLatin1String(setting->name);
    for (const ReadOnlyKey& key : kReadOnlyKeys)
        if (key.command == command)
            return QLatin1String(key.name);
    return QString();
}

// The texts (model, id, version) may be blank: a reply without data is their
// value "". Every other value is a number or a code, which no data is not.
bool mayBeBlank(Command command) {
    const SettingKey* setting = settingOf(command);
    return setting ? setting->kind == SettingKind::Text : command == Command::Version;
}

// The keys that hold a measured or set quantity: a JSON document gives each
// one its number too, as KEY + "Value".
bool isQuantity(const QString& key) {
    const SettingKey* setting = settingNamed(key);
    return setting ? setting->kind == SettingKind::Pressure
                   : key == QLatin1String("pressure") || key == QLatin1String("temperature");
}

// The keys whose value is in the transmitter's pressure unit.
bool isPressure(const QString& key) {
    return isQuantity(key) && key != QLatin1String("temperature");
}

SettingKind kindOf(const QString& key) {
    const SettingKey* setting = settingNamed(key);
    // What is no setting is shown as sent, like a text.
    return setting ? setting->kind : SettingKind::Text;
}

} // namespace

const QString kNotRead = QStringLiteral("not read");

QString TransmitterRead::errorOf(const QString& key) const {
    QString error;
    for (const ReadError& e : errors)
        for (const FullReadItem& item : fullRead())
            if (e.command == commandText(item.command) && keyOf(item.command) == key)
                error = e.error;
    return error;
}

QStringList TransmitterRead::notRead() const {
    QStringList commands;
    for (const ReadError& e : errors)
        if (e.error == kNotRead)
            commands.append(e.command);
    return commands;
}

const QStringList& readKeys() {
    // Who the transmitter is (its texts and version), its other settings in
    // the window's order, then what it measures.
    static const QStringList keys = [] {
        QStringList k{keyOf(Command::Model), keyOf(Command::Id), keyOf(Command::Version)};
        for (const SettingKey& setting : settingKeyTable())
            if (setting.kind != SettingKind::Text)
                k.append(QLatin1String(setting.name));
        return k << keyOf(Command::Pressure) << keyOf(Command::Temperature);
    }();
    return keys;
}

std::optional<double> quantityValue(const QString& value) {
    bool ok = false;
    const double v = QLocale::c().toDouble(value.trimmed(), &ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

int decimalsWritten(const QString& number) {
    const QString text = number.trimmed();
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    return point < 0 ? 0 : int(text.size() - point - 1);
}

QString unitSuffix(const TransmitterRead& read) {
    return read.unitCode ? QLatin1Char(' ') + unitNames().value(*read.unitCode) : QString();
}

namespace {

TransmitterRead emptyRead(const TransmitterConnection& transmitter) {
    TransmitterRead read;
    read.address = transmitter.address();
    const int baudIndex = transmitter.baudIndex();
    read.baud = baudIndex >= 0 ? kBaudRates[baudIndex] : 0;
    return read;
}

// One exchange of the full read, its value or its error kept.
void readItem(TransmitterRead& read, TransmitterConnection& transmitter, const FullReadItem& item) {
    const QString command = commandText(item.command);
    const Exchanged reply = transmitter.exchange(item.command);
    if (!reply.answered() || (reply.kind == ReplyKind::NoData && !mayBeBlank(item.command))) {
        read.errors.append({command, replyProblem(reply.kind)});
        return;
    }
    const QString key = keyOf(item.command);
    const QString value = reply.value();
    read.values.insert(key, value);
    const SettingKind kind = kindOf(key);
    if (kind == SettingKind::Unit || kind == SettingKind::Decimals) {
        std::optional<int>& code = kind == SettingKind::Unit ? read.unitCode : read.decimals;
        code = codeValue(value, kind == SettingKind::Unit ? kHighestUnitCode : kHighestDecimals);
        if (!code)
            read.errors.append({command, kNotACode});
    }
}

} // namespace

TransmitterRead readTransmitter(TransmitterConnection& transmitter,
                                const std::function<bool()>& stop) {
    TransmitterRead read = emptyRead(transmitter);
    for (const FullReadItem& item : fullRead()) {
        if (stop && stop()) {
            read.errors.append({commandText(item.command), kNotRead});
            continue;
        }
        readItem(read, transmitter, item);
    }
    return read;
}

StepwiseRead::StepwiseRead(const TransmitterConnection& transmitter)
    : m_read(emptyRead(transmitter)) {}

bool StepwiseRead::done() const {
    return m_next >= fullRead().size();
}

void StepwiseRead::step(TransmitterConnection& transmitter) {
    if (!done())
        readItem(m_read, transmitter, fullRead()[m_next++]);
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
        const SettingKind kind = kindOf(key);
        if (kind == SettingKind::Unit) {
            QJsonObject unit;
            unit.insert(QStringLiteral("code"), unitCode ? QJsonValue(*unitCode) : QJsonValue());
            unit.insert(QStringLiteral("name"),
                        unitCode ? QJsonValue(unitNames().value(*unitCode)) : QJsonValue());
            o.insert(key, unit);
        } else if (kind == SettingKind::Decimals) {
            o.insert(key, decimals ? QJsonValue(*decimals) : QJsonValue());
        } else {
            o.insert(key, values.value(key));
        }
    }
    for (const QString& key : readKeys()) {
        if (!isQuantity(key))
            continue;
        const std::optional<double> number =
            values.contains(key) ? quantityValue(values.value(key)) : std::nullopt;
        o.insert(key + QStringLiteral("Value"), number ? QJsonValue(*number) : QJsonValue());
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
            const QString error = errorOf(key);
            add(key, error == kNotRead ? QStringLiteral("(not read)")
                                       : QStringLiteral("(failed: %1)").arg(error));
            continue;
        }
        const QString value = values.value(key);
        const SettingKind kind = kindOf(key);
        if (kind == SettingKind::Unit || kind == SettingKind::Decimals) {
            const std::optional<int> code = kind == SettingKind::Unit ? unitCode : decimals;
            if (!code)
                add(key, QStringLiteral("\"%1\" (not a code)").arg(value));
            else if (kind == SettingKind::Unit)
                add(key, QStringLiteral("%1 %2").arg(*code).arg(unitNames().value(*code)));
            else
                add(key, QString::number(*code));
            continue;
        }
        // A pressure is shown in its unit, when the unit is known.
        add(key, isPressure(key) && unitCode
                     ? QStringLiteral("%1 %2").arg(value, unitNames().value(*unitCode))
                     : value);
    }
    return lines;
}

QString readFailure(const TransmitterRead& read) {
    QStringList kinds;
    for (const ReadError& e : read.errors)
        if (!kinds.contains(e.error))
            kinds.append(e.error);
    const qsizetype total = fullRead().size();
    if (kinds.size() == 1)
        return QStringLiteral("%1: %2 to %3 of %4 reads")
            .arg(read.address, kinds.first())
            .arg(read.errors.size())
            .arg(total);
    return QStringLiteral("%1: %2 of %3 reads failed (%4)")
        .arg(read.address)
        .arg(read.errors.size())
        .arg(total)
        .arg(kinds.join(QStringLiteral(", ")));
}

void printReadErrors(const TransmitterRead& read) {
    if (!read.complete())
        noteFailure(readFailure(read));
    for (const ReadError& e : read.errors)
        if (e.error != kNotRead)
            printNote(QStringLiteral("%1 %2: %3").arg(read.address, e.command, e.error));
    if (const QStringList notRead = read.notRead(); !notRead.isEmpty())
        printNote(QStringLiteral("%1: %2; not read: %3")
                      .arg(read.address, stopReason(), notRead.join(QStringLiteral(", "))));
}
