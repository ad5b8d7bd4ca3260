// The base settings of the selected transmitter: identity, bus address, baud
// rate and model, written in one go. A new address or rate changes how the
// transmitter is reached, so the list entry, its record and the port follow.

#include "link/exchange.h"
#include "link/reply_value.h"
#include "link/serial_port.h"
#include "protocol/bus_search.h"
#include "protocol/commands.h"
#include "protocol/text_rules.h"
#include "ui/leave_validation.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/reply_fields.h"
#include "ui_main_window.h"

#include <cmath>

namespace {
const QString kAddressError = QStringLiteral("地址设置参数错误，请重新输入！");

// Why a model or identity text cannot be stored, in the box's words, or
// nothing when it can; the rule itself is the one tarnwick-cli applies too.
QString storedTextMessage(const QString& text) {
    switch (storedTextProblem(text)) {
    case TextProblem::NotPrintableAscii:
        return QStringLiteral(
            "只能包含 ASCII 可打印字符（字母、数字、符号和空格），未发送任何数据。");
    case TextProblem::FrameStart:
        return QStringLiteral("不能包含 $（$ 是帧的起始符），未发送任何数据。");
    case TextProblem::OnlyBlanks:
        return QStringLiteral("不能只有空格，未发送任何数据。");
    case TextProblem::TooLong:
        return QStringLiteral("太长（最多 %1 个字符），未发送任何数据。").arg(kMaxStoredText);
    case TextProblem::None:
    case TextProblem::Empty:
        break;
    }
    return QString();
}

} // namespace

bool MainWindow::TXT_ADDR_Validate() {
    // The leading number of the text, in single precision ("7abc" is 7);
    // text without any number is refused like an address out of range.
    const QString text = ui->TXT_ADDR->text();
    const float v = float(numericValue(text));
    if (!hasNumber(text) || !std::isfinite(v) || v > 99 || v < 1) {
        m_messages.show(kAddressError, QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
        return false;
    }
    ui->TXT_ADDR->setText(QStringLiteral("%1").arg(int(std::lround(v)), 2, 10, QLatin1Char('0')));
    return true;
}

void MainWindow::COM_ADDR_Click() {
    // Another listed transmitter's address is refused before anything else.
    if (ui->TXT_ADDR->text() != ui->CMB_ADDR->currentText()) {
        for (int i = 0; i < ui->CMB_ADDR->count(); ++i) {
            const QString entry = ui->CMB_ADDR->itemText(i);
            if (entry != ui->TXT_ADDR->text())
                continue;
            m_messages.show(QStringLiteral("地址 ") + entry +
                                QStringLiteral(" 已经存在,按“OK”键返回！"),
                            QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
            ui->TXT_ADDR->setText(ui->CMB_ADDR->currentText());
            return;
        }
    }

    const int selected = ui->CMB_ADDR->currentIndex();
    if (selected < 0 || selected >= OnlineList.size()) {
        m_messages.show(QStringLiteral("请先搜索变送器，并在地址列表中选择一个！"),
                        QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
        return;
    }
    // The address field is checked when it is left; a failed earlier write
    // can still leave a reply there, which must not go out as an address.
    if (!isBusAddress(ui->TXT_ADDR->text())) {
        m_messages.show(kAddressError, QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
        m_leaveValidation->moveFocus(ui->TXT_ADDR);
        return;
    }
    for (QLineEdit* field : {ui->txtID, ui->txtType}) {
        const QString problem = storedTextMessage(field->text());
        if (problem.isEmpty())
            continue;
        m_messages.show((field == ui->txtID ? QStringLiteral("ID号") : QStringLiteral("型号")) +
                            problem,
                        QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
        m_leaveValidation->moveFocus(field);
        return;
    }
    // The list may still hold a rate picked before the port was chosen; a
    // transmitter moved to it would be out of the server's reach.
    if (!fixedRateAllows(ui->CMB_BAND->currentIndex()))
        return;

    // The connection follows the transmitter: the "AD" reply names where it
    // is afterwards, the "BD" echo switches the line to the new rate.
    TransmitterConnection& transmitter = selectedTransmitter();
    plainCut(ui->txtID, transmitter.moveId(ui->txtID->text()).reply);

    const Exchanged addressReply = transmitter.moveAddress(ui->TXT_ADDR->text());
    ui->TXT_ADDR->setText(addressReply.reply);
    if (ui->TXT_ADDR->text().size() > 4)
        ui->TXT_ADDR->setText(replyValue(ui->TXT_ADDR->text()));
    // The list entry is the only record of where the transmitter is; after a
    // lost or empty reply it keeps the address that was known.
    if (transmitter.address() != ui->CMB_ADDR->currentText())
        ui->CMB_ADDR->setItemText(selected, transmitter.address());

    const int baudIndex = ui->CMB_BAND->currentIndex();
    LastReply = transmitter.moveRate(baudIndex).reply;
    if (LastReply ==
        QLatin1Char('*') + transmitter.address() + QString::number(baudIndex) + QLatin1Char('\r')) {
        OnlineList[selected].BaudIndex = static_cast<qint16>(baudIndex);
        ui->TXT_BAND->setText(ui->CMB_BAND->currentText());
    }

    plainCut(ui->txtType, transmitter.moveModel(ui->txtType->text()).reply);
}

void MainWindow::CMB_BAND_Click() {
    // Picking a rate sends nothing; a rate the port's server does not run at
    // is refused at once rather than at the write.
    fixedRateAllows(ui->CMB_BAND->currentIndex());
}
