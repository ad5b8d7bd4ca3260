#include "link/traced_port.h"

TracedPort::TracedPort(SerialPort& port, QList<std::FILE*> out)
    : m_port(port)
    , m_out(std::move(out)) {
    m_sinceStart.start();
}

void TracedPort::flush() {
    if (!m_pending.isEmpty())
        line("<-", m_pending);
    m_pending.clear();
}

void TracedPort::discardInput() {
    flush();
    m_port.discardInput();
}

void TracedPort::write(const QByteArray& data) {
    flush();
    line("->", data);
    m_port.write(data);
}

QByteArray TracedPort::readAll() {
    const QByteArray data = m_port.readAll();
    m_pending += data;
    qsizetype cr;
    while ((cr = m_pending.indexOf('\r')) >= 0) {
        line("<-", m_pending.left(cr + 1));
        m_pending.remove(0, cr + 1);
    }
    return data;
}

void TracedPort::line(const char* direction, const QByteArray& bytes) {
    for (std::FILE* out : m_out) {
        std::fprintf(out, "%8lld %s %s\n", static_cast<long long>(m_sinceStart.elapsed()),
                     direction, traceText(bytes).constData());
        std::fflush(out);
    }
}

QByteArray traceText(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (u >= 0x20 && u < 0x7F)
            out += c;
        else
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    return out;
}
