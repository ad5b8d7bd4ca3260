#include "support/fake_bus.h"

#include "link/frame.h"
#include "link/line_settings.h"

namespace {
// Reads are the command names alone; anything longer is a write.
const QStringList kNames{"RP0", "RT0", "AD", "BD", "TY", "ID", "VR", "UT", "DP", "DL",
                         "DH",  "OL",  "OH", "ZF", "FF", "SZ", "WU", "WF", "LD"};
} // namespace

qint64 FakeBus::wireMs(const QByteArray& request, const QByteArray& reply) const {
    // The time request and reply take on the line, 10 bits a character.
    if (!lineTiming)
        return 0;
    const auto settings = LineSettings::parse(m_port.settings());
    const int baud = settings ? settings->baud : 9600;
    return (request.size() + reply.size()) * 10 * 1000 / baud + 1;
}

FakeBus::FakeBus(FakeSerialPort& port)
    : m_port(port) {
    m_port.responder = [this](const QByteArray& written) { return answer(written); };
}

FakeTransmitter& FakeBus::add(const QString& address, int baud) {
    FakeTransmitter t;
    t.address = address;
    t.baud = baud;
    m_transmitters.append(t);
    return m_transmitters.last();
}

FakeTransmitter& FakeBus::at(const QString& address) {
    for (FakeTransmitter& t : m_transmitters)
        if (t.address == address)
            return t;
    qFatal("no fake transmitter at %s", qPrintable(address));
}

QStringList FakeBus::commandsTo(const QString& address) const {
    QStringList out;
    for (const Heard& h : heard)
        if (h.request.startsWith(address))
            out.append(h.request.mid(address.size()));
    return out;
}

QList<FakeSerialPort::Reply> FakeBus::answer(const QByteArray& written) {
    // "$" + text + checksum + CR
    const QString text = QString::fromLatin1(written.mid(1, written.size() - 4));
    const Heard h{text, m_port.settings()};
    heard.append(h);
    if (onRequest)
        onRequest(h);

    const auto settings = LineSettings::parse(m_port.settings());
    const int lineBaud = settings ? settings->baud : 0;
    QList<FakeSerialPort::Reply> replies;
    for (FakeTransmitter& t : m_transmitters) {
        if (!text.startsWith(t.address) || t.baud != lineBaud)
            continue;
        const QString command = text.mid(t.address.size());
        QString name;
        for (const QString& n : kNames)
            if (command.startsWith(n))
                name = n;
        if (name.isEmpty() || t.silent.contains(name))
            continue;
        if (t.rawReply.contains(name)) {
            replies.append({t.rawReply.value(name), wireMs(written, t.rawReply.value(name))});
            continue;
        }
        const QString payload = command.mid(name.size());
        QString data;
        if (name == QLatin1String("AD")) {
            data = payload.isEmpty() ? t.address : payload;
        } else if (!payload.isEmpty()) {
            t.values.insert(name, payload);
            data = payload;
        } else {
            data = t.values.value(name);
        }
        const QString echo = t.address;
        if (name == QLatin1String("AD") && !payload.isEmpty())
            t.address = payload;
        // A new rate takes effect once the reply, still at the old one, is out.
        static const int kBauds[] = {1200, 2400, 4800, 9600};
        if (name == QLatin1String("BD") && payload.size() == 1 && payload[0] >= QLatin1Char('0') &&
            payload[0] <= QLatin1Char('3'))
            t.baud = kBauds[payload[0].toLatin1() - '0'];
        const QByteArray reply = frame::reply((echo + data).toLatin1());
        replies.append({reply, wireMs(written, reply)});
    }
    return replies;
}

void fillTypicalValues(FakeTransmitter& t) {
    t.values = {{"TY", "PT-200"}, {"DL", "+000.0"}, {"DH", "+100.0"}, {"UT", "0"},
                {"ID", "SN4711"}, {"VR", "V1.34"},  {"DP", "1"},      {"OL", "+000.0"},
                {"OH", "+100.0"}, {"ZF", "+0000"},  {"FF", "+0000"},  {"RP0", "+012.3"},
                {"RT0", "+21.5"}, {"SZ", "+000.0"}, {"WU", "OK"},     {"WF", "OK"},
                {"LD", "OK"}};
}
