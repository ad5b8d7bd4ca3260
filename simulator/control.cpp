#include "simulator/control.h"

#include "simulator/bus_file.h"
#include "simulator/simulator.h"

#include <QJsonDocument>
#include <QSocketNotifier>
#include <QStringList>

#include <cctype>
#include <cerrno>
#include <unistd.h>

namespace sim {

namespace {

constexpr int kMaxFlood = 1 << 20;

QString failure(const QString& text) {
    return QStringLiteral("error: ") + text;
}

// Junk as a broken line delivers it: every byte value but CR, which would end
// the tool's wait.
QByteArray junk(int count) {
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        char c = char((i * 151 + 7) & 0xFF);
        bytes[i] = c == '\r' ? char(0x0E) : c;
    }
    return bytes;
}

} // namespace

std::optional<RandomFaults> parseRandomFaults(const QString& rate, const QString& series) {
    bool rateOk = false;
    bool seriesOk = false;
    const double r = rate.toDouble(&rateOk);
    const qulonglong s = series.toULongLong(&seriesOk);
    if (!rateOk || !seriesOk || !(r >= 0.0 && r <= 1.0))
        return std::nullopt;
    return RandomFaults(r, s);
}

std::optional<int> parseTurnaroundMs(const QString& text) {
    bool ok = false;
    const int ms = text.toInt(&ok);
    if (!ok || ms < 0 || ms > Transmitter::kMaxTurnaroundMs)
        return std::nullopt;
    return ms;
}

std::optional<QByteArray> unescape(const QString& text, QString* error) {
    const QByteArray in = text.toLatin1();
    if (QString::fromLatin1(in) != text) {
        *error = QStringLiteral("only Latin-1 characters; write others as \\xHH");
        return std::nullopt;
    }
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i == in.size()) {
            *error = QStringLiteral("a lone backslash at the end");
            return std::nullopt;
        }
        switch (in[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            const QByteArray digits = in.mid(i + 1, 2);
            if (digits.size() != 2 || !std::isxdigit(uchar(digits[0])) ||
                !std::isxdigit(uchar(digits[1]))) {
                *error = QStringLiteral("\\x needs two hexadecimal digits");
                return std::nullopt;
            }
            out += char(digits.toInt(nullptr, 16));
            i += 2;
            break;
        }
        default:
            *error = QStringLiteral("unknown escape \\%1").arg(QLatin1Char(in[i]));
            return std::nullopt;
        }
    }
    return out;
}

Control::Control(Simulator& simulator, QObject* parent)
    : QObject(parent)
    , m_simulator(simulator) {}

