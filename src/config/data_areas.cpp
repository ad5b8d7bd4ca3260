// The transmitter's data areas: store the settings in the user or factory
// area, or restore the factory settings. One bare command each; the outcome
// is reported in a message box.

#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui_main_window.h"

void MainWindow::dataAreaCommand(const QString& command, const QString& title,
                                 const QString& success, const QString& failure) {
    const QString address = ui->CMB_ADDR->currentText();
    const QString reply = Comm_Send(address, command);
    const bool done = reply == QLatin1Char('*') + address + QStringLiteral("OK\r");
    m_messages.show(done ? success : failure, title,
                    done ? MessageBoxes::Icon::Information : MessageBoxes::Icon::Exclamation);
}

void MainWindow::CMD_USER_Click() {
    dataAreaCommand(QStringLiteral("WU"), QStringLiteral("写入用户数据区"),
                    QStringLiteral("写入用户数据区完成!"), QStringLiteral("写入用户数据区出错"));
}

void MainWindow::CMD_FACT_Click() {
    dataAreaCommand(QStringLiteral("WF"), QStringLiteral("写入工厂数据区"),
                    QStringLiteral("写入工厂数据区完成!"), QStringLiteral("写入工厂数据区出错"));
}

void MainWindow::CMD_LD_Click() {
    dataAreaCommand(QStringLiteral("LD"), QStringLiteral("恢复工厂设定"),
                    QStringLiteral("恢复工厂设定完成!"), QStringLiteral("恢复工厂设定出错"));
}
