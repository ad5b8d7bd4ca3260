// The access codes typed into the concealed field txtPass unlock or lock the
// service controls. There is no prompt and no record: every start is locked.

#include "ui/main_window.h"
#include "ui_main_window.h"

namespace {
const QString kDisplayCode = QStringLiteral("wolmask");
const QString kFactoryCode = QStringLiteral("tekrund");
const QString kLockCode = QStringLiteral("bavizen");
} // namespace

void MainWindow::txtPass_Change() {
    // The whole text, compared exactly: no trimming, no search inside it.
    const QString code = ui->txtPass->text().toLower();
    // The manual command frame and its five controls, in this order.
    const auto enableCommandFrame = [this](bool on) {
        const QList<QWidget*> group{ui->Frame_Command, ui->txtInsSend, ui->Cmd_INS,
                                    ui->lblIns1,       ui->lblIns2,    ui->txtReturn};
        for (QWidget* w : group)
            w->setEnabled(on);
    };
    if (code == kDisplayCode) {
        enableCommandFrame(true);
        ui->txtMAX->setVisible(true);
        ui->txtMIN->setVisible(true);
        ui->TXT_TEMPERATURE->setVisible(true);
    } else if (code == kFactoryCode) {
        ui->CMD_FACT->setEnabled(true);
        ui->CMD_FACT->setVisible(true);
        ui->chkSame->setVisible(true);
    } else if (code == kLockCode) {
        enableCommandFrame(false);
        ui->CMD_FACT->setEnabled(false);
        ui->CMD_FACT->setVisible(false);
        ui->chkSame->setVisible(false);
    }
}
