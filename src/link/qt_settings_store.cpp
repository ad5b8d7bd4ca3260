#include "link/qt_settings_store.h"

QtSettingsStore::QtSettingsStore()
    : m_settings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick")) {}

QString QtSettingsStore::value(const QString& section, const QString& key,
                               const QString& defaultValue) const {
    const QVariant v = m_settings.value(section + QLatin1Char('/') + key);
    // A list or another structured value written by hand reads as missing.
    if (!v.isValid() || !v.canConvert<QString>())
        return defaultValue;
    return v.toString();
}

void QtSettingsStore::setValue(const QString& section, const QString& key, const QString& value) {
    m_settings.setValue(section + QLatin1Char('/') + key, value);
    m_settings.sync();
}
