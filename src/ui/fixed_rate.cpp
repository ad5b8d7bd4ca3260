// Ports whose line rate is fixed on a device server: the window keeps to that
// rate, since a line set to another rate, or a transmitter moved to one,
// could no longer be reached through the server.

#include "link/serial_port.h"
#include "protocol/bus_search.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui_main_window.h"

bool MainWindow::fixedRateAllows(int baudIndex, const QString& typed) {
    const int fixed = MSCommBsq.fixedBaud();
    const bool isRate = baudIndex >= 0 && baudIndex < int(kBaudRates.size());
    if (fixed == 0 || (isRate && kBaudRates[std::size_t(baudIndex)] == fixed))
        return true;
    const QString wanted =
        isRate ? QStringLiteral("改为 ") + QString::number(kBaudRates[std::size_t(baudIndex)])
               : QStringLiteral("发送 ") + typed;
    // The list is back at the line's rate while the box says why.
    showFixedRate();
    m_messages.show(QStringLiteral("该端口的波特率固定为 %1，不能").arg(fixed) + wanted,
                    QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
    return false;
}

void MainWindow::showFixedRate() {
    // From code, so the list's own handler does not run.
    if (const int index = baudIndexOf(MSCommBsq.fixedBaud()); index >= 0)
        ui->CMB_BAND->setCurrentIndex(index);
}
