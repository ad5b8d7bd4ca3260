#pragma once

#include "soak_trace.h"

#include <QList>
#include <QString>
#include <QStringList>

class QFile;

// One tick of the window's polling timer as the window showed it.
struct Tick {
    qint64 endNs = 0;
    bool temperature = false;
    QString outcome; // "reading", "no reply", "frame error" or "no data"
};

struct Replug {
    qint64 replugNs = 0; // the new device is there
    qint64 chosenNs = 0; // the port chosen again in the window
    QString panel1;      // what status panel 1 said just before
};

// The open descriptors, each with what it is, and the number of threads.
struct Resources {
    QStringList fds;
    int threads = 0;
};

// Everything a soak run saw, for its report.
struct SoakRun {
    double minutes = 0;
    qint64 pollStartNs = 0;
    qint64 pollEndNs = 0;
    QList<Tick> ticks;
    QList<Replug> replugs;
    SoakTrace trace;
    double rssAtOneMinute = -1; // MiB
    double rssAtEnd = -1;
    Resources atStart;
    Resources atOneMinute;
    Resources atEnd;
};

// Whether an exchange whose answer got the fault injected ("none", "late",
// "not sent", "unplugged", ...) may end in outcome: "reading", "no reply",
// "frame error", "no data", or "failed" for any of the last three, which is
// all tarnwick-cli's CSV tells.
bool outcomeExpected(const QString& injected, const QString& outcome);

// Matches the window's ticks with the requests in the trace and prints the
// table; each tick also goes to tickLog as a CSV line when it is given.
void printSoakReport(const SoakRun& run, QFile* tickLog);
