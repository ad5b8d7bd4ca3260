#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

// The tool's end of a serial line, opened with plain POSIX calls the way a
// serial port opens a device: raw, 8N1, at the speed given. Tests of the bus
// simulator use it to stand in for the tool without the tool's own port layer.
// Reading keeps the event loop turning, so a simulator in the same process
// gets to answer.
class LineEnd {
public:
    LineEnd() = default;
    ~LineEnd() { close(); }
    LineEnd(const LineEnd&) = delete;
    LineEnd& operator=(const LineEnd&) = delete;

    bool open(const QString& path, speed_t speed);
    bool setSpeed(speed_t speed);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    bool write(const QByteArray& bytes);
    // Everything that arrives until a CR has come (and what came with it in
    // the same read) or msecs have passed.
    QByteArray readReply(int msecs);
    // Until count bytes have come or msecs have passed.
    QByteArray readBytes(qsizetype count, int msecs);
    // Everything that arrives within msecs.
    QByteArray readFor(int msecs);
    // True once the line has gone: the read fails or hangs up.
    bool hungUp(int msecs);

private:
    QByteArray collect(int msecs, bool stopAtCR, qsizetype count = -1);

    int m_fd = -1;
};
