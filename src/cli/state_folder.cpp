#include "cli/state_folder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

std::optional<QString> stateFolderProblem(const QString& folder) {
    if (!QDir().mkpath(folder))
        return QStringLiteral("--state-dir %1: cannot make the folder").arg(folder);
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".write-check-XXXXXX")));
    if (!probe.open() || probe.write("x", 1) != 1 || !probe.flush())
        return QStringLiteral("--state-dir %1: cannot write there (%2)")
            .arg(folder, probe.errorString());
    return std::nullopt;
}

QString moveClientStateAside(const QString& folder, const QString& clientId) {
    QDir dir(folder);
    const QString aside =
        QStringLiteral("unreadable-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    if (!dir.mkpath(aside))
        return QStringLiteral("cannot make %1").arg(dir.filePath(aside));
    // The client keeps its files in a folder named after its id and broker.
    for (const QString& entry :
         dir.entryList({clientId + QLatin1Char('*')}, QDir::AllEntries | QDir::NoDotAndDotDot))
        if (!dir.rename(entry, aside + QLatin1Char('/') + entry))
            return QStringLiteral("cannot move %1").arg(dir.filePath(entry));
    return dir.filePath(aside);
}
