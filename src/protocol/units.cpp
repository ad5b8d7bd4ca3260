#include "protocol/units.h"

const QStringList& unitNames() {
    static const QStringList names{QStringLiteral("kPa"),    QStringLiteral("MPa"),
                                   QStringLiteral("mH2O"),   QStringLiteral("Bar"),
                                   QStringLiteral("Psi"),    QStringLiteral("mBar"),
                                   QStringLiteral("Unknown")};
    return names;
}
