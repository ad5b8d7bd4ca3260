// The manual command box: any command text, sent as typed to the selected
// transmitter, and the reply shown as the exchange returns it.

#include "link/exchange.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui_main_window.h"

void MainWindow::Cmd_INS_Click() {
    const QString command = ui->txtInsSend->text();
    if (!isSendable(command)) {
        m_messages.show(QStringLiteral("指令中含有非 ASCII 可打印字符，无法发送。"),
                        QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
        return;
    }
    ui->txtReturn->setText(QString());
    // The final CR stays in the text; the box draws nothing for it.
    ui->txtReturn->setText(Comm_Send(ui->CMB_ADDR->currentText(), command));
}
