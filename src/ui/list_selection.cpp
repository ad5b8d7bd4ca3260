#include "ui/list_selection.h"

#include <QComboBox>
#include <QSignalBlocker>

void ListSelection::connectList(QComboBox* list, Handler handler) {
    m_handlers.insert(list, std::move(handler));
    // activated() is the one signal that fires exactly once for every user
    // pick, whether by popup, key or wheel, and also for the entry already
    // selected. Changes from code come through select() instead.
    connect(list, &QComboBox::activated, this, [this, list](int) { run(list); });
}

void ListSelection::select(QComboBox* list, int index) {
    if (index < -1 || index >= list->count())
        return;
    {
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(index);
    }
    if (index >= 0)
        run(list);
}

void ListSelection::run(QComboBox* list) {
    const auto it = m_handlers.constFind(list);
    if (it != m_handlers.constEnd() && *it)
        (*it)();
}
