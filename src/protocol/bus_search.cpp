#include "protocol/bus_search.h"

#include "protocol/number_format.h"

QString busAddress(int number) {
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

bool isBusAddress(const QString& text) {
    return isDigitRun(text, 2, 2) && text != QLatin1String("00");
}

QString lineSettingsOfIndex(int baudIndex) {
    if (baudIndex < 0 || baudIndex >= int(kBaudRates.size()))
        return QString();
    return QString::number(kBaudRates[baudIndex]) + QStringLiteral(",N,8,1");
}

int baudIndexOf(int rate) {
    for (std::size_t i = 0; i < kBaudRates.size(); ++i)
        if (kBaudRates[i] == rate)
            return int(i);
    return -1;
}

bool isAddressAnswer(const QString& reply, const QString& address) {
    return reply == QLatin1Char('*') + address + address + QLatin1Char('\r');
}
