// poll: the pressure and temperature of the transmitters of a bus, read on a
// fixed schedule and printed one row per transmitter and cycle, until a count
// is reached or Ctrl-C. Polling only ever reads. A lost adapter is reopened,
// once a second at most.

#include "cli/addressed_transmitter.h"
#include "cli/arguments.h"
#include "cli/exit_codes.h"
#include "cli/fixed_rate.h"
#include "cli/output.h"
#include "cli/reply_words.h"
#include "cli/stop_request.h"
#include "connection/bus_poller.h"
#include "protocol/bus_search.h"
#include "protocol/units.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <map>
#include <optional>

namespace {

constexpr int kMostRetries = 10;

const QString kAddress = QStringLiteral("address");
const QString kInterval = QStringLiteral("interval");
const QString kCount = QStringLiteral("count");
const QString kRetries = QStringLiteral("retries");
const QString kCsv = QStringLiteral("csv");
const QString kUtc = QStringLiteral("utc");

enum class Format { Text, Csv, Json };

struct PollOptions {
    BusPoller::Options poller;
    bool utc = false;
    Format format = Format::Text;
};

QString statisticsText(const ValueStatistics& s) {
    return s.count == 0 ? QStringLiteral("no reading")
                        : QStringLiteral("mean %1, min %2, max %3")
                              .arg(s.mean(), 0, 'g', 7)
                              .arg(s.low, 0, 'g', 7)
                              .arg(s.high, 0, 'g', 7);
}

QJsonValue statisticsJson(const ValueStatistics& s) {
    if (s.count == 0)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("mean"), s.mean()},
                       {QStringLiteral("min"), s.low},
                       {QStringLiteral("max"), s.high}};
}

// The failures by kind, in the order of their names.
std::map<QString, int> failuresByName(const PolledTransmitter& p) {
    std::map<QString, int> named;
    for (const auto& [outcome, n] : p.failures)
        named[polledProblem(outcome)] += n;
    return named;
}

QString unitName(const PolledTransmitter& p) {
    return p.unitCode ? unitNames().value(*p.unitCode) : QString();
}

QString timeText(const QDateTime& t, bool utc) {
    const QDateTime shown = utc ? t.toUTC() : t.toOffsetFromUtc(t.offsetFromUtc());
    return shown.toString(Qt::ISODateWithMs);
}

// What a read's state is called in CSV and JSON rows.
QString stateName(const PolledValue& v) {
    if (v.ok())
        return QStringLiteral("ok");
    return v.outcome == PolledValue::Outcome::OtherAddress ? QStringLiteral("other address")
                                                           : polledProblem(v.outcome);
}

// The widest pressure a text row lines up for: a value with its unit, or the
// usual failures.
constexpr int kPressureColumn = 24;

// The rows, as the poller hands them over, and what it says on the way.
class PollRows final : public BusPoller::Observer {
public:
    PollRows(const PollOptions& options, const QString& device, int fixedBaud)
        : m_options(options)
        , m_device(device)
        , m_fixedBaud(fixedBaud) {}

    // Whether every row had both its readings and its unit, and every
    // transmitter answered from the start.
    bool allRead() const {
        return m_failedReads == 0 && m_rowsWithoutUnit == 0 && m_notReached.isEmpty();
    }
    // What kept the run from being whole, in one line.
    QString failure() const {
        QStringList parts;
        if (m_failedReads > 0)
            parts.append(QStringLiteral("%1 reads failed").arg(m_failedReads));
        if (m_rowsWithoutUnit > 0)
            parts.append(QStringLiteral("%1 rows without their unit").arg(m_rowsWithoutUnit));
        if (!m_missing.isEmpty())
            parts.append(QStringLiteral("missing at the start: %1")
                             .arg(m_missing.join(QStringLiteral(", "))));
        return parts.join(QStringLiteral("; "));
    }

    // The ones that did not answer at the start, as errors when none did.
    void noneReached() const {
        for (const QString& why : m_notReached)
            printError(why);
    }

