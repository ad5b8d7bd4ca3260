#pragma once

#include <QString>

class QComboBox;
class QLineEdit;

// How a returned text goes into a control: two ways into a field, one into a
// list.

// The field receives the text, then the reply value of what it holds, so it
// ends with the data (possibly empty), or " 0" / " 3" after a failure.
void plainCut(QLineEdit* field, const QString& reply);

// The field receives the text, and its reply value only when the text is
// longer than four characters: a valid reply without data stays whole.
void guardedCut(QLineEdit* field, const QString& reply);

// Moves a list to the position a reply names; false when it stays.
bool selectFromReply(QComboBox* list, const QString& reply);
