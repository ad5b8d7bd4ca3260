#pragma once

#include <QString>

// Where a transmitter answers: its address and the position in the baud list
// (0 = 1200, 1 = 2400, 2 = 4800, 3 = 9600) of its rate. What a search finds,
// what a poller reads and where a move goes.
struct TransmitterPlace {
    QString address;
    int baudIndex = 0;

    bool operator==(const TransmitterPlace&) const = default;
};
