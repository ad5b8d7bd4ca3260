#pragma once

#include <QList>
#include <QString>

// A port whose device server fixes its line's rate (a raw tcp:// server):
// what the commands may not ask of it. A transmitter sent to another rate
// could not be reached again through that server, and a search or a read at
// another rate would go out at the wrong one, so each is refused before the
// port opens. fixedBaud 0 is a port whose rate the tool sets: anything goes.

// "the baud rate of this port is fixed at 4800; it cannot be changed to 9600"
QString fixedRateRefusal(int fixedBaud, int baud);

// Whether the line may go to a baud index (-1: any, found by probes); false
// after the refusal.
bool rateAllowed(int fixedBaud, int baudIndex);

// The rates a scan walks: on a fixed port, its rate alone, with a note that
// says so; false after the refusal when the rates were given (given) and
// one of them is another.
bool narrowScanRates(int fixedBaud, bool given, QList<int>& baudIndexes);

// Whether a command text as typed keeps the transmitter at the fixed rate:
// "BD" with another rate's digit, or a payload that is no digit of a rate,
// would not; false after the refusal.
bool rateChangeAllowed(int fixedBaud, const QString& commandText);
