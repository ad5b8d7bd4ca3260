// The manual command box: any command text, sent as typed to the selected
// transmitter, and the reply shown as the exchange returns it.

#include "link/exchange.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui_main_window.h"

namespace {
// A command name and its payload; anything longer is a slip of the hand, and
// its reply could not arrive within the time-out at the slower rates.
constexpr int kMaxManualCommand = 64;
} // namespace

void MainWindow::Cmd_INS_Click() {
    const QString command = ui->txtInsSend->text();
    QString problem;
    if (command.trimmed().isEmpty())
        problem = QStringLiteral("请输入要发送的指令。");
    else if (!isSendable(command))
        problem = QStringLiteral("指令中含有非 ASCII 可打印字符，无法发送。");
    else if (command.size() > kMaxManualCommand)
        problem = QStringLiteral("指令太长（最多 %1 个字符），无法发送。").arg(kMaxManualCommand);
    if (!problem.isEmpty()) {
        m_messages.show(problem, QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
        return;
    }
    ui->txtReturn->setText(QString());
    // The final CR stays in the text; the box draws nothing for it.
    ui->txtReturn->setText(Comm_Send(ui->CMB_ADDR->currentText(), command));
}
