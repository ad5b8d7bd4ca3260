// The manual command box: any command text, sent as typed to the selected
// transmitter, and the reply shown as the exchange returns it.

#include "protocol/bus_search.h"
#include "protocol/text_rules.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui_main_window.h"

void MainWindow::Cmd_INS_Click() {
    const QString command = ui->txtInsSend->text();
    QString problem;
    switch (manualCommandProblem(command)) {
    case TextProblem::None:
        break;
    case TextProblem::Empty:
    case TextProblem::OnlyBlanks:
        problem = QStringLiteral("请输入要发送的指令。");
        break;
    case TextProblem::NotPrintableAscii:
        problem = QStringLiteral("指令中含有非 ASCII 可打印字符，无法发送。");
        break;
    case TextProblem::FrameStart:
        problem = QStringLiteral("指令中不能含有 $（$ 是帧的起始符），无法发送。");
        break;
    case TextProblem::TooLong:
        problem = QStringLiteral("指令太长（最多 %1 个字符），无法发送。").arg(kMaxManualCommand);
        break;
    }
    if (!problem.isEmpty()) {
        m_messages.show(problem, QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
        return;
    }
    // A rate change the port's server does not follow would strand the
    // transmitter at a rate the line cannot reach.
    if (const int rate = rateChangeOf(command);
        rate != 0 && !fixedRateAllows(baudIndexOf(rate), command))
        return;
    ui->txtReturn->setText(QString());
    // The final CR stays in the text; the box draws nothing for it.
    ui->txtReturn->setText(Comm_Send(ui->CMB_ADDR->currentText(), command));
}
