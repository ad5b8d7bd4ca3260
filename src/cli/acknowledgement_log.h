#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <mutex>

// For measuring how long a reading takes to reach the broker: a line per
// reading handed to the client and per acknowledgement of it, each with the
// time on the monotonic clock (the simulator's trace uses the same clock),
// its topic and its sequence number. Off unless a file is named.
class AcknowledgementLog {
public:
    explicit AcknowledgementLog(const QString& path);
    ~AcknowledgementLog();
    AcknowledgementLog(const AcknowledgementLog&) = delete;
    AcknowledgementLog& operator=(const AcknowledgementLog&) = delete;

    bool on() const { return m_file != nullptr; }
    // "handed NS TOPIC SEQ" and "acked NS TOPIC SEQ"; from any thread.
    void handed(const char* topic, const QByteArray& payload) { write("handed", topic, payload); }
    void acknowledged(const char* topic, const QByteArray& payload) {
        write("acked", topic, payload);
    }

private:
    void write(const char* event, const char* topic, const QByteArray& payload);

    std::mutex m_mutex;
    std::FILE* m_file = nullptr;
};
