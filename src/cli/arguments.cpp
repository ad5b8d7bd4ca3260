#include "cli/arguments.h"

#include "protocol/bus_search.h"
#include "protocol/number_format.h"

#include <QStringTokenizer>

#include <algorithm>
#include <array>

// The parsers read views of their argument and split it without copying: a
// script may pass long lists, and the fuzzer passes millions.
std::optional<int> parseWholeNumber(QStringView text, int low, int high) {
    const QStringView t = text.trimmed();
    if (!isDigitRun(t, 1, 9))
        return std::nullopt;
    const int n = t.toInt();
    if (n < low || n > high)
        return std::nullopt;
    return n;
}

std::optional<QString> parseBusAddress(QStringView text) {
    const std::optional<int> n = parseWholeNumber(text, kFirstBusAddress, kLastBusAddress);
    if (!n || text.trimmed().size() > 2)
        return std::nullopt;
    return busAddress(*n);
}

std::optional<int> parseBaudIndex(QStringView text) {
    const std::optional<int> rate = parseWholeNumber(text, 1, 9600);
    if (!rate)
        return std::nullopt;
    const int index = baudIndexOf(*rate);
    if (index < 0)
        return std::nullopt;
    return index;
}

std::optional<QList<int>> parseBaudList(const QString& text) {
    std::array<bool, kBaudRates.size()> chosen{};
    for (const QStringView part : qTokenize(text, QLatin1Char(','))) {
        const std::optional<int> index = parseBaudIndex(part);
        if (!index)
            return std::nullopt;
        chosen[*index] = true;
    }
    QList<int> ordered;
    for (const int index : kSearchBaudIndexes)
        if (chosen[index])
            ordered.append(index);
    return ordered;
}

std::optional<QList<int>> parseAddressList(const QString& text) {
    // Marks rather than a list to sort: "1-99,1-99,..." names each address
    // many times over.
    std::array<bool, kLastBusAddress + 1> named{};
    for (const QStringView part : qTokenize(text, QLatin1Char(','))) {
        const qsizetype dash = part.indexOf(QLatin1Char('-'));
        const QStringView low = dash < 0 ? part : part.first(dash);
        const QStringView high = dash < 0 ? part : part.sliced(dash + 1);
        if (high.contains(QLatin1Char('-')))
            return std::nullopt;
        const std::optional<int> first = parseWholeNumber(low, kFirstBusAddress, kLastBusAddress);
        const std::optional<int> last = parseWholeNumber(high, kFirstBusAddress, kLastBusAddress);
        if (!first || !last || *first > *last)
            return std::nullopt;
        std::fill(named.begin() + *first, named.begin() + *last + 1, true);
    }
    QList<int> numbers;
    numbers.reserve(kLastBusAddress);
    for (int n = kFirstBusAddress; n <= kLastBusAddress; ++n)
        if (named[n])
            numbers.append(n);
    return numbers;
}
