#pragma once

#include <QString>

// The trim text of a position: a sign and four zero-padded digits, "+0012",
// "-0007", "+5000", "-5000".
QString trimText(int position);
