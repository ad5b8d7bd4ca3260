// poll: the pressure and temperature of one transmitter, read every interval
// and printed one line a cycle, until a count is reached or Ctrl-C. Polling
// only ever reads. A lost adapter is reopened, once a second at most.

#include "cli/addressed_transmitter.h"
#include "cli/arguments.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "link/reply_value.h"
#include "protocol/commands.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>

#include <optional>

namespace {

constexpr int kReopenIntervalMs = 1000;

// The lowest and highest of the real readings of one quantity.
struct Extremes {
    std::optional<double> low;
    std::optional<double> high;
    QString lowText;
    QString highText;

    void note(const QString& value) {
        const double v = numericValue(value);
        if (!low || v < *low) {
            low = v;
            lowText = value;
        }
        if (!high || v > *high) {
            high = v;
            highText = value;
        }
    }
    QString text() const {
        return low ? QStringLiteral("min %1, max %2").arg(lowText, highText)
                   : QStringLiteral("no reading");
    }
};

// A reading's value, or nothing when the exchange failed or carried no
// number: a lost reading is never shown as 0.
std::optional<QString> reading(const Exchanged& reply) {
    if (!reply.answered() || !isReading(reply.reply))
        return std::nullopt;
    return reply.value();
}

QString localTime() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

enum class Format { Text, Csv, Json };

void printCycle(Format format, const QString& time, const std::optional<QString>& pressure,
                const std::optional<QString>& temperature) {
    switch (format) {
    case Format::Csv:
        printLine(QStringLiteral("%1,%2,%3")
                      .arg(time, pressure.value_or(QString()), temperature.value_or(QString())));
        break;
    case Format::Json:
        printJson(QJsonObject{{QStringLiteral("time"), time},
                              {QStringLiteral("pressure"),
                               pressure ? QJsonValue(*pressure) : QJsonValue()},
                              {QStringLiteral("temperature"),
                               temperature ? QJsonValue(*temperature) : QJsonValue()}},
                  true);
        break;
    case Format::Text:
        printLine(QStringLiteral("%1  %2  %3")
                      .arg(time, pressure.value_or(QStringLiteral("(failed)")),
                           temperature.value_or(QStringLiteral("(failed)"))));
        break;
    }
}

// Keeps a lost port trying to come back, without hammering the device.
class Reconnect {
public:
    explicit Reconnect(Connection& connection)
        : m_connection(connection) {}

    void ensureOpen() {
        if (m_connection.port().isOpen())
            return;
        if (!m_lost) {
            m_lost = true;
            printWarning(
                QStringLiteral("%1 lost; reopening it once a second").arg(m_connection.device()));
        }
        if (m_sinceAttempt.isValid() && m_sinceAttempt.elapsed() < kReopenIntervalMs)
            return;
        m_sinceAttempt.start();
        if (m_connection.reopen()) {
            m_lost = false;
            printWarning(QStringLiteral("%1 reopened").arg(m_connection.device()));
        }
    }

private:
    Connection& m_connection;
    QElapsedTimer m_sinceAttempt;
    bool m_lost = false;
};

// Polls until count cycles are done (0: no end) or Ctrl-C.
int pollTransmitter(ReachedTransmitter& t, Format format, int interval, int count) {
    TransmitterConnection& transmitter = t.transmitter;

    if (format == Format::Csv)
        printLine(QStringLiteral("time,pressure,temperature"));
    Reconnect reconnect(*t.connection);
    Extremes pressures;
    Extremes temperatures;
    int cycles = 0;
    int failures = 0;
    QElapsedTimer cycle;
    while (!stopRequested() && (count == 0 || cycles < count)) {
        cycle.start();
        reconnect.ensureOpen();
        const std::optional<QString> pressure = reading(transmitter.exchange(Command::Pressure));
        const std::optional<QString> temperature =
            reading(transmitter.exchange(Command::Temperature));
        ++cycles;
        failures += int(!pressure) + int(!temperature);
        if (pressure)
            pressures.note(*pressure);
        if (temperature)
            temperatures.note(*temperature);
        printCycle(format, localTime(), pressure, temperature);
        if (count == 0 || cycles < count)
            sleepUnlessStopped(int(interval - cycle.elapsed()));
    }

    const QString summary =
        QStringLiteral("%1 cycles, %2 failed reads; pressure %3; temperature %4")
            .arg(cycles)
            .arg(failures)
            .arg(pressures.text(), temperatures.text());
    // Machine-readable output stays one kind of line; the summary goes beside it.
    if (format == Format::Text)
        printLine(summary);
    else
        printNote(summary);
    return failures == 0 ? kExitOk : kExitFailed;
}

int runPoll(CommandContext& context) {
    const std::optional<int> interval =
        parseWholeNumber(context.parser.value(QStringLiteral("interval")), 0, 86'400'000);
    const std::optional<int> count =
        parseWholeNumber(context.parser.value(QStringLiteral("count")), 0, 1'000'000'000);
    if (!interval)
        printError(QStringLiteral("--interval: give milliseconds, 0 or more"));
    if (!count)
        printError(QStringLiteral("--count: give a number of cycles, 0 for no end"));
    if (context.options.json && context.parser.isSet(QStringLiteral("csv")))
        printError(QStringLiteral("--csv and --json: give one of them"));
    if (!interval || !count ||
        (context.options.json && context.parser.isSet(QStringLiteral("csv"))))
        return kExitUsage;
    const Format format = context.options.json                          ? Format::Json
                          : context.parser.isSet(QStringLiteral("csv")) ? Format::Csv
                                                                        : Format::Text;

    return withAddressedTransmitter(context, [&](ReachedTransmitter& t) {
        return pollTransmitter(t, format, *interval, *count);
    });
}

void addPollOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    parser.addOption({QStringLiteral("interval"),
                      QStringLiteral("Milliseconds from the start of one cycle to the next. "
                                     "Default: 500."),
                      QStringLiteral("ms"), QStringLiteral("500")});
    parser.addOption({QStringLiteral("count"),
                      QStringLiteral("Cycles to run; 0 runs until Ctrl-C. Default: 0."),
                      QStringLiteral("n"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("csv"),
                      QStringLiteral("One CSV line a cycle (time,pressure,temperature) after a "
                                     "heading line; a failed read is an empty field.")});
}

} // namespace

CliCommand pollCommand() {
    return {QStringLiteral("poll"),
            QStringLiteral("ADDR"),
            QStringLiteral("Log the pressure and temperature of one transmitter"),
            QStringLiteral("Reads the pressure (\"RP0\") and the temperature (\"RT0\") each cycle "
                           "and prints one line: local time (ISO 8601), pressure and temperature "
                           "as sent. A failed read is empty in CSV and null in JSON, never 0. At "
                           "the end a summary gives the cycles, the failed reads and the lowest "
                           "and highest readings (on stderr with --csv or --json). When the "
                           "adapter is pulled out, the port is reopened once a second until it "
                           "is back."),
            1,
            1,
            addPollOptions,
            runPoll};
}
