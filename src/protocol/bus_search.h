#pragma once

#include <QList>
#include <QString>

#include <array>

// How a bus is searched: every address from 01 to 99 is asked for its
// address ("AD") at each rate, the fastest rate first. A transmitter counts
// as found when it answers with its own address twice: the address echo and
// the data.

inline constexpr int kFirstBusAddress = 1;
inline constexpr int kLastBusAddress = 99;

// The rates as the baud index of a command or a record: 0 = 1200, 1 = 2400,
// 2 = 4800, 3 = 9600.
inline constexpr std::array<int, 4> kBaudRates{1200, 2400, 4800, 9600};

// The baud indexes in the order a search walks them: 9600 first.
inline constexpr std::array<int, 4> kSearchBaudIndexes{3, 2, 1, 0};

// The baud indexes a search walks on a line whose rate is fixed at
// fixedBaud: that rate alone; all four, 9600 first, for 0 (a line whose rate
// the tool sets) and for a rate the bus does not use.
QList<int> searchBaudIndexes(int fixedBaud);

// The rate a command text as typed moves a transmitter to: "BD2" (in any
// letter case) is 4800; 0 for a text that changes no rate, -1 for "BD" with
// a payload that is no baud index.
int rateChangeOf(const QString& commandText);

// The bus address of a number as a frame carries it: 7 -> "07".
QString busAddress(int number);

// Whether text is a bus address as a frame carries it: exactly two digits,
// 01 to 99 ("12" followed by a line feed is none).
bool isBusAddress(const QString& text);

// The line settings text of a baud index: "9600,N,8,1"; empty for an index
// that is no rate.
QString lineSettingsOfIndex(int baudIndex);

// The baud index of a rate, or -1.
int baudIndexOf(int rate);

// Whether reply is the answer of the transmitter at address to "AD".
bool isAddressAnswer(const QString& reply, const QString& address);
