#include "ui/trim_bars.h"

#include <QScrollBar>

int trimPosition(const QScrollBar* bar) {
    return -bar->value();
}

void setTrimPosition(QScrollBar* bar, int position) {
    bar->setValue(-position);
}
