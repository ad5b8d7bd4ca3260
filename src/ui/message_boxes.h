#pragma once

#include <QString>

class QWidget;

// Every message box of the window goes through here, so tests can answer them
// without a modal loop. Boxes are modal with one OK button; an empty title
// shows the application name "Tarnwick".
class MessageBoxes {
public:
    enum class Icon { None, Information, Exclamation, Critical };

    virtual ~MessageBoxes() = default;
    virtual void show(const QString& text, const QString& title, Icon icon) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr)
        : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void show(const QString& text, const QString& title, Icon icon) override;

private:
    QWidget* m_parent;
};
