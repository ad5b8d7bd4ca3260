// The analog output: the pressures at 4 mA and 20 mA and the two trims, read
// and written together. Neither moves the trim bars.

#include "ui/main_window.h"
#include "ui/reply_fields.h"
#include "ui_main_window.h"

void MainWindow::cmdDA_Read_Click() {
    if (!transmitterSelected())
        return;
    guardedCut(ui->TXT_DAL, Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("OL")));
    guardedCut(ui->TXT_DAH, Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("OH")));
    guardedCut(ui->TXT_DAZF, Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("ZF")));
    guardedCut(ui->TXT_DAFF, Comm_Send(ui->CMB_ADDR->currentText(), QStringLiteral("FF")));
}

void MainWindow::cmdDA_Write_Click() {
    if (!transmitterSelected())
        return;
    // The trims too: after a lost read they hold " 0", which would go out as
    // a trim of zero.
    if (!holdsNumbers({{ui->TXT_DAL, QStringLiteral("4mA输出")},
                       {ui->TXT_DAH, QStringLiteral("20mA输出")},
                       {ui->TXT_DAZF, QStringLiteral("4mA微调")},
                       {ui->TXT_DAFF, QStringLiteral("20mA微调")}}))
        return;
    for (const auto& [field, command] : {std::pair{ui->TXT_DAL, QStringLiteral("OL")},
                                         std::pair{ui->TXT_DAH, QStringLiteral("OH")},
                                         std::pair{ui->TXT_DAZF, QStringLiteral("ZF")},
                                         std::pair{ui->TXT_DAFF, QStringLiteral("FF")}})
        guardedCut(field, Comm_Send(ui->CMB_ADDR->currentText(), command + field->text()));
}
