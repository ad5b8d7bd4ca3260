#include "cli/write_read_back.h"

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

std::optional<ReadBack> readSettingBack(TransmitterConnection& transmitter,
                                        const PlannedWrite& write) {
    const SettingKey* setting = settingNamed(write.key);
    if (!setting)
        return std::nullopt;
    const QString sent = write.command.mid(commandText(setting->command).size());
    const Exchanged reply = transmitter.exchange(setting->command);
    // A text may be blank; any other setting without data is no value.
    const bool hasValue = reply.kind == ReplyKind::Data ||
                          (reply.kind == ReplyKind::NoData && setting->kind == SettingKind::Text);
    if (!hasValue)
        return ReadBack{WriteState::Unknown, std::nullopt, replyProblem(reply.kind)};
    const QString value = reply.value();
    if (holdsSentValue(setting->kind, sent, value))
        return ReadBack{WriteState::Applied, value, QString()};
    return ReadBack{WriteState::NotApplied, value,
                    QStringLiteral("the transmitter holds \"%1\"").arg(value)};
}
