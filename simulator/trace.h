#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace sim {

// The frame log: one line per frame heard or sent,
//
//   <monotonic ns> <baud> heard|sent <frame>[ -- <note>]
//
// for example "123456789012 9600 heard $01AD04\r", and one line for each
// thing done to the line itself, "<monotonic ns> <baud> event <what>" ("event
// unplug", "event replug /tmp/bus"). Only the first 256 bytes of
// a longer run are written, followed by "..." and the count in the note. The time is
// CLOCK_MONOTONIC in nanoseconds, so another process on the machine (a test,
// the tool's own log) can put both in one order. Each line is flushed as it is
// written, so a reader never sees half a line and nothing is lost on a crash.
class Trace {
public:
    // "-" is standard error; anything else a file, emptied first. An empty
    // target leaves the trace off.
    bool open(const QString& target, QString* error);
    bool isOn() const { return m_file.isOpen(); }

    void heard(qint64 ns, int baud, const QByteArray& bytes, const QString& note = {});
    void sent(qint64 ns, int baud, const QByteArray& bytes, const QString& note = {});
    void event(qint64 ns, int baud, const QString& what);

    static qint64 monotonicNs();
    // CR as "\r", LF as "\n", tab as "\t", backslash doubled, other bytes
    // outside printable ASCII as "\xHH": one frame stays on one line.
    static QByteArray escape(const QByteArray& bytes);

private:
    void line(qint64 ns, int baud, const char* direction, const QByteArray& bytes,
              const QString& note);

    QFile m_file;
};

} // namespace sim
