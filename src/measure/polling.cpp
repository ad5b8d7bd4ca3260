// Live measurement: a 250 ms timer alternates a temperature and a pressure
// read of the selected transmitter and tracks the largest and smallest
// pressure seen.

#include "link/clock.h"
#include "link/reply_value.h"
#include "protocol/commands.h"
#include "ui/main_window.h"
#include "ui/status_panels.h"
#include "ui_main_window.h"

#include <QApplication>

namespace {
// A counter label's caption plus one.
void count(QLabel* label) {
    label->setText(QString::number(qint64(numericValue(label->text())) + 1));
}

// Elapsed time as hours, minutes and seconds: 0:00:05, 25:03:00.
QString elapsedText(qint64 ms) {
    const qint64 seconds = qMax<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

void MainWindow::Timer1_Timer() {
    // Ticks run between handlers, never inside one: a modal box that a
    // handler is showing would otherwise let a tick talk to the transmitter
    // in the middle of that handler. The next tick reads instead.
    if (QApplication::activeModalWidget())
        return;

    // While the line settles after a failed exchange the tick skips its
    // exchange instead of holding the window for the wait; the alternation
    // stays, and the next tick tries again.
    const QString address = ui->CMB_ADDR->currentText();
    if (m_busLine.settleRemainingMs(address) > 0)
        return;

    const bool temperatureTurn = ReadTemperatureNext;
    ReadTemperatureNext = !ReadTemperatureNext;

    if (temperatureTurn) {
        const QString reply = Comm_Send(address, commandText(Command::Temperature));
        ui->TXT_TEMPERATURE->setText(reply);
        if (reply.size() > 4)
            ui->TXT_TEMPERATURE->setText(replyValue(reply));
        else
            count(ui->Label20);
    } else {
        const QString reply = Comm_Send(address, commandText(Command::Pressure));
        ui->TXT_PRESSURE->setText(reply);
        if (reply.size() > 4)
            ui->TXT_PRESSURE->setText(replyValue(reply));
        else
            count(ui->Label19);
        m_pressureIsReading = isReading(reply);

        // Only a reading the transmitter sent can become an extreme value;
        // one tick never moves both.
        if (m_pressureIsReading) {
            const double p = numericValue(ui->TXT_PRESSURE->text());
            if (p > numericValue(ui->txtMAX->text()))
                ui->txtMAX->setText(ui->TXT_PRESSURE->text());
            else if (p < numericValue(ui->txtMIN->text()))
                ui->txtMIN->setText(ui->TXT_PRESSURE->text());
        }
    }

    m_statusPanels->setText(4, elapsedText(m_clock.msecs() - PollStartTime));
}

void MainWindow::cmdON_OFF_Click() {
    if (ui->cmdON_OFF->text() == QLatin1String("ON")) {
        // Polling without a transmitter would send address-less frames onto
        // the bus four times a second.
        if (!transmitterSelected())
            return;
        m_timer1.start();
        ui->cmdON_OFF->setText(QStringLiteral("OFF"));
        ui->Label19->setText(QStringLiteral("0"));
        ui->Label20->setText(QStringLiteral("0"));
        PollStartTime = m_clock.msecs();
    } else {
        m_timer1.stop();
        ui->cmdON_OFF->setText(QStringLiteral("ON"));
    }
}

void MainWindow::cmdReset_Click() {
    restartExtremes();
}

void MainWindow::cmdReFresh_Click() {
    ReadAllParameters();
}
