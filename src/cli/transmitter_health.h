#pragma once

#include <QString>

#include <optional>

// Whether a monitored transmitter counts as online: offline after so many
// failed cycles in a row (a cycle fails when neither of its reads gave a
// value), or at once when the cause is certain (the port is gone); online
// again at its next reading.
class TransmitterHealth {
public:
    // It starts online, or offline for the reason given.
    TransmitterHealth(int offlineAfter, std::optional<QString> offlineBecause);

    // One cycle of its readings; true when what its state says changed.
    bool noteCycle(bool gotValue, const QString& failure);
    // Offline now; true when what its state says changed.
    bool goOffline(const QString& because);

    bool online() const { return !m_offlineBecause; }
    const std::optional<QString>& offlineBecause() const { return m_offlineBecause; }

private:
    int m_offlineAfter;
    int m_failedInRow = 0;
    std::optional<QString> m_offlineBecause;
};
