#include "cli/output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {
void put(std::FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}
} // namespace

void printLine(const QString& line) {
    put(stdout, line.toUtf8());
}

void printJson(const QJsonObject& object, bool compact) {
    put(stdout, QJsonDocument(object)
                    .toJson(compact ? QJsonDocument::Compact : QJsonDocument::Indented)
                    .trimmed());
}

void printJson(const QJsonArray& array) {
    put(stdout, QJsonDocument(array).toJson(QJsonDocument::Indented).trimmed());
}

void printError(const QString& message) {
    put(stderr, "tarnwick-cli: " + message.toUtf8());
}

void printNote(const QString& message) {
    put(stderr, message.toUtf8());
}
