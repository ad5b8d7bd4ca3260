// Whether a transmitter is selected: the check every handler that talks to
// the selected transmitter makes first, so that no frame goes out without an
// address the search found.

#include "ui/main_window.h"
#include "ui/status_panels.h"
#include "ui_main_window.h"

bool MainWindow::transmitterSelected() {
    const int index = ui->CMB_ADDR->currentIndex();
    if (index >= 0 && index < OnlineList.size())
        return true;
    m_statusPanels->setText(1, QStringLiteral("请先搜索变送器，并在地址列表中选择一个！"));
    return false;
}
