#pragma once

#include "cli/write_plan.h"

#include <QByteArray>

struct TransmitterRead;

// Applying a saved configuration: the document read --json writes, turned
// into the writes of set, and the read-back compared with it. Pure functions.

struct ApplyDocument {
    // The checked values of the keys to write, as the document holds them.
    SettingValues values;
    // Keys to write that the document holds as null: skipped.
    QStringList nullKeys;
};

// Reads a read --json document, or the entry for entryAddress of an
// inventory --json array. Unit, decimals, range and output mapping are taken;
// the trims only withTrims, model and id only withTexts; address, rate and
// what is only read (version, pressure, temperature, errors, the numbers
// beside the values) never. Refused: a document that is not such an object
// (saying where parsing stopped), a key read --json does not write (a typo
// must not go unnoticed), a unit whose code and name disagree, a value of the
// wrong type or one set would refuse.
std::variant<ApplyDocument, Refusal>
parseApplyDocument(const QByteArray& document, bool withTrims, bool withTexts,
                   const std::optional<QString>& entryAddress = std::nullopt);

// Why the writes would not make a clone of the document: without the
// document's decimals, a pressure going out with the transmitter's, which
// are not those the document holds it with.
std::optional<Refusal> cloneProblem(const ApplyDocument& document, const WritePlan& plan);

struct ApplyPlan {
    ApplyDocument document;
    WritePlan plan;
};

// parseApplyDocument, then the writes as set plans them, checked by
// cloneProblem.
std::variant<ApplyPlan, Refusal> planApply(const QByteArray& document, bool withTrims,
                                           bool withTexts, std::optional<int> transmitterDecimals,
                                           const std::optional<QString>& entryAddress = {});

// A key whose read-back differs from the document.
struct Difference {
    QString key;
    QString expected;
    QString actual;
};

// Compares the read-back with the values written: pressures and trims by
// their numeric value ("100" and "+100.00" agree), codes and texts as they are.
QList<Difference> compareReadBack(const SettingValues& values, const TransmitterRead& read);
