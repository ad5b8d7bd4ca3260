#include "ui/status_panels.h"

#include <QLabel>
#include <QStatusBar>

namespace {
// Widths in pixels at 96 dpi: about 4800, 2000, 1200 and 1300 twips.
constexpr std::array<int, 4> kPanelWidths{320, 133, 80, 84};
constexpr int kFirstPanelMinimum = 200; // 3000 twips
} // namespace

StatusPanels::StatusPanels(QStatusBar* bar) {
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("StatusBar1_Panel%1").arg(i + 1));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setIndent(2);
        label->setTextFormat(Qt::PlainText);
        if (i == 0) {
            label->setMinimumWidth(kFirstPanelMinimum);
            bar->addWidget(label, 1);
        } else {
            label->setFixedWidth(kPanelWidths[i]);
            bar->addWidget(label, 0);
        }
        m_panels[i] = label;
    }
    m_panels[0]->setText(QStringLiteral("状态："));
}

void StatusPanels::setText(int panel, const QString& text) {
    m_panels.at(panel - 1)->setText(text);
}

QString StatusPanels::text(int panel) const {
    return m_panels.at(panel - 1)->text();
}

QLabel* StatusPanels::panel(int panel) const {
    return m_panels.at(panel - 1);
}
