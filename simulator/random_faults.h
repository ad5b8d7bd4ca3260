#pragma once

#include "simulator/faults.h"

#include <array>
#include <cstdint>
#include <random>

namespace sim {

// Faults at random, for a long run on a bad line: each answer a transmitter
// would give goes wrong with the probability rate, in one of the ways a line
// really fails, all equally likely. Seriesed, so a run can be repeated exactly.
class RandomFaults {
public:
    static constexpr std::array<FaultKind, 8> kKinds{
        FaultKind::Silent, FaultKind::BadChecksum, FaultKind::LowerCaseChecksum,
        FaultKind::Noise,  FaultKind::Trailing,    FaultKind::EmptyData,
        FaultKind::Late,   FaultKind::Split};

    RandomFaults(double rate, std::uint64_t series);

    double rate() const { return m_rate; }
    // None, or the fault for the next answer.
    FaultKind draw();

private:
    double m_rate;
    std::mt19937_64 m_engine;
};

} // namespace sim