    void notReached(const QString& address) override {
        m_notReached.append(
            notReachedText(address, m_options.poller.baudIndex, m_device, m_fixedBaud));
        m_missing.append(address);
    }
    void unitNotRead(const QString& address, const Exchanged& unit) override {
        printNote(unit.kind == ReplyKind::Data
                      ? QStringLiteral("%1 UT: \"%2\" is no unit code; its rows carry no unit")
                            .arg(address, unit.value())
                      : QStringLiteral("%1 UT: %2; its rows carry no unit until it answers")
                            .arg(address, replyProblem(unit.kind)));
    }
    void unitRead(const PolledTransmitter& p) override {
        printNote(QStringLiteral("%1 UT: %2; its rows carry it from now on")
                      .arg(p.place.address, unitName(p)));
    }
    void joined(const PolledTransmitter& p) override {
        say(QStringLiteral("%1 answers at %2 baud; polled from now on")
                .arg(p.place.address)
                .arg(kBaudRates[p.place.baudIndex]));
    }
    void pollingStarts() override {
        for (const QString& why : m_notReached)
            printWarning(why + QStringLiteral("; it is probed again after each cycle's reads"));
        if (m_options.format == Format::Csv)
            printLine(QStringLiteral(
                "time,address,unit,pressure,temperature,pressureState,temperatureState"));
    }
    void polled(const PollResult& r) override {
        m_failedReads += int(!r.pressure.ok()) + int(!r.temperature.ok());
        m_rowsWithoutUnit += int(!r.transmitter.unitCode.has_value());
        printRow(r);
    }
    void portLost() override {
        say(QStringLiteral("%1 lost; reopening it once a second").arg(m_device));
    }
    void portReopened() override { say(QStringLiteral("%1 reopened").arg(m_device)); }

private:
    void say(const QString& what) {
        printWarning(timeText(QDateTime::currentDateTime(), m_options.utc) + QLatin1Char(' ') +
                     what);
    }

    void printRow(const PollResult& r) const {
        const QString time = timeText(r.time, m_options.utc);
        const QString& address = r.transmitter.place.address;
        const QString unit = unitName(r.transmitter);
        const auto valueOrEmpty = [](const PolledValue& v) { return v.ok() ? v.text : QString(); };
        const auto text = [](const PolledValue& v) {
            return v.ok() ? QJsonValue(v.text) : QJsonValue();
        };
        const auto number = [](const PolledValue& v) {
            return v.ok() ? QJsonValue(v.number) : QJsonValue();
        };
        switch (m_options.format) {
        case Format::Csv:
            printLine(QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
                          .arg(time, address, unit, valueOrEmpty(r.pressure),
                               valueOrEmpty(r.temperature), stateName(r.pressure),
                               stateName(r.temperature)));
            break;
        case Format::Json:
            printJson(QJsonObject{{QStringLiteral("time"), time},
                                  {QStringLiteral("address"), address},
                                  {QStringLiteral("unit"),
                                   unit.isEmpty() ? QJsonValue() : QJsonValue(unit)},
                                  {QStringLiteral("pressure"), text(r.pressure)},
                                  {QStringLiteral("pressureValue"), number(r.pressure)},
                                  {QStringLiteral("pressureState"), stateName(r.pressure)},
                                  {QStringLiteral("temperature"), text(r.temperature)},
                                  {QStringLiteral("temperatureValue"), number(r.temperature)},
                                  {QStringLiteral("temperatureState"), stateName(r.temperature)}},
                      true);
            break;
        case Format::Text: {
            const auto failed = [](const PolledValue& v) {
                return QStringLiteral("(failed: %1)").arg(polledProblem(v.outcome));
            };
            const QString shownPressure =
                r.pressure.ok() ? r.pressure.text + (unit.isEmpty() ? QString() : ' ' + unit)
                                : failed(r.pressure);
            printLine(QStringLiteral("%1  %2  %3  %4")
                          .arg(time, address, shownPressure.leftJustified(kPressureColumn),
                               r.temperature.ok() ? r.temperature.text : failed(r.temperature)));
            break;
        }
        }
    }

    const PollOptions& m_options;
    QString m_device;
    int m_fixedBaud;
    QStringList m_notReached;
    QStringList m_missing;
    long long m_failedReads = 0;
    long long m_rowsWithoutUnit = 0;
};

