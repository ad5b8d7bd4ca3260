// The 4 mA and 20 mA output trims: every completed move of a trim bar writes
// the bar's position to the transmitter at once.

#include "protocol/commands.h"
#include "protocol/trim_text.h"
#include "ui/main_window.h"
#include "ui/reply_fields.h"
#include "ui/trim_bars.h"
#include "ui_main_window.h"

void MainWindow::trimChanged(QScrollBar* bar, QLineEdit* field, Command command) {
    field->setText(trimText(trimPosition(bar)));
    if (!transmitterSelected())
        return;
    guardedCut(field, Comm_Send(ui->CMB_ADDR->currentText(), commandText(command, field->text())));
}

void MainWindow::VScroll1_Change() {
    trimChanged(ui->VScroll1, ui->TXT_DAZF, Command::Trim4mA);
}

void MainWindow::VScroll2_Change() {
    trimChanged(ui->VScroll2, ui->TXT_DAFF, Command::Trim20mA);
}
