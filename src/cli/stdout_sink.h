#pragma once

#include "cli/message_sink.h"

// Every message on stdout, one JSON object a line:
// {"topic": ..., "payload": {...}, "retain": true|false}, the payload null
// for a removal. Nothing is queued
// or dropped; a reader that is slow holds the monitor up, as a pipe does.
class StdoutSink final : public MessageSink {
public:
    StdoutSink(QString prefix, MonitorStatus status);

    void start() override { publishStatus(); }
    void publish(const MonitorMessage& message) override;
    void publishStatus() override;
    void setTransmitters(const QStringList& addresses) override {
        m_status.transmitters = addresses;
    }
    long long queued() const override { return 0; }
    long long dropped() const override { return 0; }
    std::optional<QString> refusal() const override { return std::nullopt; }
    QStringList takeNotes() override { return {}; }
    void finish(int waitMs) override;

private:
    QString m_prefix;
    MonitorStatus m_status;
};
