#pragma once

#include <QString>

class QLineEdit;

// The two ways a returned text goes into a field.

// The field receives the text, then the reply value of what it holds, so it
// ends with the data (possibly empty), or " 0" / " 3" after a failure.
void plainCut(QLineEdit* field, const QString& reply);

// The field receives the text, and its reply value only when the text is
// longer than four characters: a valid reply without data stays whole.
void guardedCut(QLineEdit* field, const QString& reply);
