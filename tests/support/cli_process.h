#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The built tarnwick-cli run as a separate process, the way a script runs it.

struct CliRun {
    int exitCode = -1; // -1 when it crashed or did not finish
    QString out;
    QString err;
};

// Runs it with args, input on its standard input (then closed), and waits up
// to two minutes for it to end.
CliRun runCli(const QStringList& args, const QByteArray& input = {});

// Exit status, stdout and stderr, for a failed check's message.
QString describe(const CliRun& run);
