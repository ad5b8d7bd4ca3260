// Selecting a transmitter switches the port to the rate it was found at and
// reads every parameter the window shows, in fourteen exchanges.

#include "link/reply_value.h"
#include "link/serial_port.h"
#include "ui/main_window.h"
#include "ui/reply_fields.h"
#include "ui/status_panels.h"
#include "ui/trim_bars.h"
#include "ui_main_window.h"

namespace {
// Moves a trim bar to the value a reply carries, which writes that trim back
// through the bar's change event when the position is new. Only a reply with
// a number in the bar's range moves it: a trim that was never read must not
// reach the transmitter.
void moveTrimBar(QScrollBar* bar, const QString& reply, const QString& fieldText) {
    if (!isReading(reply))
        return;
    const std::optional<qint16> position = integerValue(fieldText);
    if (!position || *position < -5000 || *position > 5000)
        return;
    setTrimPosition(bar, *position);
}
} // namespace

bool MainWindow::transmitterSelected() {
    const int index = ui->CMB_ADDR->currentIndex();
    if (index >= 0 && index < OnlineList.size())
        return true;
    m_statusPanels->setText(1, QStringLiteral("请先搜索变送器，并在地址列表中选择一个！"));
    return false;
}

void MainWindow::CMB_ADDR_Click() {
    if (!transmitterSelected())
        return;
    const OnlineTransmitter& record = OnlineList.at(ui->CMB_ADDR->currentIndex());
    ui->CMB_BAND->setCurrentIndex(record.BaudIndex);
    MSCommBsq.setSettings(ui->CMB_BAND->currentText() + QStringLiteral(",N,8,1"));
    ReadAllParameters();
}

void MainWindow::ReadAllParameters() {
    if (!transmitterSelected())
        return;
    const OnlineTransmitter record = OnlineList.at(ui->CMB_ADDR->currentIndex());
    ui->CMB_BAND->setCurrentIndex(record.BaudIndex);
    MSCommBsq.setSettings(ui->CMB_BAND->currentText() + QStringLiteral(",N,8,1"));
    ui->TXT_ADDR->setText(ui->CMB_ADDR->currentText());
    ui->TXT_BAND->setText(ui->CMB_BAND->currentText());

    // The address is read again before every exchange: a trim written back
    // in between runs to the same transmitter.
    const auto send = [this](const QString& command) {
        return Comm_Send(ui->CMB_ADDR->currentText(), command);
    };

    plainCut(ui->TXT_TYPE, send(QStringLiteral("TY")));

    plainCut(ui->TXT_SCZ, send(QStringLiteral("DL")));
    ui->TXT_DPL->setText(ui->TXT_SCZ->text());

    ui->TXT_SCF->setText(send(QStringLiteral("DH")));
    ui->TXT_DPH->setText(replyValue(ui->TXT_SCF->text()));
    ui->TXT_SCF->setText(ui->TXT_DPH->text());

    const QString unit = send(QStringLiteral("UT"));
    ui->TXT_UNIT->setText(unit);
    if (selectFromReply(ui->cmbUnit, unit))
        ui->TXT_UNIT->setText(UnitNames.value(ui->cmbUnit->currentIndex()));
    else
        ui->TXT_UNIT->setText(replyValue(unit));

    plainCut(ui->txtType, send(QStringLiteral("TY")));

    plainCut(ui->TXT_ID, send(QStringLiteral("ID")));
    ui->txtID->setText(ui->TXT_ID->text());

    plainCut(ui->TXT_VER, send(QStringLiteral("VR")));

    const QString decimals = send(QStringLiteral("DP"));
    selectFromReply(ui->Cmb_DP, decimals);

    guardedCut(ui->TXT_DAL, send(QStringLiteral("OL")));
    guardedCut(ui->TXT_DAH, send(QStringLiteral("OH")));

    const QString trim4 = send(QStringLiteral("ZF"));
    guardedCut(ui->TXT_DAZF, trim4);
    moveTrimBar(ui->VScroll1, trim4, ui->TXT_DAZF->text());

    const QString trim20 = send(QStringLiteral("FF"));
    guardedCut(ui->TXT_DAFF, trim20);
    moveTrimBar(ui->VScroll2, trim20, ui->TXT_DAFF->text());

    showPressure(send(QStringLiteral("RP0")));
    restartExtremes();

    guardedCut(ui->TXT_TEMPERATURE, send(QStringLiteral("RT0")));
}