void printSummary(const QList<PolledTransmitter>& polled, long long missed, Format format) {
    if (format == Format::Json) {
        QJsonArray list;
        for (const PolledTransmitter& p : polled) {
            QJsonObject failures;
            for (const auto& [kind, n] : failuresByName(p))
                failures.insert(kind, n);
            list.append(
                QJsonObject{{QStringLiteral("address"), p.place.address},
                            {QStringLiteral("cycles"), p.cycles},
                            {QStringLiteral("readings"), p.readings},
                            {QStringLiteral("failures"), failures},
                            {QStringLiteral("retries"), p.retries},
                            {QStringLiteral("missingCycles"), p.missingCycles},
                            {QStringLiteral("missedSlots"), missed},
                            {QStringLiteral("pressure"), statisticsJson(p.pressure)},
                            {QStringLiteral("temperature"), statisticsJson(p.temperature)}});
        }
        printNoteJson(QJsonObject{{QStringLiteral("summary"), list}});
        return;
    }
    for (const PolledTransmitter& p : polled) {
        QStringList failures;
        for (const auto& [kind, n] : failuresByName(p))
            failures.append(QStringLiteral("%1 %2").arg(n).arg(kind));
        const QString line =
            QStringLiteral("%1: %2 cycles, %3 readings, failures: %4; %5 missed slots; "
                           "%6 retries; %7pressure %8; temperature %9")
                .arg(p.place.address)
                .arg(p.cycles)
                .arg(p.readings)
                .arg(failures.isEmpty() ? QStringLiteral("none")
                                        : failures.join(QStringLiteral(", ")))
                .arg(missed)
                .arg(p.retries)
                .arg(p.missingCycles == 0
                         ? QString()
                         : QStringLiteral("missing for %1 cycles; ").arg(p.missingCycles))
                .arg(statisticsText(p.pressure), statisticsText(p.temperature));
        // Machine-readable output stays one kind of line; the summary goes
        // beside it.
        if (format == Format::Text)
            printLine(line);
        else
            printNote(line);
    }
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
            options.poller.addresses.append(*a);
        else
            fail(QStringLiteral("\"%1\" is no bus address (1 to 99)").arg(text));
    }
    if (p.isSet(kAddress)) {
        if (const std::optional<QList<int>> list = parseAddressList(p.value(kAddress)))
            for (const int n : *list)
                options.poller.addresses.append(busAddress(n));
        else
            fail(QStringLiteral("--address \"%1\": give addresses and ranges from 1 to 99, e.g. "
                                "1,7,12-14")
                     .arg(p.value(kAddress)));
    }
    QList<QString> once;
    for (const QString& a : options.poller.addresses)
        if (!once.contains(a))
            once.append(a);
    options.poller.addresses = once;
    if (ok && options.poller.addresses.isEmpty())
        fail(QStringLiteral("poll needs an address: ADDR... or --address LIST"));
    if (const std::optional<int> rate = rateOption(context))
        options.poller.baudIndex = *rate;
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
    options.poller.intervalMs = *interval;
    options.poller.count = *count;
    options.poller.retries = *retries;
    options.poller.stopRequested = stopRequested;
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
    const std::unique_ptr<Connection> connection =
        Connection::open(context.options, [&](int fixedBaud) {
            return rateAllowed(fixedBaud, options->poller.baudIndex);
        });
    if (!connection)
        return kExitUsage;
    PollRows rows(*options, connection->device(), connection->port().fixedBaud());
    BusPoller poller(connection->session(), options->poller);
    switch (poller.run(rows)) {
    case BusPoller::End::Polled:
        break;
    case BusPoller::End::NoneReached:
        rows.noneReached();
        return kExitFailed;
    case BusPoller::End::StoppedWhileFinding:
        return kExitFailed;
    }
    printSummary(poller.transmitters(), poller.missedSlots(), options->format);
    if (rows.allRead())
        return kExitOk;
    noteFailure(rows.failure());
    return kExitFailed;
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
                                           "(time,address,unit,pressure,temperature,"
                                           "pressureState,temperatureState) after a heading "
                                           "line; a failed read is an empty field and its "
                                           "state says why.")});
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
                "its unit (\"UT\") at the start; then reads the pressure (\"RP0\") and the "
                "temperature (\"RT0\") of each, at its own rate, once a cycle, and prints one "
                "row per transmitter: time (ISO 8601, local with its offset or --utc), "
                "address, pressure with its unit, temperature as sent; JSON rows add the "
                "numbers and each read's state (ok, no reply, no data, invalid reply, other "
                "address, not a reading, port lost). Polling starts with the transmitters "
                "that answer; one that answers at no rate is named on stderr and probed "
                "again after each cycle's reads (one address at one rate a cycle), and joins "
                "the rows once it answers. A unit that was not answered is asked again each "
                "cycle until it is; the rows before that carry no unit. The exit status is 1 "
                "when any read failed, any row went out without its unit, or any transmitter "
                "was missing at any time; when none answers at the start, poll ends there. "
                "Cycles keep a fixed "
                "schedule: cycle n starts at the start plus n intervals; a cycle that overruns "
                "is followed by the next slot still ahead, and the slots passed over are "
                "counted, never caught up in a burst. A failed read is empty in CSV and null "
                "in JSON, never 0; --retries sends a failed read again within its cycle. "
                "Only reads are ever repeated: a write whose echo was lost may have been "
                "stored, and sending it again could change the transmitter twice. At the end "
                "a summary per transmitter gives the cycles, readings, failures by kind, "
                "missed slots, retries, the cycles it was missing, and the mean, lowest and "
                "highest readings (on stderr with --csv "
                "or --json). When the adapter is pulled out, the port is reopened once a "
                "second until it is back; stderr says so, with the time."),
            0,
            -1,
            addPollOptions,
            runPoll};
}
