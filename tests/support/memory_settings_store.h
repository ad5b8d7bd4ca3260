#pragma once

#include "link/settings_store.h"

#include <QMap>

// Settings kept in memory, keyed "section/key" as in the settings file. Writes
// are counted so tests can tell a value written again from one left alone.
class MemorySettingsStore final : public SettingsStore {
public:
    QString value(const QString& section, const QString& key,
                  const QString& defaultValue = QString()) const override {
        return values.value(section + QLatin1Char('/') + key, defaultValue);
    }
    void setValue(const QString& section, const QString& key, const QString& value) override {
        values.insert(section + QLatin1Char('/') + key, value);
        ++writes;
    }

    QMap<QString, QString> values;
    int writes = 0;
};
