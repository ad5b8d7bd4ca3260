#include "ui/reply_fields.h"

#include "link/reply_value.h"

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
