#include "simulator/random_faults.h"

#include <algorithm>

namespace sim {

RandomFaults::RandomFaults(double rate, std::uint64_t series)
    : m_rate(std::clamp(rate, 0.0, 1.0))
    , m_engine(series) {}

FaultKind RandomFaults::draw() {
    // Both numbers come from the engine itself, not from the standard
    // distributions, whose results differ between library versions: a series
    // must give the same run everywhere.
    const double chance = double(m_engine() >> 11) * 0x1.0p-53;
    if (chance >= m_rate)
        return FaultKind::None;
    return kKinds[m_engine() % kKinds.size()];
}

} // namespace sim
