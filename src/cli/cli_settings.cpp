#include "cli/cli_settings.h"

namespace {
QString fullKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}
} // namespace

CliSettings::CliSettings(const SettingsStore& file)
    : m_file(file) {}

void CliSettings::overrideValue(const QString& section, const QString& key, const QString& value) {
    m_overrides.insert(fullKey(section, key), value);
}

QString CliSettings::value(const QString& section, const QString& key,
                           const QString& defaultValue) const {
    const auto it = m_overrides.constFind(fullKey(section, key));
    if (it != m_overrides.cend())
        return *it;
    return m_file.value(section, key, defaultValue);
}
