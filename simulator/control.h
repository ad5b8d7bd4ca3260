#pragma once

#include "simulator/random_faults.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdio>
#include <optional>

class QSocketNotifier;

namespace sim {

class Simulator;

// A rate from 0 to 1 and a series as typed; nothing for anything else.
std::optional<RandomFaults> parseRandomFaults(const QString& rate, const QString& series);

// A turnaround in milliseconds as typed, 0 to Transmitter::kMaxTurnaroundMs;
// nothing for anything else.
std::optional<int> parseTurnaroundMs(const QString& text);

// Undoes the trace's escaping and takes the C escapes a person types:
// \r \n \t \\ \0 and \xHH. No value for a malformed escape; *error says which.
std::optional<QByteArray> unescape(const QString& text, QString* error);

// The control input: one command per line, one answer line for each, so a
// test or a demo script can drive the bus while the tool talks to it.
//
//   fault ADDR CMD KIND     break CMD ("*" for all) of the transmitters at ADDR
//                           (KIND late:MS: late by MS past the tool's deadline)
//   fault ADDR CMD none     mend it again
//   clear-faults [ADDR]     mend everything (at ADDR)
//   random-faults RATE SERIES every answer goes wrong with probability RATE
//   random-faults off       (0 to 1), in a way drawn from the numbered SERIES
//   turnaround ADDR MS      the transmitters at ADDR start replying MS after
//                           a request has arrived
//   unplug | replug         the adapter vanishes / comes back on a new device
//   send TEXT               raw bytes to the tool, escapes allowed
//   flood N                 N bytes of junk to the tool, no CR among them
//   state ADDR [BAUD]       the transmitter's state as one JSON line
//   quit
//
// The answer is "ok", "error: ..." or, for state, the JSON object. A replug
// also announces the new device with a "device: PATH" line before its "ok".
class Control : public QObject {
    Q_OBJECT

public:
    explicit Control(Simulator& simulator, QObject* parent = nullptr);

    QString execute(const QString& line);

    // Reads commands from fd and writes the answers to out. End of input is
    // not a quit: the program may run with its input closed.
    void listen(int fd, std::FILE* out);

signals:
    void quitRequested();

private:
    void readInput();

    Simulator& m_simulator;
    int m_fd = -1;
    std::FILE* m_out = nullptr;
    QByteArray m_input;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace sim
