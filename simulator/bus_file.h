#pragma once

#include "simulator/transmitter.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace sim {

// The bus description file, JSON:
//
//   {"transmitters": [
//     {"address": "01", "baud": 9600, "model": "PDS301", "id": "A2309142",
//      "version": "V2.13", "unit": 0, "decimals": 2,
//      "rangeLow": "+000.00", "rangeHigh": "+250.00",
//      "output4mA": "+000.00", "output20mA": "+250.00",
//      "trim4mA": "+0000", "trim20mA": "+0000",
//      "pressure": 101.3, "temperature": 23.5, "turnaround": 5,
//      "faults": {"RP0": "late:15", "*": "silent"}}]}
//
// "address" and "baud" are required, everything else has a default. The texts
// are what the transmitter answers, exactly; "pressure" and "temperature" are
// the values its readings drift around; "turnaround" is the milliseconds from
// a request's end to the start of the reply. Unknown keys are errors, so a
// typing mistake is not silently ignored.

// No value on error; *error then names the transmitter and the key. A
// transmitter without "turnaround" gets turnaroundMs.
std::optional<std::vector<Transmitter>> busFromJson(const QByteArray& json, QString* error,
                                                    int turnaroundMs = 0);
std::optional<std::vector<Transmitter>> readBusFile(const QString& path, QString* error,
                                                    int turnaroundMs = 0);

QByteArray busToJson(const std::vector<Transmitter>& transmitters);
// The keys of the file, for one transmitter as it stands now.
QJsonObject transmitterToJson(const Transmitter& transmitter);
QJsonObject settingsToJson(const Settings& settings);

// Three transmitters at different addresses and rates, all with this
// turnaround, for a start without a file; --print-default-bus writes it as a
// template.
std::vector<Transmitter> defaultBus(int turnaroundMs = 0);

} // namespace sim
