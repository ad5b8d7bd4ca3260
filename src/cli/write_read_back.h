#pragma once

#include "cli/write_run.h"

class TransmitterConnection;

// Reading a setting back after a write whose echo did not tell whether the
// transmitter took it.

// Whether the value read back is the one the write sent: a pressure by its
// value at the decimals it was sent with, a unit or decimals by its code,
// trims and texts as the same text.
bool holdsSentValue(SettingKind kind, const QString& sent, const QString& read);

// A setting's value as the transmitter holds it, or why it could not be read
// (a text may be blank; any other setting without data is no value).
struct SettingRead {
    std::optional<QString> value;
    QString problem;
};
SettingRead readSetting(TransmitterConnection& transmitter, const SettingKey& setting);

// The value a setting write sends: its command text without the command.
QString sentValue(const SettingKey& setting, const PlannedWrite& write);

// Reads the key of a setting write back once, at the transmitter's present
// address; nothing for a write that is no setting (the data areas, zeroing).
std::optional<ReadBack> readSettingBack(TransmitterConnection& transmitter,
                                        const PlannedWrite& write);
