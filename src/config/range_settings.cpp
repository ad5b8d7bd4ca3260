// Range, unit and decimal places of the selected transmitter: four exchanges
// to read them, four to write them.

#include "link/reply_value.h"
#include "ui/main_window.h"
#include "ui/reply_fields.h"
#include "ui_main_window.h"

bool MainWindow::selectFromReply(QComboBox* list, const QString& reply) {
    // Only a number the transmitter sent that is one of the list's positions
    // moves the list. A lost reply (" 0", " 3") or one without a code leaves
    // it, so the next write cannot send a unit or decimals never read.
    if (!isReading(reply))
        return false;
    const std::optional<qint16> index = integerValue(replyValue(reply));
    if (!index || *index < 0 || *index >= list->count())
        return false;
    list->setCurrentIndex(*index);
    return true;
}

void MainWindow::cmdSCALE_Read_Click() {
    if (!transmitterSelected())
        return;
    selectFromReply(ui->cmbUnit, Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("UT")));
    selectFromReply(ui->Cmb_DP, Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("DP")));
    guardedCut(ui->TXT_DPL, Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("DL")));
    guardedCut(ui->TXT_DPH, Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("DH")));
}

void MainWindow::cmdSCALE_Write_Click() {
    if (!transmitterSelected())
        return;
    if (!holdsNumbers(
            {{ui->TXT_DPL, QStringLiteral("量程零点")}, {ui->TXT_DPH, QStringLiteral("量程满度")}}))
        return;
    // Indexes in decimal without a sign; no selection goes out as -1.
    selectFromReply(ui->cmbUnit,
                    Comm_Send(ui->CMB_ADDR->currentText(),
                              QStringLiteral("UT") + QString::number(ui->cmbUnit->currentIndex())));
    selectFromReply(ui->Cmb_DP,
                    Comm_Send(ui->CMB_ADDR->currentText(),
                              QStringLiteral("DP") + QString::number(ui->Cmb_DP->currentIndex())));
    guardedCut(ui->TXT_DPL,
               Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("DL") + ui->TXT_DPL->text()));
    guardedCut(ui->TXT_DPH,
               Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("DH") + ui->TXT_DPH->text()));
}
