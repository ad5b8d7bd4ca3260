#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Reading the values a command line gives. Each returns nothing for text it
// cannot read, and the caller names the argument in its message.

// A bus address, 1 to 99, as the frame carries it: "7" and "07" give "07".
std::optional<QString> parseBusAddress(QStringView text);

// A baud rate, 1200, 2400, 4800 or 9600, as its baud index 0 to 3.
std::optional<int> parseBaudIndex(QStringView text);

// "9600,1200": baud indexes in the order a search walks them, fastest first,
// each once.
std::optional<QList<int>> parseBaudList(const QString& text);

// "1-20,31": addresses 1 to 99, ascending, each once.
std::optional<QList<int>> parseAddressList(const QString& text);

// A whole number from low to high.
std::optional<int> parseWholeNumber(QStringView text, int low, int high);
