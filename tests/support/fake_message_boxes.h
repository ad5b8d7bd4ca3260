#pragma once

#include "ui/message_boxes.h"

#include <QList>

// Records every box instead of showing it; the "OK" is pressed at once.
class FakeMessageBoxes final : public MessageBoxes {
public:
    struct Box {
        QString text;
        QString title;
        Icon icon;
    };

    void show(const QString& text, const QString& title, Icon icon) override {
        shown.append({text, title, icon});
        if (onShow)
            onShow(shown.last());
    }

    QList<Box> shown;
    std::function<void(const Box&)> onShow;
};
