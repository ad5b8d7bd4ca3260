#include "ui/qt_input_paths.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>

namespace {

class TrimBarFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Wheel:
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            return key == Qt::Key_Home || key == Qt::Key_End;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            // The middle button jumps the thumb to the pointer.
            return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
        default:
            return false;
        }
    }
};

class ListWheelFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel)
            return false;
        auto* list = qobject_cast<QWidget*>(watched);
        return list && !list->hasFocus();
    }
};

class TabFocusFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::FocusIn)
            return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason &&
            reason != Qt::ShortcutFocusReason)
            return false;
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (!field)
            return false;
        // The field handles the focus as if it came from code, which selects
        // nothing; this event, which would select all, goes no further.
        QFocusEvent plain(QEvent::FocusIn, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(field, &plain);
        field->deselect();
        field->end(false);
        return true;
    }
};

} // namespace

void closeExtraTrimBarInput(QScrollBar* bar) {
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    // Wheel focus would also let the wheel move the focus here.
    if (bar->focusPolicy() == Qt::WheelFocus)
        bar->setFocusPolicy(Qt::StrongFocus);
    bar->installEventFilter(new TrimBarFilter(bar));
}

void closeExtraListInput(QComboBox* list) {
    if (list->focusPolicy() == Qt::WheelFocus)
        list->setFocusPolicy(Qt::StrongFocus);
    list->installEventFilter(new ListWheelFilter(list));
}

void keepTextOnTabFocus(QLineEdit* field) {
    field->installEventFilter(new TabFocusFilter(field));
}
