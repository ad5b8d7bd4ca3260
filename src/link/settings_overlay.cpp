#include "link/settings_overlay.h"

namespace {
QString fullKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}
} // namespace

SettingsOverlay::SettingsOverlay(const SettingsStore& file)
    : m_file(file) {}

void SettingsOverlay::overrideValue(const QString& section, const QString& key,
                                    const QString& value) {
    m_overrides.insert(fullKey(section, key), value);
}

QString SettingsOverlay::value(const QString& section, const QString& key,
                               const QString& defaultValue) const {
    const auto it = m_overrides.constFind(fullKey(section, key));
    if (it != m_overrides.cend())
        return *it;
    return m_file.value(section, key, defaultValue);
}
