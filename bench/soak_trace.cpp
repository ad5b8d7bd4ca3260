#include "soak_trace.h"

#include <QRegularExpression>

QString requestCommand(const QString& escapedFrame) {
    // "$" + address (2) + command + checksum (2) + "\r" written as two characters.
    static const QRegularExpression request(
        QStringLiteral("^\\$[0-9A-Za-z]{2}(.*)[0-9A-F]{2}\\\\r$"));
    const QRegularExpressionMatch m = request.match(escapedFrame);
    return m.hasMatch() ? m.captured(1) : QString();
}

SoakTrace readSoakTrace(const QStringList& lines) {
    static const QRegularExpression format(
        QStringLiteral("^(\\d+) (\\d+) (heard|sent|event) (.*?)(?: -- (.*))?$"));
    static const QRegularExpression randomFault(QStringLiteral("random fault ([a-z-]+)"));
    SoakTrace trace;
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = format.match(line);
        if (!m.hasMatch())
            continue;
        const qint64 ns = m.captured(1).toLongLong();
        const QString kind = m.captured(3);
        if (kind == QLatin1String("event")) {
            trace.events.append({ns, m.captured(4).section(QLatin1Char(' '), 0, 0)});
        } else if (kind == QLatin1String("heard")) {
            const QRegularExpressionMatch fault = randomFault.match(m.captured(5));
            trace.heard.append({ns, requestCommand(m.captured(4)),
                                fault.hasMatch() ? fault.captured(1) : QStringLiteral("none")});
        }
    }
    return trace;
}
