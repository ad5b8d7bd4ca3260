#include "simulator/trace.h"

#include <cstdio>
#include <ctime>

namespace sim {

namespace {

constexpr qsizetype kMaxTracedBytes = 256;

} // namespace

bool Trace::open(const QString& target, QString* error) {
    if (target.isEmpty())
        return true;
    const bool ok =
        target == QLatin1String("-")
            ? m_file.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered)
            : (m_file.setFileName(target),
               m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered));
    if (!ok)
        *error = QStringLiteral("trace %1: %2").arg(target, m_file.errorString());
    return ok;
}

void Trace::heard(qint64 ns, int baud, const QByteArray& bytes, const QString& note) {
    line(ns, baud, "heard", bytes, note);
}

void Trace::sent(qint64 ns, int baud, const QByteArray& bytes, const QString& note) {
    line(ns, baud, "sent", bytes, note);
}

void Trace::event(qint64 ns, int baud, const QString& what) {
    if (!m_file.isOpen())
        return;
    m_file.write(QByteArray::number(ns) + ' ' + QByteArray::number(baud) + " event " +
                 what.toUtf8() + '\n');
}

qint64 Trace::monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QByteArray Trace::escape(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (u < 0x20 || u > 0x7E) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", u);
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return out;
}

void Trace::line(qint64 ns, int baud, const char* direction, const QByteArray& bytes,
                 const QString& note) {
    if (!m_file.isOpen())
        return;
    // A flood of junk would make one line of megabytes; its start is enough
    // to recognise it.
    const bool cut = bytes.size() > kMaxTracedBytes;
    QByteArray text = QByteArray::number(ns) + ' ' + QByteArray::number(baud) + ' ' + direction +
                      ' ' + escape(cut ? bytes.left(kMaxTracedBytes) : bytes);
    QString remarks = note;
    if (cut) {
        text += "...";
        if (!remarks.isEmpty())
            remarks += QLatin1Char(' ');
        remarks += QStringLiteral("(%1 bytes)").arg(bytes.size());
    }
    if (!remarks.isEmpty())
        text += " -- " + remarks.toUtf8();
    text += '\n';
    // One write per line: unbuffered, so the line is out when this returns.
    m_file.write(text);
}

} // namespace sim
