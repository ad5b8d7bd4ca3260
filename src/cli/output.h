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
// A line on stderr without the program's name: progress, notes.
void printNote(const QString& message);
