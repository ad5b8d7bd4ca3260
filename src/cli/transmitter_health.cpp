#include "cli/transmitter_health.h"

TransmitterHealth::TransmitterHealth(int offlineAfter, std::optional<QString> offlineBecause)
    : m_offlineAfter(offlineAfter)
    , m_offlineBecause(std::move(offlineBecause)) {}

bool TransmitterHealth::noteCycle(bool gotValue, const QString& failure) {
    if (gotValue) {
        m_failedInRow = 0;
        const bool changed = !online();
        m_offlineBecause.reset();
        return changed;
    }
    ++m_failedInRow;
    // Already offline, it says why it failed last.
    if (!online() || m_failedInRow >= m_offlineAfter)
        return goOffline(failure);
    return false;
}

bool TransmitterHealth::goOffline(const QString& because) {
    if (m_offlineBecause == because)
        return false;
    m_offlineBecause = because;
    return true;
}
