// The transmitter's data areas: store the settings in the user or factory
// area, or restore the factory settings. One bare command each; the outcome
// is reported in a message box.

#include "protocol/commands.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui_main_window.h"

void MainWindow::dataAreaCommand(Command command, const QString& title, const QString& success,
                                 const QString& failure) {
    const bool done = TransmitterConnection::isDone(selectedTransmitter().exchange(command));
    m_messages.show(done ? success : failure, title,
                    done ? MessageBoxes::Icon::Information : MessageBoxes::Icon::Exclamation);
}

void MainWindow::CMD_USER_Click() {
    dataAreaCommand(Command::StoreUser, QStringLiteral("写入用户数据区"),
                    QStringLiteral("写入用户数据区完成!"), QStringLiteral("写入用户数据区出错"));
}

void MainWindow::CMD_FACT_Click() {
    dataAreaCommand(Command::StoreFactory, QStringLiteral("写入工厂数据区"),
                    QStringLiteral("写入工厂数据区完成!"), QStringLiteral("写入工厂数据区出错"));
}

void MainWindow::CMD_LD_Click() {
    dataAreaCommand(Command::RestoreFactory, QStringLiteral("恢复工厂设定"),
                    QStringLiteral("恢复工厂设定完成!"), QStringLiteral("恢复工厂设定出错"));
}
