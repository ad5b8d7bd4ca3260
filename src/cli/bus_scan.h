#pragma once

#include <QList>
#include <QString>

#include <functional>

class Bus;

// A transmitter a scan found: its address and the rate it answered at.
struct FoundTransmitter {
    QString address;
    int baudIndex = 0;
};

struct ScanResult {
    QList<FoundTransmitter> found;
    bool stopped = false;
};

// Probes each address at each rate with "AD", in the order and with the
// answer rule of the window's search. found is told of each transmitter as
// it answers; progress (when set) before each probe.
ScanResult
scanBus(Bus& bus, const QList<int>& baudIndexes, const QList<int>& addresses,
        const std::function<void(const FoundTransmitter&)>& found,
        const std::function<void(int baudIndex, const QString& address, int count)>& progress);
