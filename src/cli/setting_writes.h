#pragma once

#include "cli/writing_command.h"

// The plan step of set and apply: the writes of checked values, with the
// transmitter's own decimals read first when a pressure needs them.
PlanStep settingWrites(const SettingValues& values);
