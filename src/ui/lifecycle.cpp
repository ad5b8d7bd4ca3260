// Start-up and shutdown of the window: the serial port is configured and the
// remembered port reopened when the window loads, and closed when it ends.

#include "link/serial_port.h"
#include "link/settings_store.h"
#include "ui/list_selection.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/port_error_text.h"
#include "ui/status_panels.h"
#include "ui_main_window.h"

#include <QCoreApplication>

namespace {
const QString kSection = QStringLiteral("Transmitter");
const QString kCommPortKey = QStringLiteral("CommPort");
const QString kSearchRunning = QStringLiteral("停止");
const QString kSearchIdle = QStringLiteral("搜索变送器");

// The stored port number, or 0 when the text is not a plain whole number.
int storedPortNumber(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : 0;
}
} // namespace

void MainWindow::Form_Load() {
    if (MSCommBsq.isOpen())
        MSCommBsq.close();

    // The port layer always delivers text, returns everything waiting on a
    // read and raises no data events; what is left is to empty both buffers.
    MSCommBsq.discardOutput();
    MSCommBsq.discardInput();

    QCoreApplication::setApplicationName(QStringLiteral("Tarnwick"));

    const int n = storedPortNumber(m_settings.value(kSection, kCommPortKey, QString()));
    if (n >= 1 && n <= ui->cmbCommPort->count())
        m_listSelection->select(ui->cmbCommPort, n - 1);

    m_statusPanels->setText(1, QStringLiteral("按“搜索变送器”键，开始搜索在线变送器！"));
    ReadTemperatureNext = true;
}

void MainWindow::cmbCommPort_Click() {
    const int index = ui->cmbCommPort->currentIndex();
    if (index < 0)
        return;
    const int number = ui->cmbCommPort->itemData(index).toInt();

    if (MSCommBsq.isOpen())
        MSCommBsq.close();
    MSCommBsq.setPortNumber(number);
    if (!MSCommBsq.open()) {
        // The remembered port is left as it was.
        m_messages.show(portErrorText(MSCommBsq.lastError()), QString(),
                        MessageBoxes::Icon::Exclamation);
        return;
    }
    m_settings.setValue(kSection, kCommPortKey, QString::number(number));
    // The rate list shows the rate the line runs at when the port's server
    // fixes it.
    showFixedRate();
}

bool MainWindow::Form_QueryUnload() {
    if (ui->cmdSEARCH->text() == kSearchRunning)
        return false;
    if (MSCommBsq.isOpen())
        MSCommBsq.close();
    return true;
}

void MainWindow::COM_QUIT_Click() {
    // Quitting while a search runs stops the search the way its stop click
    // does; the search then ends at its next check instead of going on over a
    // closed port, and the close request below is not refused. The caption is
    // set here, not through the stop click, which refuses to act on a port
    // that has already closed (a pulled-out adapter).
    if (ui->cmdSEARCH->text() == kSearchRunning) {
        m_timer1.stop();
        ui->cmdON_OFF->setText(QStringLiteral("ON"));
        ui->cmdSEARCH->setText(kSearchIdle);
    }
    if (MSCommBsq.isOpen())
        MSCommBsq.close();
    close();
}

void MainWindow::Exit_Click() {
    COM_QUIT_Click();
}

void MainWindow::MSCommBsq_DeviceLost(const QString& device) {
    // Every field would show " 0" from now on; this says why. A running
    // search stops at its next probe, as after a stop click.
    m_statusPanels->setText(1, QStringLiteral("串口已断开：") + device);
    if (ui->cmdSEARCH->text() == kSearchRunning)
        ui->cmdSEARCH->setText(kSearchIdle);
}

void MainWindow::MSCommBsq_OnComm() {
    // The port raises no data events; replies are collected by the exchange.
}
