#pragma once

#include "link/settings_store.h"

#include <QHash>

// The window's settings file as a program other than the window sees it:
// read, never written, with what its own options say laid over it (a device
// path, a port marked as having no line timing).
class SettingsOverlay final : public SettingsStore {
public:
    explicit SettingsOverlay(const SettingsStore& file);

    void overrideValue(const QString& section, const QString& key, const QString& value);

    QString value(const QString& section, const QString& key,
                  const QString& defaultValue = QString()) const override;
    // Another program never changes what the window remembers.
    void setValue(const QString&, const QString&, const QString&) override {}

private:
    const SettingsStore& m_file;
    QHash<QString, QString> m_overrides;
};
