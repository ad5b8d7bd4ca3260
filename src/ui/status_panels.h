#pragma once

#include <QString>

#include <array>

class QLabel;
class QStatusBar;

// The four text panels of the status bar, numbered 1 to 4 from the left:
// messages and progress, transmitters found, port, baud rate or polling time.
class StatusPanels {
public:
    explicit StatusPanels(QStatusBar* bar);

    void setText(int panel, const QString& text);
    QString text(int panel) const;
    QLabel* panel(int panel) const;

private:
    std::array<QLabel*, 4> m_panels{};
};
