#include "simulator/bus.h"

#include "link/frame.h"

#include <QStringList>

namespace sim {

std::optional<Request> parseRequest(const QByteArray& frame, QString* why) {
    auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const qsizetype start = frame.lastIndexOf('$');
    if (start < 0)
        return fail(QStringLiteral("no start character"));
    if (!frame.endsWith(frame::kCR))
        return fail(QStringLiteral("no carriage return"));
    const QByteArray request = frame.mid(start);
    // "$", two address digits, two checksum digits, CR.
    if (request.size() < 6)
        return fail(QStringLiteral("too short"));
    const QByteArray text = request.mid(1, request.size() - 4);
    const QByteArray address = text.left(2);
    if (!Transmitter::isValidAddress(address))
        return fail(QStringLiteral("address is not 01 to 99"));
    // The request rebuilt by the tool's own frame code must match byte for
    // byte, so a lower-case checksum is as wrong as a wrong one.
    if (frame::request(address, text.mid(2)) != request)
        return fail(QStringLiteral("bad checksum"));
    return Request{address, text.mid(2)};
}

QList<QByteArray> FrameSplitter::feed(const QByteArray& bytes) {
    QList<QByteArray> frames;
    for (char c : bytes) {
        m_pending.append(c);
        if (c == frame::kCR || m_pending.size() >= kMaxFrame) {
            frames.append(m_pending);
            m_pending.clear();
        }
    }
    return frames;
}

namespace {

// On a real line two replies at once garble each other bit by bit. A
// pseudo-terminal cannot garble, and characters of two replies taking turns
// would be a fault no line makes; so replies that would overlap go out one
// after the other, in bus order, and the tool still gets more than the one
// frame it asked for. Replies written at once take no line time to overlap in.
void keepApart(std::vector<ScheduledReply>& replies) {
    for (std::size_t k = 1; k < replies.size(); ++k) {
        ScheduledReply& reply = replies[k];
        if (reply.timing.charUs == 0)
            continue;
        for (bool moved = true; moved;) {
            moved = false;
            for (std::size_t j = 0; j < k; ++j) {
                const ScheduledReply& earlier = replies[j];
                // Each character holds the line for the time before it is due.
                const bool overlap =
                    reply.timing.firstUs - reply.timing.charUs < earlier.lastUs() &&
                    earlier.timing.firstUs - earlier.timing.charUs < reply.lastUs();
                if (overlap) {
                    reply.timing.firstUs = earlier.lastUs() + reply.timing.charUs;
                    moved = true;
                }
            }
        }
    }
}

} // namespace

Bus::Bus(std::vector<Transmitter> transmitters)
    : m_transmitters(std::move(transmitters)) {}

std::vector<std::size_t> Bus::at(const QByteArray& address) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < m_transmitters.size(); ++i) {
        if (m_transmitters[i].address() == address)
            found.push_back(i);
    }
    return found;
}

Hearing Bus::hear(const QByteArray& frame, int baud, double seconds) {
    Hearing hearing;
    QString why;
    const std::optional<Request> request = parseRequest(frame, &why);
    if (!request) {
        hearing.note = QStringLiteral("ignored: ") + why;
        return hearing;
    }
    if (!Transmitter::isValidBaud(baud)) {
        hearing.note = QStringLiteral("no answer: no transmitter listens at %1 baud").arg(baud);
        return hearing;
    }

    const std::vector<std::size_t> addressed = at(request->address);
    if (addressed.empty()) {
        hearing.note =
            QStringLiteral("no answer: no transmitter at %1").arg(QLatin1String(request->address));
        return hearing;
    }

    QStringList notes;
    for (std::size_t index : addressed) {
        Transmitter& t = m_transmitters[index];
        const QString who = QLatin1String(t.address());
        if (t.baud() != baud) {
            notes << QStringLiteral("%1 listens at %2 baud").arg(who).arg(t.baud());
            continue;
        }
        Fault fault = t.faults().take(request->command);
        const bool drawn = fault.kind == FaultKind::None && m_random;
        if (drawn)
            fault = m_random->draw();
        const auto randomNote = [&] {
            return QStringLiteral("%1 random fault %2").arg(who, faultName(fault));
        };
        if (fault.kind == FaultKind::Silent) {
            notes << (drawn ? randomNote() : QStringLiteral("%1 is silent (fault)").arg(who));
            continue;
        }
        // The echo is the address the request reached, also when the command
        // changes it.
        const QByteArray echo = t.address();
        const std::optional<Transmitter::Answer> answer = t.handle(request->command, seconds);
        if (!answer) {
            notes << QStringLiteral("%1 does not answer this command").arg(who);
            continue;
        }
        if (drawn && fault.kind != FaultKind::None)
            notes << randomNote();
        const ShapedReply shaped = shapeReply(echo + answer->data, fault);
        const ReplyTiming timing =
            replyTiming(fault, m_lineTiming, baud, frame.size(), t.turnaroundMs());
        hearing.replies.push_back({index, shaped.bytes, timing, answer->baudAfterReply, shaped.note,
                                   shaped.split, shaped.trailing});
    }
    keepApart(hearing.replies);
    if (hearing.replies.empty())
        hearing.note = QStringLiteral("no answer: ") + notes.join(QStringLiteral("; "));
    else
        hearing.note = notes.join(QStringLiteral("; "));
    return hearing;
}

} // namespace sim
