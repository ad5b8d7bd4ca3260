#include "cli/fixed_rate.h"

#include "cli/output.h"
#include "protocol/bus_search.h"

namespace {
QString fixedAt(int fixedBaud) {
    return QStringLiteral("the baud rate of this port is fixed at %1").arg(fixedBaud);
}
} // namespace

QString fixedRateRefusal(int fixedBaud, int baud) {
    return fixedAt(fixedBaud) + QStringLiteral("; it cannot be changed to %1").arg(baud);
}

bool rateAllowed(int fixedBaud, int baudIndex) {
    if (fixedBaud == 0 || baudIndex < 0 || kBaudRates[std::size_t(baudIndex)] == fixedBaud)
        return true;
    printError(fixedRateRefusal(fixedBaud, kBaudRates[std::size_t(baudIndex)]) +
               QStringLiteral("; nothing sent"));
    return false;
}

bool narrowScanRates(int fixedBaud, bool given, QList<int>& baudIndexes) {
    if (fixedBaud == 0)
        return true;
    for (const int index : given ? baudIndexes : QList<int>()) {
        if (kBaudRates[std::size_t(index)] != fixedBaud) {
            printError(fixedAt(fixedBaud) +
                       QStringLiteral("; %1 baud cannot be searched through it")
                           .arg(kBaudRates[std::size_t(index)]));
            return false;
        }
    }
    baudIndexes = searchBaudIndexes(fixedBaud);
    printWarning(fixedAt(fixedBaud) + QStringLiteral("; only this rate is searched"));
    return true;
}

bool rateChangeAllowed(int fixedBaud, const QString& commandText) {
    const int baud = rateChangeOf(commandText);
    if (fixedBaud == 0 || baud == 0 || baud == fixedBaud)
        return true;
    printError(baud > 0 ? fixedRateRefusal(fixedBaud, baud) + QStringLiteral("; nothing sent")
                        : fixedAt(fixedBaud) +
                              QStringLiteral("; \"%1\" would move the transmitter off it; "
                                             "nothing sent")
                                  .arg(commandText));
    return false;
}
