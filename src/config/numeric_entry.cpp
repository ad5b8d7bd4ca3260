// Leaving one of the four pressure fields reformats it with the pattern of
// Cmb_DP, so the write buttons send what the transmitter expects.

#include "protocol/number_format.h"
#include "ui/leave_validation.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui_main_window.h"

void MainWindow::reformatNumber(QLineEdit* field) {
    // Text that is no number, a value too large for single precision, or no
    // pattern chosen yet: the text stays as it is. Leaving is never refused.
    const std::optional<float> v = singleValue(field->text());
    if (!v)
        return;
    const std::optional<QString> text = formatWithPattern(*v, ui->Cmb_DP->currentText());
    if (text)
        field->setText(*text);
}

void MainWindow::TXT_DPL_Validate() {
    reformatNumber(ui->TXT_DPL);
}

void MainWindow::TXT_DPH_Validate() {
    reformatNumber(ui->TXT_DPH);
}

void MainWindow::TXT_DAL_Validate() {
    reformatNumber(ui->TXT_DAL);
}

void MainWindow::TXT_DAH_Validate() {
    reformatNumber(ui->TXT_DAH);
}

bool MainWindow::holdsNumbers(const QList<QPair<QLineEdit*, QString>>& fields) {
    // A field without a number (its initial text, a failure text " 0", stray
    // words) is never sent: the whole sequence stops before its first frame.
    for (const auto& [field, name] : fields) {
        if (isSendableNumber(field->text()))
            continue;
        m_messages.show(QStringLiteral("%1的内容“%2”不是有效的数值，未发送任何数据。请重新输入！")
                            .arg(name, field->text().trimmed()),
                        QStringLiteral("错误"), MessageBoxes::Icon::Exclamation);
        m_leaveValidation->moveFocus(field);
        return false;
    }
    return true;
}
