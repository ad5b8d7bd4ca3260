#include "cli/write_read_back.h"
#include "cli/reply_words.h"

#include "cli/transmitter_read.h"
#include "connection/transmitter_connection.h"
#include "link/reply_value.h"

#include <cmath>

bool holdsSentValue(SettingKind kind, const QString& sent, const QString& read) {
    switch (kind) {
    case SettingKind::Pressure: {
        const std::optional<double> a = quantityValue(sent);
        const std::optional<double> b = quantityValue(read);
        const double scale = std::pow(10.0, decimalsWritten(sent));
        return a && b && std::llround(*a * scale) == std::llround(*b * scale);
    }
    case SettingKind::Unit:
    case SettingKind::Decimals: {
        const int highest = kind == SettingKind::Unit ? kHighestUnitCode : kHighestDecimals;
        const std::optional<int> code = codeValue(read, highest);
        return code && code == codeValue(sent, highest);
    }
    case SettingKind::Trim:
    case SettingKind::Text:
        return read == sent;
    }
    return false;
}

SettingRead readSetting(TransmitterConnection& transmitter, const SettingKey& setting) {
    const Exchanged reply = transmitter.exchange(setting.command);
    const bool hasValue = reply.kind == ReplyKind::Data ||
                          (reply.kind == ReplyKind::NoData && setting.kind == SettingKind::Text);
    if (!hasValue)
        return {std::nullopt, replyProblem(reply.kind)};
    return {reply.value(), QString()};
}

QString sentValue(const SettingKey& setting, const PlannedWrite& write) {
    return write.command.mid(commandText(setting.command).size());
}

std::optional<ReadBack> readSettingBack(TransmitterConnection& transmitter,
                                        const PlannedWrite& write) {
    const SettingKey* setting = settingNamed(write.key);
    if (!setting)
        return std::nullopt;
    const SettingRead read = readSetting(transmitter, *setting);
    if (!read.value)
        return ReadBack{WriteState::Unknown, std::nullopt, read.problem};
    const QString value = *read.value;
    if (holdsSentValue(setting->kind, sentValue(*setting, write), value))
        return ReadBack{WriteState::Applied, value, QString()};
    return ReadBack{WriteState::NotApplied, value,
                    QStringLiteral("the transmitter holds \"%1\"").arg(value)};
}
