// The pressure field and its extremes, shared by the full read and the
// measurement handlers: a pressure reply is shown the same way whoever asked
// for it, and only a reading the transmitter sent may become an extreme value.

#include "link/reply_value.h"
#include "ui/main_window.h"
#include "ui/reply_fields.h"
#include "ui_main_window.h"

namespace {
const QString kInitialMaximum = QStringLiteral("-9999");
const QString kInitialMinimum = QStringLiteral("+9999");
} // namespace

void MainWindow::showPressure(const QString& reply) {
    guardedCut(ui->TXT_PRESSURE, reply);
    m_pressureIsReading = isReading(reply);
}

void MainWindow::restartExtremes() {
    // Tracking restarts at the current reading; when the pressure field holds
    // none (a lost reply, a reply without data), at the initial bounds, so a
    // lost reply is never recorded as a pressure.
    if (m_pressureIsReading) {
        ui->txtMAX->setText(ui->TXT_PRESSURE->text());
        ui->txtMIN->setText(ui->TXT_PRESSURE->text());
    } else {
        ui->txtMAX->setText(kInitialMaximum);
        ui->txtMIN->setText(kInitialMinimum);
    }
}
