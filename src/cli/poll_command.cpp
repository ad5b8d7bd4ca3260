// poll: the pressure and temperature of the transmitters of a bus, read on a
// fixed schedule and printed one row per transmitter and cycle, until a count
// is reached or Ctrl-C. Polling only ever reads. A lost adapter is reopened,
// once a second at most.

#include "cli/addressed_transmitter.h"
#include "cli/arguments.h"
#include "cli/exit_codes.h"
#include "cli/fixed_rate.h"
#include "cli/output.h"
#include "cli/poll_schedule.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"
#include "connection/setting_keys.h"
#include "link/reply_value.h"
#include "protocol/bus_search.h"
#include "protocol/units.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include <map>
#include <optional>

namespace {

constexpr int kReopenIntervalMs = 1000;
constexpr int kMostRetries = 10;

const QString kAddress = QStringLiteral("address");
const QString kInterval = QStringLiteral("interval");
const QString kCount = QStringLiteral("count");
const QString kRetries = QStringLiteral("retries");
const QString kCsv = QStringLiteral("csv");
const QString kUtc = QStringLiteral("utc");

// The mean, lowest and highest of the real readings of one quantity.
struct Statistics {
    int count = 0;
    double sum = 0;
    std::optional<double> low;
    std::optional<double> high;

    void note(double v) {
        ++count;
        sum += v;
        low = low ? qMin(*low, v) : v;
        high = high ? qMax(*high, v) : v;
    }
    QString text() const {
        return count == 0 ? QStringLiteral("no reading")
                          : QStringLiteral("mean %1, min %2, max %3")
                                .arg(sum / count, 0, 'g', 7)
                                .arg(*low, 0, 'g', 7)
                                .arg(*high, 0, 'g', 7);
    }
    QJsonValue json() const {
        if (count == 0)
            return QJsonValue();
        return QJsonObject{{QStringLiteral("mean"), sum / count},
                           {QStringLiteral("min"), *low},
                           {QStringLiteral("max"), *high}};
    }
};

// One transmitter of the poll: where it answers, its unit, what it gave.
struct Polled {
    QString address;
    int baudIndex = 0;
    QString unit; // empty when its "UT" read failed
    int cycles = 0;
    int readings = 0;
    std::map<QString, int> failures; // by what went wrong
    Statistics pressure;
    Statistics temperature;
};

// A reading, or what went wrong: a lost reading is never shown as 0.
struct Reading {
    std::optional<QString> value;
    QString failure;
};

Reading readingOf(const Exchanged& reply) {
    if (reply.kind != ReplyKind::Data)
        return {std::nullopt, replyProblem(reply.kind)};
    if (!isReading(reply.reply))
        return {std::nullopt, QStringLiteral("not a reading")};
    return {reply.value(), QString()};
}

// One read, sent again after a failure (after the line's wait) up to retries
// times. Reads only: a write is never repeated, since a write whose echo was
// lost may well have been stored.
Reading read(TransmitterConnection& transmitter, Command command, int retries) {
    Reading r = readingOf(transmitter.exchange(command));
    for (int i = 0; i < retries && !r.value && !stopRequested(); ++i)
        r = readingOf(transmitter.exchange(command));
    return r;
}

QString timeText(const QDateTime& t, bool utc) {
    const QDateTime shown = utc ? t.toUTC() : t.toOffsetFromUtc(t.offsetFromUtc());
    return shown.toString(Qt::ISODateWithMs);
}

enum class Format { Text, Csv, Json };

void printRow(Format format, const QString& time, const Polled& p, const Reading& pressure,
              const Reading& temperature) {
    switch (format) {
    case Format::Csv:
        printLine(QStringLiteral("%1,%2,%3,%4,%5")
                      .arg(time, p.address, p.unit, pressure.value.value_or(QString()),
                           temperature.value.value_or(QString())));
        break;
    case Format::Json:
        printJson(QJsonObject{{QStringLiteral("time"), time},
                              {QStringLiteral("address"), p.address},
                              {QStringLiteral("unit"),
                               p.unit.isEmpty() ? QJsonValue() : QJsonValue(p.unit)},
                              {QStringLiteral("pressure"),
                               pressure.value ? QJsonValue(*pressure.value) : QJsonValue()},
                              {QStringLiteral("temperature"),
                               temperature.value ? QJsonValue(*temperature.value) : QJsonValue()}},
                  true);
        break;
    case Format::Text: {
        const QString shownPressure =
            pressure.value ? (*pressure.value + (p.unit.isEmpty() ? QString() : ' ' + p.unit))
                           : QStringLiteral("(failed: %1)").arg(pressure.failure);
        printLine(QStringLiteral("%1  %2  %3  %4")
                      .arg(time, p.address, shownPressure,
                           temperature.value.value_or(
                               QStringLiteral("(failed: %1)").arg(temperature.failure))));
        break;
    }
    }
}

// Keeps a lost port trying to come back, without hammering the device.
class Reconnect {
public:
    Reconnect(Connection& connection, bool utc)
        : m_connection(connection)
        , m_utc(utc) {}

