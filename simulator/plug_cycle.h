#pragma once

#include <QObject>
#include <QTimer>

namespace sim {

class Simulator;

// The adapter pulled out and put back at a fixed period, as on a plant where
// a loose cable or a restarted hub takes the port away now and then: unplugged
// at every period, back on a new device downMs later.
class PlugCycle : public QObject {
    Q_OBJECT

public:
    // The time down is at most half the period, so a short period still
    // leaves the line up most of the time.
    static constexpr int kDownMs = 2000;

    PlugCycle(Simulator& simulator, int periodMs, QObject* parent = nullptr);
    int downMs() const { return m_downMs; }

private:
    void unplug();
    void replug();

    Simulator& m_simulator;
    int m_downMs;
    QTimer m_period;
};

} // namespace sim
