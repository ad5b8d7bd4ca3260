#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

// Validation on leaving a field. When the focus is about to move from a
// registered field to another control of the window, by a click or by Tab,
// the field's validator runs first, before the other control sees the click.
// A validator that returns false refuses the move: the focus stays in the
// field and the click or key that would have moved it is dropped.
class LeaveValidation : public QObject {
    Q_OBJECT

public:
    using Validator = std::function<bool()>;

    explicit LeaveValidation(QWidget* window);
    ~LeaveValidation() override;

    void add(QWidget* field, Validator validator);
    // Moves the focus from code as a click would: the field being left is
    // validated first. Returns false when it refused.
    bool moveFocus(QWidget* target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool validateLeaving(QWidget* target);
    QWidget* focusTakerAt(QWidget* hit) const;

    QWidget* m_window;
    QHash<QWidget*, Validator> m_validators;
    // The field whose validator has just accepted a move that is under way,
    // so its focus-out does not validate a second time.
    QPointer<QWidget> m_passed;
    bool m_dropRelease = false;
};
