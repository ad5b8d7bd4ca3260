// Zeroing: the selected transmitter takes its present pressure as zero.

#include "protocol/commands.h"
#include "ui/main_window.h"
#include "ui_main_window.h"

void MainWindow::COM_SC_Click() {
    // The reply goes where polling shows the pressure; the extremes and the
    // polling state are left alone.
    showPressure(Comm_Send(ui->CMB_ADDR->currentText(), commandText(Command::Zero)));
}
