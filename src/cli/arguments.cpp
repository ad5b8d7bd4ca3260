#include "cli/arguments.h"

#include "protocol/bus_search.h"

#include <QRegularExpression>

#include <algorithm>

std::optional<int> parseWholeNumber(const QString& text, int low, int high) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    const QString t = text.trimmed();
    if (!digits.match(t).hasMatch())
        return std::nullopt;
    const int n = t.toInt();
    if (n < low || n > high)
        return std::nullopt;
    return n;
}

std::optional<QString> parseBusAddress(const QString& text) {
    const std::optional<int> n = parseWholeNumber(text, kFirstBusAddress, kLastBusAddress);
    if (!n || text.trimmed().size() > 2)
        return std::nullopt;
    return busAddress(*n);
}

std::optional<int> parseBaudIndex(const QString& text) {
    const std::optional<int> rate = parseWholeNumber(text, 1, 9600);
    if (!rate)
        return std::nullopt;
    const int index = baudIndexOf(*rate);
    if (index < 0)
        return std::nullopt;
    return index;
}

std::optional<QList<int>> parseBaudList(const QString& text) {
    QList<int> chosen;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const std::optional<int> index = parseBaudIndex(part);
        if (!index)
            return std::nullopt;
        chosen.append(*index);
    }
    QList<int> ordered;
    for (const int index : kSearchBaudIndexes)
        if (chosen.contains(index))
            ordered.append(index);
    return ordered;
}

std::optional<QList<int>> parseAddressList(const QString& text) {
    QList<int> numbers;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        if (ends.size() > 2)
            return std::nullopt;
        const std::optional<int> first =
            parseWholeNumber(ends.first(), kFirstBusAddress, kLastBusAddress);
        const std::optional<int> last =
            parseWholeNumber(ends.last(), kFirstBusAddress, kLastBusAddress);
        if (!first || !last || *first > *last)
            return std::nullopt;
        for (int n = *first; n <= *last; ++n)
            numbers.append(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}
