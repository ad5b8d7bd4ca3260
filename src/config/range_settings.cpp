// Range, unit and decimal places of the selected transmitter: four exchanges
// to read them, four to write them.

#include "protocol/commands.h"
#include "ui/main_window.h"
#include "ui/reply_fields.h"
#include "ui_main_window.h"

void MainWindow::cmdSCALE_Read_Click() {
    if (!transmitterSelected())
        return;
    selectFromReply(ui->cmbUnit,
                    Comm_Send(ui->CMB_ADDR->currentText(), commandText(Command::Unit)));
    selectFromReply(ui->Cmb_DP,
                    Comm_Send(ui->CMB_ADDR->currentText(), commandText(Command::Decimals)));
    guardedCut(ui->TXT_DPL, Comm_Send(ui->CMB_ADDR->currentText(), commandText(Command::RangeLow)));
    guardedCut(ui->TXT_DPH,
               Comm_Send(ui->CMB_ADDR->currentText(), commandText(Command::RangeHigh)));
}

void MainWindow::cmdSCALE_Write_Click() {
    if (!transmitterSelected())
        return;
    if (!holdsNumbers(
            {{ui->TXT_DPL, QStringLiteral("量程零点")}, {ui->TXT_DPH, QStringLiteral("量程满度")}}))
        return;
    // Indexes in decimal without a sign; no selection goes out as -1.
    selectFromReply(
        ui->cmbUnit,
        Comm_Send(ui->CMB_ADDR->currentText(),
                  commandText(Command::Unit, QString::number(ui->cmbUnit->currentIndex()))));
    selectFromReply(
        ui->Cmb_DP,
        Comm_Send(ui->CMB_ADDR->currentText(),
                  commandText(Command::Decimals, QString::number(ui->Cmb_DP->currentIndex()))));
    guardedCut(ui->TXT_DPL, Comm_Send(ui->CMB_ADDR->currentText(),
                                      commandText(Command::RangeLow, ui->TXT_DPL->text())));
    guardedCut(ui->TXT_DPH, Comm_Send(ui->CMB_ADDR->currentText(),
                                      commandText(Command::RangeHigh, ui->TXT_DPH->text())));
}
