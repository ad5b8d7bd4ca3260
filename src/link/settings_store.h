#pragma once

#include <QString>

// The per-user settings store, addressed by section and key. The application
// name is fixed by the store itself.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString value(const QString& section, const QString& key,
                          const QString& defaultValue = QString()) const = 0;
    virtual void setValue(const QString& section, const QString& key, const QString& value) = 0;
};
