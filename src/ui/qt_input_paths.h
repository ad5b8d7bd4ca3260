#pragma once

class QComboBox;
class QLineEdit;
class QScrollBar;

// Qt gives some controls ways to change that the window does not have; on a
// live transmitter each of them would be a write nobody meant. These close
// them, control by control.

// A trim bar moves only by a click on an arrow or in the track, an arrow or
// page key while it has the focus, or the release of its dragged thumb. The
// wheel, the context menu ("Scroll here", "Top", "Bottom"), the middle button
// and Home/End do nothing.
void closeExtraTrimBarInput(QScrollBar* bar);

// A drop-down list changes by a click on it, or by the keyboard or the wheel
// while it has the focus. The wheel over a list without the focus neither
// changes it nor gives it the focus, which would go around the leave
// validation of the field the engineer is in.
void closeExtraListInput(QComboBox* list);

// A field reached by Tab keeps its text unselected, with the cursor at its
// end, so what is typed next is added to the text instead of replacing it.
void keepTextOnTabFocus(QLineEdit* field);
