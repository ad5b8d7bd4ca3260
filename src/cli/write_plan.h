#pragma once

#include "connection/setting_keys.h"

#include <QList>
#include <QMap>

#include <optional>
#include <variant>

// Planning the writes of set and apply: pure functions from what the engineer
// gave to the frames' command texts, with no I/O, so every refusal happens
// before the first frame goes out. The values go through the same core code
// as the window's write buttons (number patterns, trim text, text rules).

// One write: the setting's key ("rangeLow") and its command text ("DL+000.00").
struct PlannedWrite {
    QString key;
    QString command;
    // Where it goes when that is not the transmitter's present address: the
    // writes after a move's "AD" go to the new one.
    QString address = {};
    // Once this write has gone out, a stop waits for the writes after it: a
    // transmitter left at a new address with its old rate is worse than a
    // second's delay.
    bool finishOnceSent = false;
    // What comparing it with the transmitter found, when it was compared:
    // the value the key held, or why it could not be read (the write then
    // goes out as it would have); unchanged when it held the value already.
    std::optional<QString> present = {};
    QString notCompared = {};
    bool unchanged = false;
};

// The writes in the order the window sends them: the range group, the output
// group, then the texts.
struct WritePlan {
    QList<PlannedWrite> writes;
};

// Why nothing may be sent; the message names the key.
struct Refusal {
    QString message;
};

// The settings given, by key, as typed; every value already checked.
using SettingValues = QMap<QString, QString>;

// Reads "KEY=VALUE" arguments and checks each value: a key given twice, one
// that does not exist, a value that is no number, a trim that is not a whole
// number from -5000 to 5000, a text the window would refuse.
std::variant<SettingValues, Refusal> parseSettings(const QStringList& keyValues);

// Checks one value of a key.
std::optional<Refusal> settingProblem(const QString& key, const QString& value);

// Whether formatting the values needs the transmitter's own decimals: a
// pressure is given and decimals is not.
bool needsTransmitterDecimals(const SettingValues& values);

// The writes for checked values. Pressures are formatted with the pattern of
// the decimals given, or else of transmitterDecimals; without either (or with
// one outside 0 to 4) nothing is planned.
std::variant<WritePlan, Refusal> planSettings(const SettingValues& values,
                                              std::optional<int> transmitterDecimals);

// parseSettings, then planSettings.
std::variant<WritePlan, Refusal> planSet(const QStringList& keyValues,
                                         std::optional<int> transmitterDecimals);

// The unit code of a code "0" to "6" or a unit name, any case.
std::optional<int> unitCodeOf(const QString& text);

// A trim given as a whole number from -5000 to 5000: "+12", "-7", "0".
std::optional<int> trimPositionOf(const QString& text);
