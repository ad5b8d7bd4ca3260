// The bus search: every address from 01 to 99 at 9600, 4800, 2400 and 1200
// baud (at the fixed rate alone on a port whose server fixes it), probed with
// "AD". Each transmitter that answers with its address twice is listed in
// CMB_ADDR and OnlineList; the first one found is then selected and read.

#include "link/exchange.h"
#include "link/serial_port.h"
#include "protocol/bus_search.h"
#include "protocol/commands.h"
#include "protocol/units.h"
#include "ui/list_selection.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/port_error_text.h"
#include "ui/status_panels.h"
#include "ui_main_window.h"

#include <QApplication>
#include <QSignalBlocker>

namespace {
const QString kSearchIdle = QStringLiteral("搜索变送器");
const QString kSearchRunning = QStringLiteral("停止");

// Replies that came sooner than the line could carry them: on a link without
// line timing (a virtual null-modem pair) every reply does, and each is
// dropped as stale until the port is marked.
QString tooEarlyHint(int portNumber) {
    return QStringLiteral("变送器搜索完毕：应答比线路传输所需的时间来得早，已被丢弃。"
                          "若此串口是没有线路时序的虚拟连接，请在设置文件的 [Ports] 中设置 "
                          "com%1.lineTiming=false")
        .arg(portNumber);
}
} // namespace

void MainWindow::cmdSEARCH_Click() {
    // Every click stops polling, also a stop click and one on a closed port.
    m_timer1.stop();
    ui->cmdON_OFF->setText(QStringLiteral("ON"));

    if (!MSCommBsq.isOpen()) {
        m_messages.show(QStringLiteral("端口未选择或未打开！"), QStringLiteral("错误"),
                        MessageBoxes::Icon::Exclamation);
        return;
    }
    // A click during a search runs nested inside it, between two probes: it
    // only asks the running search to stop at its next check.
    if (ui->cmdSEARCH->text() == kSearchRunning) {
        ui->cmdSEARCH->setText(kSearchIdle);
        return;
    }
    ui->cmdSEARCH->setText(kSearchRunning);

    OnlineList.clear();
    UnitNames = unitNames();
    {
        // Emptying the list is no selection by the user.
        const QSignalBlocker quiet(ui->CMB_ADDR);
        for (int i = ui->CMB_ADDR->count() - 1; i >= 0; --i)
            ui->CMB_ADDR->removeItem(i);
    }

    // Through a server that fixes the line's rate only transmitters at that
    // rate can answer; panel 1 says so until the first probe.
    const int fixedBaud = MSCommBsq.fixedBaud();
    if (fixedBaud != 0)
        m_statusPanels->setText(
            1, QStringLiteral("该端口的波特率固定为 %1，只搜索此波特率").arg(fixedBaud));

    ExchangeNotes notes;
    for (const int baud : searchBaudIndexes(fixedBaud)) {
        if (ui->cmdSEARCH->text() == kSearchIdle)
            break;
        ui->CMB_BAND->setCurrentIndex(baud);
        const QString lineSettings = lineSettingsOfIndex(ui->CMB_BAND->currentIndex());
        // A rate the port does not take (a device server that keeps its line
        // at another) is not searched: its probes would go out at the rate
        // before and list what answers there at this one.
        if (!MSCommBsq.setSettings(lineSettings)) {
            if (MSCommBsq.isOpen())
                m_messages.show(portErrorText(MSCommBsq.lastError()), QString(),
                                MessageBoxes::Icon::Exclamation);
            continue;
        }

        for (int number = kFirstBusAddress; number <= kLastBusAddress; ++number) {
            // The one place the window answers during a search; a stop click
            // lands here.
            QApplication::processEvents();
            if (ui->cmdSEARCH->text() == kSearchIdle)
                break;

            const QString address = busAddress(number);
            m_statusPanels->setText(1, QStringLiteral("正在搜索变送器：") + address);
            m_statusPanels->setText(2,
                                    QStringLiteral("在线变送器 %1个").arg(ui->CMB_ADDR->count()));
            m_statusPanels->setText(3, QStringLiteral("串口:COM%1").arg(MSCommBsq.portNumber()));
            m_statusPanels->setText(4, QStringLiteral("波特率:") + ui->CMB_BAND->currentText());

            // Whatever the engineer did between two probes (selecting a
            // transmitter switches the port to its rate), this probe runs at
            // the rate of this pass, the rate it is recorded with.
            ui->CMB_BAND->setCurrentIndex(baud);
            if (MSCommBsq.settings().compare(lineSettings, Qt::CaseInsensitive) != 0)
                MSCommBsq.setSettings(lineSettings);

            LastReply = Comm_Send(address, commandText(Command::Address), &notes);
            if (isAddressAnswer(LastReply, address)) {
                const QSignalBlocker quiet(ui->CMB_ADDR);
                const int selected = ui->CMB_ADDR->currentIndex();
                ui->CMB_ADDR->addItem(address);
                // Adding to an empty list selects nothing, as before.
                ui->CMB_ADDR->setCurrentIndex(selected);
                OnlineList.append({address, static_cast<qint16>(baud)});
            }
        }
    }

    ui->cmdSEARCH->setText(kSearchIdle);

    // The port closed under the search (its device went away): nothing could
    // answer the closing reads, and panel 1 keeps saying why.
    if (!MSCommBsq.isOpen()) {
        m_statusPanels->setText(2, QStringLiteral("在线变送器 %1个").arg(ui->CMB_ADDR->count()));
        return;
    }

    if (ui->CMB_ADDR->count() > 0) {
        m_statusPanels->setText(1, QStringLiteral("变送器搜索完毕"));
        m_statusPanels->setText(2, QStringLiteral("在线变送器 %1个").arg(ui->CMB_ADDR->count()));
        m_statusPanels->setText(4, QStringLiteral("波特率:") + ui->CMB_BAND->currentText());
        m_listSelection->select(ui->CMB_ADDR, 0);
        ReadAllParameters();
    } else {
        m_statusPanels->setText(1, notes.framesTooEarly > 0 && MSCommBsq.hasLineTiming()
                                       ? tooEarlyHint(MSCommBsq.portNumber())
                                       : QStringLiteral("变送器搜索完毕"));
        m_statusPanels->setText(2, QStringLiteral("在线变送器0个"));
        m_statusPanels->setText(4, QStringLiteral("波特率:"));
    }
}
