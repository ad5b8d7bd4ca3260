#include "support/selected_transmitter.h"

#include "ui/list_selection.h"

namespace {
const QList<int> kBauds{1200, 2400, 4800, 9600};
}

SelectedTransmitter::SelectedTransmitter(bool shown) {
    t.settings.values.insert("Transmitter/CommPort", "1");
    if (shown)
        t.createShown();
    else
        t.create();
    t.window->UnitNames = {"kPa", "MPa", "mH2O", "Bar", "Psi", "mBar", "Unknown"};
    transmitter = &list("01", 9600);
    t.window->listSelection().select(t.control<QComboBox>("CMB_ADDR"), 0);
    heardBefore = int(bus.heard.size());
}

FakeTransmitter& SelectedTransmitter::list(const QString& address, int baud) {
    FakeTransmitter& added = bus.add(address, baud);
    fillTypicalValues(added);
    t.window->OnlineList.append({address, qint16(kBauds.indexOf(baud))});
    auto* addresses = t.control<QComboBox>("CMB_ADDR");
    const int selected = addresses->currentIndex();
    addresses->addItem(address);
    addresses->setCurrentIndex(selected);
    return added;
}

QStringList SelectedTransmitter::commands() const {
    QStringList out;
    for (const FakeBus::Heard& h : bus.heard.mid(heardBefore))
        out.append(h.request);
    return out;
}
