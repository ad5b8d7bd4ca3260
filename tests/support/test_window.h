#pragma once

#include "support/fake_clock.h"
#include "support/fake_message_boxes.h"
#include "support/fake_serial_port.h"
#include "support/memory_settings_store.h"
#include "ui/main_window.h"

#include <QTest>

#include <memory>

// The main window on fakes: a scripted serial port, a clock that moves only
// when an exchange waits, settings in memory and message boxes that are
// recorded instead of shown. Set up the fakes, then create().
struct TestWindow {
    FakeClock clock;
    FakeSerialPort port{clock};
    MemorySettingsStore settings;
    FakeMessageBoxes messages;
    std::unique_ptr<MainWindow> window;

    MainWindow& create() {
        window = std::make_unique<MainWindow>(WindowServices{port, settings, messages, clock});
        return *window;
    }
    // Shown and active, for tests that move the focus or click.
    MainWindow& createShown() {
        create();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("window did not become active");
        return *window;
    }

    template <typename T = QWidget> T* control(const char* name) const {
        T* w = window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control named %s", name);
        return w;
    }
};
