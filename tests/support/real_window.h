#pragma once

#include "support/fake_message_boxes.h"
#include "support/real_line.h"
#include "ui/main_window.h"

#include <memory>

// The whole tool on the simulated bus: the window opens port 1, which the
// settings point at the simulator's pty, through the real serial layer.
struct RealWindow {
    RealLine line;
    FakeMessageBoxes messages;
    std::unique_ptr<MainWindow> window;

    explicit RealWindow(const QByteArray& busJson = {}, QStringList simulatorArgs = {})
        : line(busJson, std::move(simulatorArgs)) {}

    bool start() {
        if (!line.start(false))
            return false;
        window = std::make_unique<MainWindow>(
            WindowServices{line.port, line.settings, messages, line.clock});
        return line.port.isOpen();
    }
    template <typename T = QWidget> T* control(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }
};
