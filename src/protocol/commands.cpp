#include "protocol/commands.h"

const std::array<CommandInfo, 19>& commandTable() {
    static const std::array<CommandInfo, 19> table{{
        {Command::Address, "AD"},        {Command::BaudRate, "BD"},
        {Command::Model, "TY"},          {Command::Id, "ID"},
        {Command::Version, "VR"},        {Command::Unit, "UT"},
        {Command::Decimals, "DP"},       {Command::RangeLow, "DL"},
        {Command::RangeHigh, "DH"},      {Command::OutputLow, "OL"},
        {Command::OutputHigh, "OH"},     {Command::Trim4mA, "ZF"},
        {Command::Trim20mA, "FF"},       {Command::Pressure, "RP0"},
        {Command::Temperature, "RT0"},   {Command::Zero, "SZ"},
        {Command::StoreUser, "WU"},      {Command::StoreFactory, "WF"},
        {Command::RestoreFactory, "LD"},
    }};
    return table;
}

QString commandText(Command command) {
    return QString::fromLatin1(commandTable().at(static_cast<std::size_t>(command)).name);
}

QString commandText(Command command, const QString& payload) {
    return commandText(command) + payload;
}
