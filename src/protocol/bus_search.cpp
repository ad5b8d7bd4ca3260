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

QList<int> searchBaudIndexes(int fixedBaud) {
    if (const int fixed = baudIndexOf(fixedBaud); fixed >= 0)
        return {fixed};
    return {kSearchBaudIndexes.begin(), kSearchBaudIndexes.end()};
}

int rateChangeOf(const QString& commandText) {
    if (commandText.size() <= 2 ||
        commandText.left(2).compare(QLatin1String("BD"), Qt::CaseInsensitive) != 0)
        return 0;
    const QString payload = commandText.mid(2);
    if (payload.size() != 1 || payload[0] < QLatin1Char('0') ||
        payload[0] >= QLatin1Char(char('0' + kBaudRates.size())))
        return -1;
    return kBaudRates[std::size_t(payload[0].unicode() - '0')];
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
