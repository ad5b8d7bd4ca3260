#include "protocol/full_read.h"

const std::array<FullReadItem, 14>& fullRead() {
    static const std::array<FullReadItem, 14> steps{{
        {FullReadStep::RangeModel, Command::Model},
        {FullReadStep::RangeLow, Command::RangeLow},
        {FullReadStep::RangeHigh, Command::RangeHigh},
        {FullReadStep::Unit, Command::Unit},
        {FullReadStep::Model, Command::Model},
        {FullReadStep::Id, Command::Id},
        {FullReadStep::Version, Command::Version},
        {FullReadStep::Decimals, Command::Decimals},
        {FullReadStep::OutputLow, Command::OutputLow},
        {FullReadStep::OutputHigh, Command::OutputHigh},
        {FullReadStep::Trim4mA, Command::Trim4mA},
        {FullReadStep::Trim20mA, Command::Trim20mA},
        {FullReadStep::Pressure, Command::Pressure},
        {FullReadStep::Temperature, Command::Temperature},
    }};
    return steps;
}
