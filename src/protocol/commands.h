#pragma once

#include <QString>

#include <array>

// The commands a transmitter understands. A command text is the command's
// name followed directly by its payload, if any: "UT" reads the unit, "UT3"
// sets it. Both programs build their frames from this one table.
enum class Command {
    Address,        // "AD": read the address, or change it with a two-digit payload
    BaudRate,       // "BD" + baud index: change the rate
    Model,          // "TY": the model text
    Id,             // "ID": the identity (serial number) text
    Version,        // "VR": the software version
    Unit,           // "UT": the engineering unit code, 0 to 6
    Decimals,       // "DP": the number of decimal places, 0 to 4
    RangeLow,       // "DL": the measuring range low
    RangeHigh,      // "DH": the measuring range high
    OutputLow,      // "OL": the pressure at 4 mA
    OutputHigh,     // "OH": the pressure at 20 mA
    Trim4mA,        // "ZF": the 4 mA output trim
    Trim20mA,       // "FF": the 20 mA output trim
    Pressure,       // "RP0": the present pressure
    Temperature,    // "RT0": the present temperature
    Zero,           // "SZ": take the present pressure as zero
    StoreUser,      // "WU": store the settings in the user data area
    StoreFactory,   // "WF": store the settings in the factory data area
    RestoreFactory, // "LD": restore the factory settings
};

struct CommandInfo {
    Command command;
    const char* name;
};

// Every command, in the order above.
const std::array<CommandInfo, 19>& commandTable();

// The command's name, "AD" to "LD"; the command text of a read or a bare
// command.
QString commandText(Command command);

// The command text that sets a value: name and payload.
QString commandText(Command command, const QString& payload);

// The reply value of the data-area commands when they succeed.
inline const QString kDoneReplyValue = QStringLiteral("OK");
