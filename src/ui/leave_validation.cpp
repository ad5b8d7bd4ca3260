#include "ui/leave_validation.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

LeaveValidation::LeaveValidation(QWidget* window)
    : QObject(window)
    , m_window(window) {
    // An application-wide filter sees a mouse press while it is still addressed
    // to the window, before Qt hands the focus to the clicked control.
    qApp->installEventFilter(this);
}

LeaveValidation::~LeaveValidation() {
    qApp->removeEventFilter(this);
}

void LeaveValidation::add(QWidget* field, Validator validator) {
    // The application-wide filter already sees the field's own events; a
    // second filter on the field would validate every leave twice.
    m_validators.insert(field, std::move(validator));
}

bool LeaveValidation::moveFocus(QWidget* target) {
    if (!validateLeaving(target))
        return false;
    target->setFocus(Qt::MouseFocusReason);
    return true;
}

bool LeaveValidation::validateLeaving(QWidget* target) {
    QWidget* field = QApplication::focusWidget();
    if (!field || field == target || field->window() != m_window)
        return true;
    const auto it = m_validators.constFind(field);
    if (it == m_validators.constEnd())
        return true;
    const bool accepted = (*it)();
    if (accepted) {
        m_passed = field;
        // The focus change follows within the same event; forget the pass
        // afterwards so a later focus-out of the field is validated again.
        QTimer::singleShot(0, this, [this] { m_passed.clear(); });
    }
    return accepted;
}

// The control that a click on hit would give the focus to, the way Qt picks
// it: the first enabled widget up the parent chain that takes click focus.
QWidget* LeaveValidation::focusTakerAt(QWidget* hit) const {
    for (QWidget* w = hit; w; w = w->parentWidget()) {
        if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus))
            return w->focusProxy() ? w->focusProxy() : w;
        if (w->isWindow())
            break;
    }
    return nullptr;
}

bool LeaveValidation::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        if (watched != m_window->windowHandle() || QApplication::activePopupWidget())
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        QWidget* hit = m_window->childAt(mouse->position().toPoint());
        QWidget* taker = focusTakerAt(hit ? hit : m_window);
        if (!taker || taker == QApplication::focusWidget())
            return false;
        if (validateLeaving(taker))
            return false;
        // Refused: the click never reaches the control. Its release is dropped
        // too, unless the button came up while a message box was open.
        m_dropRelease = QGuiApplication::mouseButtons() != Qt::NoButton;
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (m_dropRelease && watched == m_window->windowHandle()) {
            m_dropRelease = false;
            return true;
        }
        return false;
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
            return false;
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        auto* field = qobject_cast<QWidget*>(watched);
        if (!field || field != QApplication::focusWidget() || !m_validators.contains(field))
            return false;
        return !validateLeaving(nullptr);
    }
    case QEvent::FocusOut: {
        // Any other way the focus leaves a field at the user's hand (a click
        // that did not pass through the window, a shortcut) still validates;
        // a refusal then brings the focus back.
        auto* field = qobject_cast<QWidget*>(watched);
        if (!field || !m_validators.contains(field))
            return false;
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::MouseFocusReason && reason != Qt::TabFocusReason &&
            reason != Qt::BacktabFocusReason && reason != Qt::ShortcutFocusReason)
            return false;
        if (m_passed == field) {
            m_passed.clear();
            return false;
        }
        if (!m_validators.value(field)()) {
            QPointer<QWidget> back(field);
            QTimer::singleShot(0, field, [back] {
                if (back)
                    back->setFocus(Qt::OtherFocusReason);
            });
        }
        return false;
    }
    default:
        return false;
    }
}
