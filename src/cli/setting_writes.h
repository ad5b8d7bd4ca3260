#pragma once

#include "cli/writing_command.h"

// The plan step of set and apply: the writes of checked values, with the
// transmitter's own decimals read first when a pressure needs them. Unless
// all, each key is read and compared first (as a read-back compares) and one
// that already holds its value is not written; once "UT" or "DP" is written,
// every later key is written too, since a transmitter's range and output
// follow its unit and decimals.
PlanStep settingWrites(const SettingValues& values, bool all);
