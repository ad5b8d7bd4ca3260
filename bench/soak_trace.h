#pragma once

#include <QList>
#include <QString>

// The simulator's trace as the soak reads it: the requests the transmitters
// heard, each with the fault drawn for it, and the line's unplugs and replugs.

struct HeardRequest {
    qint64 ns = 0;
    QString command;  // "RP0", "AD04", ...; empty for a frame that is no request
    QString injected; // "none" or the random fault's kind ("late", "silent", ...)
};

struct LineEvent {
    qint64 ns = 0;
    QString what; // "unplug" or "replug"
};

struct SoakTrace {
    QList<HeardRequest> heard;
    QList<LineEvent> events;
};

// Reads trace lines "<ns> <baud> heard|sent|event <text>[ -- <note>]"; a line
// in any other form is skipped.
SoakTrace readSoakTrace(const QStringList& lines);

// The command of a request frame as the trace writes it ("$01RP041\r" gives
// "RP0"), empty when the text is no request frame.
QString requestCommand(const QString& escapedFrame);
