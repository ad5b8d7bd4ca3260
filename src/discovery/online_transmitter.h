#pragma once

#include <QString>

// One transmitter found by the search: the address it answered at and the
// position in the baud list (0 = 1200, 1 = 2400, 2 = 4800, 3 = 9600) of the
// rate it answered at.
struct OnlineTransmitter {
    QString Addr;
    qint16 BaudIndex = 0;

    bool operator==(const OnlineTransmitter&) const = default;
};
