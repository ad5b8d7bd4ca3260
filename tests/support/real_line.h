#pragma once

#include "link/clock.h"
#include "link/port_devices.h"
#include "link/qt_serial_port.h"
#include "support/memory_settings_store.h"
#include "support/simulator_process.h"

// The tool's real serial layer on a simulated bus: the simulator on a pty,
// port 1 pointed at it through the settings, a QtSerialPort and a real
// clock. Start the simulator before use.
struct RealLine {
    SimulatorProcess simulator;
    MemorySettingsStore settings;
    PortDevices devices{settings};
    QtSerialPort port{devices};
    SteadyClock clock;

    explicit RealLine(const QByteArray& busJson = {}, QStringList extraArgs = {})
        : simulator(std::move(extraArgs), busJson) {}
    // Starts the simulator and points port 1 at it; opens the port when asked.
    bool start(bool open = true) {
        if (!simulator.start())
            return false;
        settings.values.insert("Ports/com1", simulator.devicePath());
        settings.values.insert("Transmitter/CommPort", "1");
        port.setPortNumber(1);
        return !open || port.open();
    }
    // The frames the simulator heard and sent, without timestamps and rates.
    QStringList frames() const {
        QStringList out;
        for (const QString& line : simulator.traceLines()) {
            const QStringList parts = line.split(' ');
            if (parts.size() >= 4 && (parts[2] == "heard" || parts[2] == "sent"))
                out.append(parts[2] + ' ' + parts.mid(3).join(' '));
        }
        return out;
    }
};
