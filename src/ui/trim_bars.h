#pragma once

class QScrollBar;

// The trim scroll bars show +5000 at the top, so that the upper arrow, the Up
// key and a click in the upper track raise the trim. A Qt vertical bar grows
// downwards, so a bar holds the trim position negated; read and set positions
// only through these two functions.
int trimPosition(const QScrollBar* bar);
// Moves the bar to a trim position in -5000..5000; a new position raises the
// bar's change event, the same position raises nothing.
void setTrimPosition(QScrollBar* bar, int position);
