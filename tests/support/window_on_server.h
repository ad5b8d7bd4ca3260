#pragma once

#include "link/clock.h"
#include "link/device_port.h"
#include "link/port_devices.h"
#include "support/fake_message_boxes.h"
#include "support/memory_settings_store.h"
#include "support/ser2net_process.h"
#include "support/simulator_process.h"
#include "ui/main_window.h"

#include <memory>

// The window as it starts with com1 remembered and mapped to a real ser2net
// in front of the simulator: the window's end-to-end tests through a device
// server share this setup.
struct WindowOnServer {
    std::unique_ptr<SimulatorProcess> simulator;
    std::unique_ptr<Ser2net> server;
    MemorySettingsStore settings;
    PortDevices devices{settings};
    DevicePort port{devices};
    SteadyClock clock;
    FakeMessageBoxes messages;
    std::unique_ptr<MainWindow> window;

    // Starts the simulator on busJson (the default bus when empty), ser2net
    // (its raw accepter at rawBaud, when not 0) and the window, once ser2net
    // listens. Empty when the window opened the port, else what went wrong.
    QString start(const QString& ser2net, const QByteArray& busJson = {}, int rawBaud = 0);
};
