#pragma once

#include <QString>

class QJsonArray;
class QJsonObject;

// What a command prints: results on stdout, diagnostics on stderr, both as
// UTF-8 lines.
void printLine(const QString& line);
void printJson(const QJsonObject& object, bool compact = false);
void printJson(const QJsonArray& array);
// "tarnwick-cli: " + message, on stderr.
void printError(const QString& message);
// The same for what goes wrong without ending the command (a port lost and
// reopened while polling).
void printWarning(const QString& message);
// A line on stderr without the program's name: progress, notes.
void printNote(const QString& message);
// A JSON object as one line on stderr, beside JSON output on stdout.
void printNoteJson(const QJsonObject& object);

// With --json anywhere on the command line, stderr is machine-readable too:
// one JSON object a line. Notes and warnings go out as {"note": ...} and
// {"warning": ...} when they come; the errors of the run are gathered and go
// out at its end as one {"error": ..., "exit": N}, beside the exit status.
void setJsonDiagnostics(bool json);
bool jsonDiagnostics();
// Records what made the run fail when no error says it (a read that failed,
// a write not applied), for the error object of a failed run in JSON mode.
void noteFailure(const QString& message);

// Ends the run's diagnostics with its exit status: in JSON mode, a failed run
// ends with the error object, its text the errors printed or else the last
// failure noted; nothing otherwise.
void finishDiagnostics(int status);
