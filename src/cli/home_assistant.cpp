#include "cli/home_assistant.h"

#include "protocol/units.h"

#include <QJsonArray>

namespace {

// Home Assistant's units and device class for the transmitter's units;
// mH2O and an unknown unit have no device class, the unknown no unit.
struct PressureUnit {
    QString unit;
    QString deviceClass;
};

PressureUnit pressureUnit(std::optional<int> code) {
    static const QMap<QString, QString> kPressure{{QStringLiteral("kPa"), QStringLiteral("kPa")},
                                                  {QStringLiteral("MPa"), QStringLiteral("MPa")},
                                                  {QStringLiteral("Bar"), QStringLiteral("bar")},
                                                  {QStringLiteral("Psi"), QStringLiteral("psi")},
                                                  {QStringLiteral("mBar"), QStringLiteral("mbar")}};
    const QString name = code ? unitNames().value(*code) : QString();
    if (kPressure.contains(name))
        return {kPressure.value(name), QStringLiteral("pressure")};
    if (name == QLatin1String("mH2O"))
        return {name, QString()};
    return {};
}

QJsonObject availability(const QString& topic) {
    return {{QStringLiteral("topic"), topic},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.state }}")},
            {QStringLiteral("payload_available"), QStringLiteral("online")},
            {QStringLiteral("payload_not_available"), QStringLiteral("offline")}};
}

// Where a transmitter sits, which ID texts need not tell apart across a
// plant.
QString nodeId(const QString& host, const QString& port) {
    return QStringLiteral("tarnwick_%1_%2").arg(portSlug(host), portSlug(port));
}

QString configTopic(const QString& discoveryPrefix, const QString& node, const QString& address,
                    const QString& leaf) {
    return QStringLiteral("%1/sensor/%2/%3_%4/config").arg(discoveryPrefix, node, address, leaf);
}

} // namespace

QList<MonitorMessage> discoveryRemovals(const QString& discoveryPrefix, const QString& host,
                                        const QString& port, const QString& address) {
    QList<MonitorMessage> messages;
    for (const char* leaf : {"pressure", "temperature"})
        messages.append(
            {configTopic(discoveryPrefix, nodeId(host, port), address, QLatin1String(leaf)),
             {},
             true,
             true});
    return messages;
}

QList<MonitorMessage> discoveryMessages(const QString& discoveryPrefix, const QString& topicPrefix,
                                        const DiscoveredTransmitter& t) {
    const QString node = nodeId(t.host, t.port);
    const QString deviceId = node + QLatin1Char('_') + t.address;
    QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{deviceId}},
        {QStringLiteral("name"), t.model.isString()
                                     ? QStringLiteral("%1 %2").arg(t.model.toString(), t.address)
                                     : QStringLiteral("Transmitter %1").arg(t.address)}};
    if (t.model.isString())
        device.insert(QStringLiteral("model"), t.model);
    if (t.version.isString())
        device.insert(QStringLiteral("sw_version"), t.version);
    const QJsonArray available{
        availability(statusTopic(topicPrefix)),
        availability(transmitterTopic(topicPrefix, t.address, QStringLiteral("state")))};

    const PressureUnit pressure = pressureUnit(t.unitCode);
    const struct {
        QString leaf;
        QString name;
        QString unit;
        QString deviceClass;
    } sensors[] = {{QStringLiteral("pressure"), QStringLiteral("Pressure"), pressure.unit,
                    pressure.deviceClass},
                   {QStringLiteral("temperature"), QStringLiteral("Temperature"),
                    QStringLiteral("°C"), QStringLiteral("temperature")}};
    QList<MonitorMessage> messages;
    for (const auto& s : sensors) {
        QJsonObject config{
            {QStringLiteral("name"), s.name},
            {QStringLiteral("unique_id"), deviceId + QLatin1Char('_') + s.leaf},
            {QStringLiteral("state_topic"), transmitterTopic(topicPrefix, t.address, s.leaf)},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.value }}")},
            {QStringLiteral("state_class"), QStringLiteral("measurement")},
            {QStringLiteral("availability"), available},
            {QStringLiteral("availability_mode"), QStringLiteral("all")},
            {QStringLiteral("device"), device}};
        if (!s.unit.isEmpty())
            config.insert(QStringLiteral("unit_of_measurement"), s.unit);
        if (!s.deviceClass.isEmpty())
            config.insert(QStringLiteral("device_class"), s.deviceClass);
        messages.append({configTopic(discoveryPrefix, node, t.address, s.leaf), config, true});
    }
    return messages;
}
