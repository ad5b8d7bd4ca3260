#pragma once

#include "cli/monitor_messages.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// Home Assistant's MQTT discovery: each transmitter a device with a pressure
// and a temperature sensor, announced by retained config messages under the
// discovery prefix, so a dashboard shows the bus without being set up by
// hand.

struct DiscoveredTransmitter {
    QString host;
    QString port; // as given
    QString address;
    // From its full read; null when that value was not read.
    QJsonValue model;
    QJsonValue version;
    std::optional<int> unitCode;
};

// The two config messages, pressure first. Their state topics are the
// monitor's own under topicPrefix; a sensor is available while both the
// monitor's status and the transmitter's state say online.
QList<MonitorMessage> discoveryMessages(const QString& discoveryPrefix, const QString& topicPrefix,
                                        const DiscoveredTransmitter& transmitter);
// The same topics emptied, which removes the device from Home Assistant.
QList<MonitorMessage> discoveryRemovals(const QString& discoveryPrefix, const QString& host,
                                        const QString& port, const QString& address);