    void ensureOpen() {
        if (m_connection.port().isOpen())
            return;
        if (!m_lost) {
            m_lost = true;
            say(QStringLiteral("%1 lost; reopening it once a second"));
        }
        if (m_sinceAttempt.isValid() && m_sinceAttempt.elapsed() < kReopenIntervalMs)
            return;
        m_sinceAttempt.start();
        if (m_connection.reopen()) {
            m_lost = false;
            say(QStringLiteral("%1 reopened"));
        }
    }

private:
    void say(const QString& what) {
        printWarning(timeText(QDateTime::currentDateTime(), m_utc) + QLatin1Char(' ') +
                     what.arg(m_connection.device()));
    }

    Connection& m_connection;
    bool m_utc;
    QElapsedTimer m_sinceAttempt;
    bool m_lost = false;
};

struct PollOptions {
    QList<QString> addresses;
    int baudIndex = -1; // -1: found with "AD" probes
    int interval = 500;
    int count = 0;
    int retries = 0;
    bool utc = false;
    Format format = Format::Text;
};

// Finds each transmitter's rate and reads its unit, once; nothing after a
// message for every one that answers at no rate.
std::optional<QList<Polled>> findTransmitters(Connection& connection, const PollOptions& options) {
    QList<Polled> polled;
    bool all = true;
    for (const QString& address : options.addresses) {
        if (stopRequested())
            return std::nullopt;
        TransmitterConnection transmitter(connection.line(), address);
        const int baudIndex = reachRate(transmitter, options.baudIndex, connection.device());
        if (baudIndex < 0) {
            all = false;
            continue;
        }
        const Exchanged unit = transmitter.exchange(Command::Unit);
        const std::optional<int> code =
            unit.kind == ReplyKind::Data ? codeValue(unit.value(), kHighestUnitCode) : std::nullopt;
        if (!code)
            printNote(
                QStringLiteral("%1 UT: %2; its rows carry no unit")
                    .arg(address, unit.kind == ReplyKind::Data
                                      ? QStringLiteral("\"%1\" is no unit code").arg(unit.value())
                                      : replyProblem(unit.kind)));
        Polled p;
        p.address = address;
        p.baudIndex = baudIndex;
        p.unit = code ? unitNames().value(*code) : QString();
        polled.append(p);
    }
    if (!all)
        return std::nullopt;
    return polled;
}

void printSummary(const QList<Polled>& polled, long long missed, Format format) {
    if (format == Format::Json) {
        QJsonArray list;
        for (const Polled& p : polled) {
            QJsonObject failures;
            for (const auto& [kind, n] : p.failures)
                failures.insert(kind, n);
            list.append(QJsonObject{{QStringLiteral("address"), p.address},
                                    {QStringLiteral("cycles"), p.cycles},
                                    {QStringLiteral("readings"), p.readings},
                                    {QStringLiteral("failures"), failures},
                                    {QStringLiteral("missedSlots"), missed},
                                    {QStringLiteral("pressure"), p.pressure.json()},
                                    {QStringLiteral("temperature"), p.temperature.json()}});
        }
        printNoteJson(QJsonObject{{QStringLiteral("summary"), list}});
        return;
    }
    for (const Polled& p : polled) {
        QStringList failures;
        for (const auto& [kind, n] : p.failures)
            failures.append(QStringLiteral("%1 %2").arg(n).arg(kind));
        const QString line =
            QStringLiteral("%1: %2 cycles, %3 readings, failures: %4; %5 missed slots; "
                           "pressure %6; temperature %7")
                .arg(p.address)
                .arg(p.cycles)
                .arg(p.readings)
                .arg(failures.isEmpty() ? QStringLiteral("none")
                                        : failures.join(QStringLiteral(", ")))
                .arg(missed)
                .arg(p.pressure.text(), p.temperature.text());
        // Machine-readable output stays one kind of line; the summary goes
        // beside it.
        if (format == Format::Text)
            printLine(line);
        else
            printNote(line);
    }
}

// Polls until count cycles are done (0: no end) or Ctrl-C.
int pollBus(Connection& connection, QList<Polled>& polled, const PollOptions& options) {
    if (options.format == Format::Csv)
        printLine(QStringLiteral("time,address,unit,pressure,temperature"));
    Reconnect reconnect(connection, options.utc);
    QElapsedTimer sinceStart;
    sinceStart.start();
    long long slot = 0;
    long long missed = 0;
    int cycles = 0;
    bool allRead = true;
    while (!stopRequested() && (options.count == 0 || cycles < options.count)) {
        sleepUnlessStopped(int(qMax(0LL, slot * options.interval - sinceStart.elapsed())));
        if (stopRequested())
            break;
        reconnect.ensureOpen();
        for (Polled& p : polled) {
            if (stopRequested())
                break;
            TransmitterConnection transmitter(connection.line(), p.address);
            transmitter.setBaudIndex(p.baudIndex);
            const QString time = timeText(QDateTime::currentDateTime(), options.utc);
            const Reading pressure = read(transmitter, Command::Pressure, options.retries);
            const Reading temperature = read(transmitter, Command::Temperature, options.retries);
            ++p.cycles;
            for (const Reading* r : {&pressure, &temperature}) {
                if (r->value)
                    ++p.readings;
                else
                    ++p.failures[r->failure];
            }
            if (pressure.value)
                p.pressure.note(numericValue(*pressure.value));
            if (temperature.value)
                p.temperature.note(numericValue(*temperature.value));
            allRead = allRead && pressure.value && temperature.value;
            printRow(options.format, time, p, pressure, temperature);
        }
        ++cycles;
        const NextSlot next = nextSlot(slot, sinceStart.elapsed(), options.interval);
        // The last cycle has no next slot to miss.
        if (options.count == 0 || cycles < options.count)
            missed += next.missed;
        slot = next.slot;
    }
    printSummary(polled, missed, options.format);
    return allRead ? kExitOk : kExitFailed;
}

std::optional<PollOptions> pollOptions(const CommandContext& context) {
    const QCommandLineParser& p = context.parser;
    PollOptions options;
    bool ok = true;
    const auto fail = [&ok](const QString& message) {
        printError(message);
        ok = false;
    };
    for (const QString& text : context.arguments) {
        if (const std::optional<QString> a = parseBusAddress(text))
            options.addresses.append(*a);
        else
            fail(QStringLiteral("\"%1\" is no bus address (1 to 99)").arg(text));
    }
    if (p.isSet(kAddress)) {
        if (const std::optional<QList<int>> list = parseAddressList(p.value(kAddress)))
            for (const int n : *list)
                options.addresses.append(busAddress(n));
        else
            fail(QStringLiteral("--address \"%1\": give addresses and ranges from 1 to 99, e.g. "
                                "1,7,12-14")
                     .arg(p.value(kAddress)));
    }
    QList<QString> once;
    for (const QString& a : options.addresses)
        if (!once.contains(a))
            once.append(a);
    options.addresses = once;
    if (ok && options.addresses.isEmpty())
        fail(QStringLiteral("poll needs an address: ADDR... or --address LIST"));
    if (const std::optional<int> rate = rateOption(context))
        options.baudIndex = *rate;
    else
        ok = false;
    const std::optional<int> interval = parseWholeNumber(p.value(kInterval), 0, 86'400'000);
    const std::optional<int> count = parseWholeNumber(p.value(kCount), 0, 1'000'000'000);
    const std::optional<int> retries = parseWholeNumber(p.value(kRetries), 0, kMostRetries);
    if (!interval)
        fail(QStringLiteral("--interval: give milliseconds, 0 or more"));
    if (!count)
        fail(QStringLiteral("--count: give a number of cycles, 0 for no end"));
    if (!retries)
        fail(QStringLiteral("--retries: give 0 to %1").arg(kMostRetries));
    if (context.options.json && p.isSet(kCsv))
        fail(QStringLiteral("--csv and --json: give one of them"));
    if (!ok)
        return std::nullopt;
    options.interval = *interval;
    options.count = *count;
    options.retries = *retries;
    options.utc = p.isSet(kUtc);
    options.format = context.options.json ? Format::Json
                     : p.isSet(kCsv)      ? Format::Csv
                                          : Format::Text;
    return options;
}

int runPoll(CommandContext& context) {
    const std::optional<PollOptions> options = pollOptions(context);
    if (!options)
        return kExitUsage;
    const std::unique_ptr<Connection> connection = Connection::open(
        context.options, [&](int fixedBaud) { return rateAllowed(fixedBaud, options->baudIndex); });
    if (!connection)
        return kExitUsage;
    std::optional<QList<Polled>> polled = findTransmitters(*connection, *options);
    if (!polled)
        return kExitFailed;
    return pollBus(*connection, *polled, *options);
}

void addPollOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    parser.addOption({{QStringLiteral("a"), kAddress},
                      QStringLiteral("The transmitters to poll, e.g. 1,7,12-14, besides those "
                                     "given as arguments."),
                      QStringLiteral("list")});
    parser.addOption({{QStringLiteral("i"), kInterval},
                      QStringLiteral("Milliseconds from the start of one cycle to the next: "
                                     "cycle n starts at n times this after the first. "
                                     "Default: 500."),
                      QStringLiteral("ms"),
                      QStringLiteral("500")});
    parser.addOption({{QStringLiteral("c"), kCount},
                      QStringLiteral("Cycles to run; 0 runs until Ctrl-C. Default: 0."),
                      QStringLiteral("n"),
                      QStringLiteral("0")});
    parser.addOption({kRetries,
                      QStringLiteral("Send a failed read again, after the line's wait after a "
                                     "failure, up to this many times within its cycle (0 to 10). "
                                     "Default: 0."),
                      QStringLiteral("n"), QStringLiteral("0")});
    parser.addOption({kCsv, QStringLiteral("One CSV row per transmitter and cycle "
                                           "(time,address,unit,pressure,temperature) after a "
                                           "heading line; a failed read is an empty field.")});
    parser.addOption({kUtc, QStringLiteral("Times in UTC; by default local time with its "
                                           "offset.")});
}

} // namespace

