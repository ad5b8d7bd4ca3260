#pragma once

#include "support/fake_bus.h"
#include "support/test_window.h"

#include <QComboBox>
#include <QLineEdit>

// The window with transmitter 01 at 9600 listed, selected and read, as after
// a search, on a fake bus. Further transmitters can be listed with list().
struct SelectedTransmitter {
    TestWindow t;
    FakeBus bus{t.port};
    FakeTransmitter* transmitter = nullptr;

    explicit SelectedTransmitter(bool shown = false);
    // Adds a transmitter to the bus and the list, as a search would.
    FakeTransmitter& list(const QString& address, int baud);
    QString text(const char* name) const { return t.control<QLineEdit>(name)->text(); }
    void setText(const char* name, const QString& text) {
        t.control<QLineEdit>(name)->setText(text);
    }
    int index(const char* name) const { return t.control<QComboBox>(name)->currentIndex(); }
    // What was heard since the full read of the selection.
    QStringList commands() const;
    int heardBefore = 0;
};
