#include "cli/output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

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

namespace {
bool g_jsonDiagnostics = false;
QStringList g_errors;
QString g_lastFailure;

void putJsonLine(const char* key, const QString& message) {
    put(stderr,
        QJsonDocument(QJsonObject{{QLatin1String(key), message}}).toJson(QJsonDocument::Compact));
}
} // namespace

void printError(const QString& message) {
    if (g_jsonDiagnostics)
        g_errors.append(message);
    else
        put(stderr, "tarnwick-cli: " + message.toUtf8());
}

void printWarning(const QString& message) {
    if (g_jsonDiagnostics)
        putJsonLine("warning", message);
    else
        put(stderr, "tarnwick-cli: " + message.toUtf8());
}

void printNote(const QString& message) {
    if (g_jsonDiagnostics)
        putJsonLine("note", message);
    else
        put(stderr, message.toUtf8());
}

void printNoteJson(const QJsonObject& object) {
    put(stderr, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void setJsonDiagnostics(bool json) {
    g_jsonDiagnostics = json;
    g_errors.clear();
    g_lastFailure.clear();
}

void noteFailure(const QString& message) {
    g_lastFailure = message;
}

bool jsonDiagnostics() {
    return g_jsonDiagnostics;
}

void finishDiagnostics(int status) {
    if (!g_jsonDiagnostics || (g_errors.isEmpty() && status == 0))
        return;
    const QString error = !g_errors.isEmpty()        ? g_errors.join(QStringLiteral("; "))
                          : !g_lastFailure.isEmpty() ? g_lastFailure
                                                     : QStringLiteral("failed");
    put(stderr, QJsonDocument(
                    QJsonObject{{QStringLiteral("error"), error}, {QStringLiteral("exit"), status}})
                    .toJson(QJsonDocument::Compact));
    g_errors.clear();
    g_lastFailure.clear();
}
