#pragma once

#include "link/settings_store.h"

#include <QSettings>

// The settings file of organization and application "Tarnwick"; on Linux
// $XDG_CONFIG_HOME/Tarnwick/Tarnwick.conf. An unreadable file reads as empty.
class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore();
    QString value(const QString& section, const QString& key,
                  const QString& defaultValue = QString()) const override;
    void setValue(const QString& section, const QString& key, const QString& value) override;

private:
    mutable QSettings m_settings;
};
