#include "simulator/faults.h"

#include "link/exchange.h"
#include "link/frame.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace sim {

namespace {

struct KindName {
    FaultKind kind;
    const char* name;
};

constexpr std::array<KindName, 10> kKindNames{{
    {FaultKind::None, "none"},
    {FaultKind::Silent, "silent"},
    {FaultKind::BadChecksum, "bad-checksum"},
    {FaultKind::LowerCaseChecksum, "lower-case-checksum"},
    {FaultKind::Noise, "noise"},
    {FaultKind::Trailing, "trailing"},
    {FaultKind::EmptyData, "empty-data"},
    {FaultKind::Late, "late"},
    {FaultKind::Split, "split"},
    {FaultKind::EverySecond, "every-second"},
}};

// Junk as a line picks it up: a break, a stray high byte and a character that
// is no start character. No CR, so the tool still waits for the reply's own.
const QByteArray kNoise = QByteArrayLiteral("\x00\xA5#");
const QByteArray kTrailing = QByteArrayLiteral("#!");

} // namespace

std::optional<FaultKind> faultKindFromName(const QString& name) {
    for (const KindName& k : kKindNames) {
        if (name == QLatin1String(k.name))
            return k.kind;
    }
    return std::nullopt;
}

QString faultKindName(FaultKind kind) {
    for (const KindName& k : kKindNames) {
        if (k.kind == kind)
            return QLatin1String(k.name);
    }
    return QString();
}

std::optional<Fault> faultFromName(const QString& name) {
    const QString late = QStringLiteral("late:");
    if (!name.startsWith(late))
        return faultKindFromName(name);
    // Digits only, as toInt alone would take a sign or blanks; five at most,
    // so the number cannot overflow.
    const QString digits = name.mid(late.size());
    if (digits.isEmpty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const int ms = digits.toInt();
    if (ms > kMaxLateMs)
        return std::nullopt;
    return Fault(FaultKind::Late, ms);
}

QString faultName(const Fault& fault) {
    QString name = faultKindName(fault.kind);
    if (fault.kind == FaultKind::Late && fault.lateMs)
        name += QStringLiteral(":%1").arg(*fault.lateMs);
    return name;
}

QString faultKindNames() {
    QStringList names;
    for (const KindName& k : kKindNames) {
        names << QLatin1String(k.name);
        if (k.kind == FaultKind::Late)
            names << QStringLiteral("late:MS (MS from 0 to %1)").arg(kMaxLateMs);
    }
    return names.join(QStringLiteral(", "));
}

int toolTimeoutMs(int baud) {
    return replyTimeoutMsOfBaud(baud);
}

int lateReplyDelayMs(int baud) {
    // 40 ms past the time-out is far enough to survive a busy machine's
    // scheduling, and short of the tool's next exchange at every rate.
    return toolTimeoutMs(baud) + 40;
}

void FaultTable::set(const QByteArray& command, const Fault& fault) {
    if (fault.kind == FaultKind::None)
        m_faults.erase(command);
    else
        m_faults[command] = fault;
}

Fault FaultTable::forCommand(const QByteArray& command) const {
    Fault found;
    qsizetype foundLength = -1;
    for (const auto& [key, fault] : m_faults) {
        if (key == "*") {
            if (foundLength < 0) {
                found = fault;
                foundLength = 0;
            }
        } else if (command.startsWith(key) && key.size() > foundLength) {
            found = fault;
            foundLength = key.size();
        }
    }
    return found;
}

Fault FaultTable::take(const QByteArray& command) {
    const Fault fault = forCommand(command);
    if (fault.kind != FaultKind::EverySecond)
        return fault;
    return ++m_heard[command] % 2 == 0 ? Fault(FaultKind::Silent) : Fault();
}

ShapedReply shapeReply(const QByteArray& body, const Fault& fault) {
    const QByteArray sum = frame::checksum(body);
    switch (fault.kind) {
    case FaultKind::None:
        return {frame::reply(body), false, false, {}};
    case FaultKind::Silent:
        return {{}, false, false, QStringLiteral("fault silent")};
    case FaultKind::BadChecksum: {
        // The checksum of the body with one more bit flipped: two upper-case
        // hexadecimal digits like a real one, and never the right value.
        const QByteArray wrong = frame::checksum(body + '\x01');
        return {'*' + body + wrong + frame::kCR, false, false,
                QStringLiteral("fault bad-checksum")};
    }
    case FaultKind::LowerCaseChecksum: {
        const QByteArray lower = sum.toLower();
        // A checksum of digits only reads the same in either case; the frame
        // then stays valid, and the trace says so rather than pretend.
        const QString note = lower == sum
                                 ? QStringLiteral("fault lower-case-checksum: no effect, checksum "
                                                  "%1 has no letters")
                                       .arg(QLatin1String(sum))
                                 : QStringLiteral("fault lower-case-checksum");
        return {'*' + body + lower + frame::kCR, false, false, note};
    }
    case FaultKind::Noise:
        return {kNoise + frame::reply(body), false, false, QStringLiteral("fault noise")};
    case FaultKind::Trailing:
        return {frame::reply(body) + kTrailing, false, false, QStringLiteral("fault trailing"),
                kTrailing.size()};
    case FaultKind::EmptyData:
        return {frame::reply(body.left(2)), false, false, QStringLiteral("fault empty-data")};
    case FaultKind::Late:
        return {frame::reply(body), true, false, QStringLiteral("fault ") + faultName(fault)};
    case FaultKind::Split:
        return {frame::reply(body), false, true, QStringLiteral("fault split")};
    case FaultKind::EverySecond:
        // Taken apart by FaultTable::take before a reply is shaped.
        break;
    }
    return {frame::reply(body), false, false, {}};
}

} // namespace sim
