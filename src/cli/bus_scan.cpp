#include "cli/bus_scan.h"

#include "cli/bus.h"
#include "cli/stop_request.h"
#include "protocol/bus_search.h"
#include "protocol/commands.h"

ScanResult scanBus(Bus& bus, const QList<int>& baudIndexes, const QList<int>& addresses,
                   const std::function<void(const FoundTransmitter&)>& found,
                   const std::function<void(int, const QString&, int)>& progress) {
    ScanResult result;
    for (const int baudIndex : baudIndexes) {
        bus.setBaudIndex(baudIndex);
        for (const int number : addresses) {
            // A stop ends the scan between two probes, never inside one.
            if (stopRequested()) {
                result.stopped = true;
                return result;
            }
            const QString address = busAddress(number);
            if (progress)
                progress(baudIndex, address, int(result.found.size()));
            const QString reply = bus.exchange(address, commandText(Command::Address));
            if (!isAddressAnswer(reply, address))
                continue;
            result.found.append({address, baudIndex});
            if (found)
                found(result.found.last());
        }
    }
    return result;
}
