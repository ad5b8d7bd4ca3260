#include "ui/reply_fields.h"

#include "link/reply_value.h"

#include <QComboBox>
#include <QLineEdit>

void plainCut(QLineEdit* field, const QString& reply) {
    field->setText(reply);
    field->setText(replyValue(field->text()));
}

void guardedCut(QLineEdit* field, const QString& reply) {
    field->setText(reply);
    if (field->text().size() > 4)
        field->setText(replyValue(field->text()));
}

bool selectFromReply(QComboBox* list, const QString& reply) {
    // Only a number the transmitter sent that is one of the list's positions
    // moves the list. A lost reply (" 0", " 3") or one without a code leaves
    // it, so the next write cannot send a unit or decimals never read.
    if (!isReading(reply))
        return false;
    const std::optional<qint16> index = integerValue(replyValue(reply));
    if (!index || *index < 0 || *index >= list->count())
        return false;
    list->setCurrentIndex(*index);
    return true;
}
