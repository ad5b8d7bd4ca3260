// The 4 mA and 20 mA output trims: every completed move of a trim bar writes
// the bar's position to the transmitter at once.

#include "protocol/trim_text.h"
#include "ui/main_window.h"
#include "ui/reply_fields.h"
#include "ui/trim_bars.h"
#include "ui_main_window.h"

void MainWindow::trimChanged(QScrollBar* bar, QLineEdit* field, const QString& command) {
    field->setText(trimText(trimPosition(bar)));
    if (!transmitterSelected())
        return;
    guardedCut(field, Comm_Send(ui->CMB_ADDR->currentText(), command + field->text()));
}

void MainWindow::VScroll1_Change() {
    trimChanged(ui->VScroll1, ui->TXT_DAZF, QStringLiteral("ZF"));
}

void MainWindow::VScroll2_Change() {
    trimChanged(ui->VScroll2, ui->TXT_DAFF, QStringLiteral("FF"));
}
