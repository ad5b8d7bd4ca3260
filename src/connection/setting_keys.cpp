#include "connection/setting_keys.h"

const std::array<SettingKey, 10>& settingKeyTable() {
    static const std::array<SettingKey, 10> table{{
        {"unit", Command::Unit, SettingKind::Unit},
        {"decimals", Command::Decimals, SettingKind::Decimals},
        {"rangeLow", Command::RangeLow, SettingKind::Pressure},
        {"rangeHigh", Command::RangeHigh, SettingKind::Pressure},
        {"outputLow", Command::OutputLow, SettingKind::Pressure},
        {"outputHigh", Command::OutputHigh, SettingKind::Pressure},
        {"trim4mA", Command::Trim4mA, SettingKind::Trim},
        {"trim20mA", Command::Trim20mA, SettingKind::Trim},
        {"id", Command::Id, SettingKind::Text},
        {"model", Command::Model, SettingKind::Text},
    }};
    return table;
}

const QStringList& settingKeys() {
    static const QStringList names = [] {
        QStringList n;
        for (const SettingKey& setting : settingKeyTable())
            n.append(QLatin1String(setting.name));
        return n;
    }();
    return names;
}

const SettingKey* settingNamed(const QString& name) {
    for (const SettingKey& setting : settingKeyTable())
        if (name == QLatin1String(setting.name))
            return &setting;
    return nullptr;
}

const SettingKey* settingOf(Command command) {
    for (const SettingKey& setting : settingKeyTable())
        if (setting.command == command)
            return &setting;
    return nullptr;
}
