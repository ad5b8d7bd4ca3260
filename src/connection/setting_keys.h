#pragma once

#include "protocol/commands.h"

#include <QStringList>

#include <array>

// The settings of a transmitter that can be written, by the names scripts and
// read --json documents give them: the one table of keys that tarnwick-cli's
// planners, its reader and its JSON output use.

enum class SettingKind {
    Unit,     // a unit code, 0 to kHighestUnitCode
    Decimals, // the number of decimals, 0 to kHighestDecimals
    Pressure, // a number, formatted with the decimals
    Trim,     // a trim position, -kTrimLimit to kTrimLimit
    Text,     // a model or identity text
};

inline constexpr int kHighestUnitCode = 6;
inline constexpr int kHighestDecimals = 4;
inline constexpr int kTrimLimit = 5000;

struct SettingKey {
    const char* name;
    Command command;
    SettingKind kind;
};

// Every setting, in the window's order of writing: the range group, the
// output group, then the texts.
const std::array<SettingKey, 10>& settingKeyTable();

// Their names in that order: unit, decimals, rangeLow, rangeHigh, outputLow,
// outputHigh, trim4mA, trim20mA, id, model.
const QStringList& settingKeys();

// The setting of a name, or of the command that reads and writes it; null
// for anything else.
const SettingKey* settingNamed(const QString& name);
const SettingKey* settingOf(Command command);
