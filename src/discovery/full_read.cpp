// Selecting a transmitter switches the port to the rate it was found at and
// reads every parameter the window shows, in fourteen exchanges.

#include "protocol/full_read.h"
#include "link/reply_value.h"
#include "link/serial_port.h"
#include "protocol/bus_search.h"
#include "protocol/commands.h"
#include "ui/main_window.h"
#include "ui/reply_fields.h"
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

void MainWindow::CMB_ADDR_Click() {
    if (!transmitterSelected())
        return;
    const OnlineTransmitter& record = OnlineList.at(ui->CMB_ADDR->currentIndex());
    ui->CMB_BAND->setCurrentIndex(record.BaudIndex);
    MSCommBsq.setSettings(lineSettingsOfIndex(ui->CMB_BAND->currentIndex()));
    ReadAllParameters();
}

void MainWindow::ReadAllParameters() {
    if (!transmitterSelected())
        return;
    const OnlineTransmitter record = OnlineList.at(ui->CMB_ADDR->currentIndex());
    // A list found on another port may hold rates this line cannot run at.
    if (!fixedRateAllows(record.BaudIndex))
        return;
    ui->CMB_BAND->setCurrentIndex(record.BaudIndex);
    MSCommBsq.setSettings(lineSettingsOfIndex(ui->CMB_BAND->currentIndex()));
    ui->TXT_ADDR->setText(ui->CMB_ADDR->currentText());
    ui->TXT_BAND->setText(ui->CMB_BAND->currentText());

    // The address is read again before every exchange: a trim written back
    // in between runs to the same transmitter. The steps come in the order of
    // the core's full read, the same order tarnwick-cli reads in.
    const auto send = [this](const QString& command) {
        return Comm_Send(ui->CMB_ADDR->currentText(), command);
    };
    // After one failed exchange no trim is written back: a late reply may
    // still be about, and the trims read after it are shown but leave the
    // bars where they stand. A click on a bar then sends its position and one
    // step, as after a failed trim exchange.
    const quint64 failuresBefore = m_busLine.failureCount();
    const auto noFailureYet = [&] { return m_busLine.failureCount() == failuresBefore; };

    for (const FullReadItem& item : fullRead()) {
        const QString reply = send(commandText(item.command));
        switch (item.step) {
        case FullReadStep::RangeModel:
            plainCut(ui->TXT_TYPE, reply);
            break;
        case FullReadStep::RangeLow:
            plainCut(ui->TXT_SCZ, reply);
            ui->TXT_DPL->setText(ui->TXT_SCZ->text());
            break;
        case FullReadStep::RangeHigh:
            ui->TXT_SCF->setText(reply);
            ui->TXT_DPH->setText(replyValue(ui->TXT_SCF->text()));
            ui->TXT_SCF->setText(ui->TXT_DPH->text());
            break;
        case FullReadStep::Unit:
            ui->TXT_UNIT->setText(reply);
            if (selectFromReply(ui->cmbUnit, reply))
                ui->TXT_UNIT->setText(UnitNames.value(ui->cmbUnit->currentIndex()));
            else
                ui->TXT_UNIT->setText(replyValue(reply));
            break;
        case FullReadStep::Model:
            plainCut(ui->txtType, reply);
            break;
        case FullReadStep::Id:
            plainCut(ui->TXT_ID, reply);
            ui->txtID->setText(ui->TXT_ID->text());
            break;
        case FullReadStep::Version:
            plainCut(ui->TXT_VER, reply);
            break;
        case FullReadStep::Decimals:
            selectFromReply(ui->Cmb_DP, reply);
            break;
        case FullReadStep::OutputLow:
            guardedCut(ui->TXT_DAL, reply);
            break;
        case FullReadStep::OutputHigh:
            guardedCut(ui->TXT_DAH, reply);
            break;
        case FullReadStep::Trim4mA:
            guardedCut(ui->TXT_DAZF, reply);
            if (noFailureYet())
                moveTrimBar(ui->VScroll1, reply, ui->TXT_DAZF->text());
            break;
        case FullReadStep::Trim20mA:
            guardedCut(ui->TXT_DAFF, reply);
            if (noFailureYet())
                moveTrimBar(ui->VScroll2, reply, ui->TXT_DAFF->text());
            break;
        case FullReadStep::Pressure:
            showPressure(reply);
            restartExtremes();
            break;
        case FullReadStep::Temperature:
            guardedCut(ui->TXT_TEMPERATURE, reply);
            break;
        }
    }
}
