// The analog output: the pressures at 4 mA and 20 mA and the two trims, read
// and written together. Neither moves the trim bars.

#include "protocol/commands.h"
#include "ui/main_window.h"
#include "ui/reply_fields.h"
#include "ui_main_window.h"

namespace {
// The four fields of the frame with the command that reads or writes each.
QList<std::pair<QLineEdit*, Command>> outputFields(const Ui::MainWindow& ui) {
    return {{ui.TXT_DAL, Command::OutputLow},
            {ui.TXT_DAH, Command::OutputHigh},
            {ui.TXT_DAZF, Command::Trim4mA},
            {ui.TXT_DAFF, Command::Trim20mA}};
}
} // namespace

void MainWindow::cmdDA_Read_Click() {
    if (!transmitterSelected())
        return;
    for (const auto& [field, command] : outputFields(*ui))
        guardedCut(field, Comm_Send(ui->CMB_ADDR->currentText(), commandText(command)));
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
    for (const auto& [field, command] : outputFields(*ui))
        guardedCut(field,
                   Comm_Send(ui->CMB_ADDR->currentText(), commandText(command, field->text())));
}
