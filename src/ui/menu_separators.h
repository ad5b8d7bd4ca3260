#pragma once

class QMenu;

// Draws every separator of the menu as a line of its own, a leading one too.
// Qt drops a separator that leads a menu, and draws a kept one as a line
// hidden in the menu's top border.
void drawAllSeparators(QMenu* menu);
