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

// Reads a read --json document. Unit, decimals, range and output mapping are
// taken; the trims only withTrims, model and id only withTexts; address and
// rate never. A document that is not such an object, or a value of the wrong
// type or one set would refuse, is refused.
std::variant<ApplyDocument, Refusal> parseApplyDocument(const QByteArray& document, bool withTrims,
                                                        bool withTexts);

struct ApplyPlan {
    ApplyDocument document;
    WritePlan plan;
};

// parseApplyDocument, then the writes as set plans them.
std::variant<ApplyPlan, Refusal> planApply(const QByteArray& document, bool withTrims,
                                           bool withTexts, std::optional<int> transmitterDecimals);

// A key whose read-back differs from the document.
struct Difference {
    QString key;
    QString expected;
    QString actual;
};

// Compares the read-back with the values written: pressures and trims by
// their numeric value ("100" and "+100.00" agree), codes and texts as they are.
QList<Difference> compareReadBack(const SettingValues& values, const TransmitterRead& read);
