#pragma once

#include "protocol/commands.h"

#include <array>

// Reading everything about one transmitter: fourteen exchanges in a fixed
// order. The model is read twice, once for the range frame and once for the
// address frame of the window.
enum class FullReadStep {
    RangeModel,
    RangeLow,
    RangeHigh,
    Unit,
    Model,
    Id,
    Version,
    Decimals,
    OutputLow,
    OutputHigh,
    Trim4mA,
    Trim20mA,
    Pressure,
    Temperature,
};

struct FullReadItem {
    FullReadStep step;
    Command command;
};

const std::array<FullReadItem, 14>& fullRead();