CliCommand pollCommand() {
    return {QStringLiteral("poll"),
            QStringLiteral("[ADDR...]"),
            QStringLiteral("Log the pressure and temperature of transmitters of the bus"),
            QStringLiteral(
                "Finds each transmitter's rate (\"AD\" probes, unless --baud gives it) and reads "
                "its unit (\"UT\") once at the start; then reads the pressure (\"RP0\") and the "
                "temperature (\"RT0\") of each, at its own rate, once a cycle, and prints one "
                "row per transmitter: time (ISO 8601, local with its offset or --utc), "
                "address, pressure with its unit, temperature as sent. Cycles keep a fixed "
                "schedule: cycle n starts at the start plus n intervals; a cycle that overruns "
                "is followed by the next slot still ahead, and the slots passed over are "
                "counted, never caught up in a burst. A failed read is empty in CSV and null "
                "in JSON, never 0; --retries sends a failed read again within its cycle. "
                "Only reads are ever repeated: a write whose echo was lost may have been "
                "stored, and sending it again could change the transmitter twice. At the end "
                "a summary per transmitter gives the cycles, readings, failures by kind, "
                "missed slots, and the mean, lowest and highest readings (on stderr with --csv "
                "or --json). When the adapter is pulled out, the port is reopened once a "
                "second until it is back; stderr says so, with the time."),
            0,
            -1,
            addPollOptions,
            runPoll};
}
