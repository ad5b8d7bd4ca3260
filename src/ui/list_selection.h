#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class QComboBox;

// The selection event of the window's drop-down lists. The handler runs once
// for every pick by the user and once whenever code selects an entry through
// select(), in both cases also for the entry already selected (picking the
// same port again reopens it). Clearing or refilling a list from code raises
// nothing, so a list can be emptied without running its handler.
class ListSelection : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void()>;

    explicit ListSelection(QObject* parent = nullptr)
        : QObject(parent) {}

    void connectList(QComboBox* list, Handler handler);
    // Selects entry index (-1 for none). The handler runs for every entry
    // selected, the one already selected included; selecting nothing raises
    // no event.
    void select(QComboBox* list, int index);

private:
    void run(QComboBox* list);

    QHash<QComboBox*, Handler> m_handlers;
};
