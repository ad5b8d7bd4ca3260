#include "protocol/trim_text.h"

#include <cstdlib>

QString trimText(int position) {
    return (position < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1").arg(std::abs(position), 4, 10, QLatin1Char('0'));
}