QString Control::execute(const QString& line) {
    const QString trimmed = line.trimmed();
    const QStringList words = trimmed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return failure(QStringLiteral("empty command"));
    const QString& command = words[0];
    Bus& bus = m_simulator.bus();
    QString problem;

    // The transmitters a command names by address, with an error when there
    // are none.
    auto addressed = [&](const QString& address) {
        const std::vector<std::size_t> found = bus.at(address.toLatin1());
        if (found.empty())
            problem = QStringLiteral("no transmitter at %1").arg(address);
        return found;
    };

    if (command == QLatin1String("fault")) {
        if (words.size() != 4)
            return failure(QStringLiteral("usage: fault ADDR CMD KIND"));
        const std::optional<Fault> fault = faultFromName(words[3]);
        if (!fault)
            return failure(
                QStringLiteral("unknown fault %1; one of: %2").arg(words[3], faultKindNames()));
        const std::vector<std::size_t> found = addressed(words[1]);
        for (std::size_t i : found)
            bus.transmitters()[i].faults().set(words[2].toLatin1(), *fault);
        return found.empty() ? failure(problem) : QStringLiteral("ok");
    }

    if (command == QLatin1String("turnaround")) {
        const std::optional<int> ms =
            words.size() == 3 ? parseTurnaroundMs(words[2]) : std::nullopt;
        if (!ms)
            return failure(QStringLiteral("usage: turnaround ADDR MS, MS from 0 to %1")
                               .arg(Transmitter::kMaxTurnaroundMs));
        const std::vector<std::size_t> found = addressed(words[1]);
        // From the next request on; replies already on their way keep theirs.
        for (std::size_t i : found)
            bus.transmitters()[i].setTurnaroundMs(*ms);
        return found.empty() ? failure(problem) : QStringLiteral("ok");
    }

    if (command == QLatin1String("clear-faults")) {
        if (words.size() > 2)
            return failure(QStringLiteral("usage: clear-faults [ADDR]"));
        std::vector<std::size_t> found;
        if (words.size() == 2) {
            found = addressed(words[1]);
            if (found.empty())
                return failure(problem);
        } else {
            for (std::size_t i = 0; i < bus.transmitters().size(); ++i)
                found.push_back(i);
        }
        for (std::size_t i : found)
            bus.transmitters()[i].faults().clear();
        return QStringLiteral("ok");
    }

    if (command == QLatin1String("random-faults")) {
        if (words.size() == 2 && words[1] == QLatin1String("off")) {
            bus.setRandomFaults(std::nullopt);
            return QStringLiteral("ok");
        }
        const std::optional<RandomFaults> faults =
            words.size() == 3 ? parseRandomFaults(words[1], words[2]) : std::nullopt;
        if (!faults)
            return failure(QStringLiteral("usage: random-faults RATE SERIES, RATE from 0 to 1; or "
                                          "random-faults off"));
        bus.setRandomFaults(faults);
        return QStringLiteral("ok");
    }

    if (command == QLatin1String("unplug") || command == QLatin1String("replug")) {
        if (words.size() != 1)
            return failure(QStringLiteral("%1 takes nothing more").arg(command));
        const bool ok = command == QLatin1String("unplug") ? m_simulator.unplug(&problem)
                                                           : m_simulator.replug(&problem);
        return ok ? QStringLiteral("ok") : failure(problem);
    }

    if (command == QLatin1String("send")) {
        if (words.size() < 2)
            return failure(QStringLiteral("usage: send TEXT"));
        // Everything after "send " is the text, inner blanks included; blanks
        // at the end are lost to the trimming and are written as \x20.
        const std::optional<QByteArray> bytes = unescape(trimmed.mid(5), &problem);
        if (!bytes)
            return failure(problem);
        return m_simulator.send(*bytes, QStringLiteral("control send"), &problem)
                   ? QStringLiteral("ok")
                   : failure(problem);
    }

    if (command == QLatin1String("flood")) {
        bool ok = false;
        const int count = words.size() == 2 ? words[1].toInt(&ok) : 0;
        if (!ok || count < 1 || count > kMaxFlood)
            return failure(QStringLiteral("usage: flood N, N from 1 to %1").arg(kMaxFlood));
        return m_simulator.send(junk(count), QStringLiteral("control flood"), &problem)
                   ? QStringLiteral("ok")
                   : failure(problem);
    }

    if (command == QLatin1String("state")) {
        if (words.size() != 2 && words.size() != 3)
            return failure(QStringLiteral("usage: state ADDR [BAUD]"));
        std::vector<std::size_t> found = addressed(words[1]);
        if (words.size() == 3) {
            std::erase_if(found, [&](std::size_t i) {
                return QString::number(bus.transmitters()[i].baud()) != words[2];
            });
            if (found.empty())
                problem =
                    QStringLiteral("no transmitter at %1 with %2 baud").arg(words[1], words[2]);
        }
        if (found.empty())
            return failure(problem);
        if (found.size() > 1)
            return failure(QStringLiteral("%1 transmitters at %2; name the baud rate too")
                               .arg(found.size())
                               .arg(words[1]));
        Transmitter& t = bus.transmitters()[found[0]];
        QJsonObject state = transmitterToJson(t);
        const double now = m_simulator.seconds();
        state.insert(QStringLiteral("pressureReading"),
                     QString::fromLatin1(t.pressureReading(now)));
        state.insert(QStringLiteral("temperatureReading"),
                     QString::fromLatin1(t.temperatureReading(now)));
        state.insert(QStringLiteral("zeroOffset"), t.settings().zeroOffset);
        state.insert(QStringLiteral("userArea"), settingsToJson(t.userArea()));
        state.insert(QStringLiteral("factoryArea"), settingsToJson(t.factoryArea()));
        return QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact));
    }

    if (command == QLatin1String("quit")) {
        emit quitRequested();
        return QStringLiteral("ok");
    }

    return failure(QStringLiteral("unknown command %1; one of: fault, clear-faults, random-faults, "
                                  "turnaround, unplug, replug, send, flood, state, quit")
                       .arg(command));
}

void Control::listen(int fd, std::FILE* out) {
    m_fd = fd;
    m_out = out;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Control::readInput);
}

void Control::readInput() {
    char chunk[4096];
    const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        // End of input: stop listening, keep simulating.
        m_notifier->setEnabled(false);
        return;
    }
    m_input.append(chunk, n);
    qsizetype end;
    while ((end = m_input.indexOf('\n')) >= 0) {
        const QString line = QString::fromLatin1(m_input.left(end));
        m_input.remove(0, end + 1);
        if (line.trimmed().isEmpty())
            continue;
        const QString answer = execute(line);
        std::fputs(answer.toUtf8().constData(), m_out);
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
}

} // namespace sim
