#include "simulator/plug_cycle.h"

#include "simulator/simulator.h"

#include <algorithm>
#include <cstdio>

namespace sim {

PlugCycle::PlugCycle(Simulator& simulator, int periodMs, QObject* parent)
    : QObject(parent)
    , m_simulator(simulator)
    , m_downMs(std::min(kDownMs, periodMs / 2)) {
    m_period.setInterval(periodMs);
    connect(&m_period, &QTimer::timeout, this, &PlugCycle::unplug);
    m_period.start();
}

void PlugCycle::unplug() {
    QString error;
    // Unplugged already by a control command: that one's replug is awaited.
    if (!m_simulator.unplug(&error))
        return;
    QTimer::singleShot(m_downMs, this, &PlugCycle::replug);
}

void PlugCycle::replug() {
    QString error;
    if (!m_simulator.replug(&error))
        std::fprintf(stderr, "tarnwick-sim: replug: %s\n", qPrintable(error));
}

} // namespace sim
