#pragma once

#include "cli/cli_command.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

// The shell completion of tarnwick-cli, written from the command table and the
// parsers the commands really parse with, so that a new command or option
// completes without anyone editing a script.

// The options a parser takes, with their names, value names and default
// values. QCommandLineParser keeps no list of them to hand out, so they are
// read back from its help text, the very text --help prints; options hidden
// from the help are left out. The parser must have parsed a command line; an
// option set on that line gets no default value.
QList<QCommandLineOption> parserOptions(const QCommandLineParser& parser);

// The bash script: a completion function for tarnwick-cli and the line that
// registers it, without the last line's end. globals: the options taken before the command's name
// (and, like every command's own, after it).
QString bashCompletionScript(const QList<QCommandLineOption>& globals,
                             const QList<CliCommand>& commands);
