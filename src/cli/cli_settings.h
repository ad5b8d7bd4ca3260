#pragma once

#include "link/settings_store.h"

#include <QHash>

// The window's settings file as tarnwick-cli sees it: read, never written,
// with what the command line says laid over it (a device path, a port marked
// as having no line timing).
class CliSettings final : public SettingsStore {
public:
    explicit CliSettings(const SettingsStore& file);

    void overrideValue(const QString& section, const QString& key, const QString& value);

    QString value(const QString& section, const QString& key,
                  const QString& defaultValue = QString()) const override;
    // The command line never changes what the window remembers.
    void setValue(const QString&, const QString&, const QString&) override {}

private:
    const SettingsStore& m_file;
    QHash<QString, QString> m_overrides;
};
