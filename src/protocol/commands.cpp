#include "protocol/commands.h"

const std::array<CommandInfo, 19>& commandTable() {
    static const std::array<CommandInfo, 19> table{{
        {Command::Address, "AD", "the bus address"},
        {Command::BaudRate, "BD", "the baud rate"},
        {Command::Model, "TY", "the model text"},
        {Command::Id, "ID", "the identity text"},
        {Command::Version, "VR", "the software version"},
        {Command::Unit, "UT", "the engineering unit"},
        {Command::Decimals, "DP", "the decimal places"},
        {Command::RangeLow, "DL", "the range low"},
        {Command::RangeHigh, "DH", "the range high"},
        {Command::OutputLow, "OL", "the pressure at 4 mA"},
        {Command::OutputHigh, "OH", "the pressure at 20 mA"},
        {Command::Trim4mA, "ZF", "the 4 mA trim"},
        {Command::Trim20mA, "FF", "the 20 mA trim"},
        {Command::Pressure, "RP0", "the present pressure"},
        {Command::Temperature, "RT0", "the present temperature"},
        {Command::Zero, "SZ", "zero"},
        {Command::StoreUser, "WU", "store in the user data area"},
        {Command::StoreFactory, "WF", "store in the factory data area"},
        {Command::RestoreFactory, "LD", "restore the factory settings"},
    }};
    return table;
}

QString commandText(Command command) {
    return QString::fromLatin1(commandTable().at(static_cast<std::size_t>(command)).name);
}

QString commandText(Command command, const QString& payload) {
    return commandText(command) + payload;
}
