// tarnwick-sim: transmitters on a simulated serial bus, for working on the
// tool without hardware, for demos and for the end-to-end tests. The tool
// opens the device printed on the first line of output as its serial port.

#include "simulator/bus_file.h"
#include "simulator/control.h"
#include "simulator/plug_cycle.h"
#include "simulator/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal handler may do next to nothing; it hands the signal over to the
// event loop through this pair, which then quits and cleans up the link.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

bool catchQuitSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // Answers to a reader that went away must not kill the bus.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void say(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(const QString& message) {
    std::fprintf(stderr, "tarnwick-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Simulated pressure transmitters on a pseudo-terminal. The first line of output names "
            "the device to open as the serial port. A reply starts once the request would have "
            "crossed the line and the transmitter's turnaround has passed, and goes out at 10 "
            "bits a character.\n\n"
            "Control commands on standard input, one per line:\n"
            "  fault ADDR CMD KIND, clear-faults [ADDR], random-faults RATE SERIES | off,\n"
            "  turnaround ADDR MS, unplug, replug, send TEXT, flood N, state ADDR [BAUD], quit\n"
            "Fault kinds: %1.\n"
            "A late:MS reply starts MS ms after the tool's deadline for the request, then goes\n"
            "out at the line's pace; a plain late reply comes whole, 40 ms after the tool's\n"
            "time-out.")
            .arg(sim::faultKindNames()));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption busOption(QStringLiteral("bus"),
                                       QStringLiteral("Bus description (JSON) instead of the "
                                                      "built-in three transmitters."),
                                       QStringLiteral("file"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Symbolic link to the device; a stale link there is replaced."),
        QStringLiteral("path"));
    const QCommandLineOption traceOption(QStringLiteral("trace"),
                                         QStringLiteral("Log every frame heard and sent to "
                                                        "file (\"-\" for standard error)."),
                                         QStringLiteral("file"));
    const QCommandLineOption faultOption(
        QStringLiteral("fault"),
        QStringLiteral("A fault to start with, e.g. 07:RP0:late, 07:RP0:late:15 or 01:*:silent; "
                       "repeatable."),
        QStringLiteral("addr:cmd:kind"));
    const QCommandLineOption printOption(
        QStringLiteral("print-default-bus"),
        QStringLiteral("Print the built-in bus as JSON, a template for --bus, and exit."));
    const QCommandLineOption noTimingOption(
        QStringLiteral("no-line-timing"),
        QStringLiteral("Reply at once instead of after the time the line would take, and "
                       "without turnaround. The tool then needs the port marked in its settings "
                       "file: [Ports] comN.lineTiming=false."));
    const QCommandLineOption randomOption(
        QStringLiteral("random-faults"),
        QStringLiteral("Every answer goes wrong with this probability (0 to 1), in one of the "
                       "fault kinds but none, drawn at random; the trace names each one."),
        QStringLiteral("rate"));
    const QCommandLineOption seriesOption(
        QStringLiteral("series"),
        QStringLiteral("Series of the random faults, so a run can be repeated (default 1)."),
        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption unplugOption(
        QStringLiteral("unplug-every"),
        QStringLiteral("Unplug the adapter every so many seconds and plug it back in %1 s later "
                       "(at most half the period), on a new device.")
            .arg(sim::PlugCycle::kDownMs / 1000),
        QStringLiteral("seconds"));
    const QCommandLineOption turnaroundOption(
        QStringLiteral("turnaround"),
        QStringLiteral("Milliseconds (0 to %1) from a request's arrival to the start of its reply, "
                       "for every transmitter whose bus file does not set \"turnaround\" "
                       "(default 0).")
            .arg(sim::Transmitter::kMaxTurnaroundMs),
        QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({busOption, linkOption, traceOption, faultOption, printOption, noTimingOption,
                       turnaroundOption, randomOption, seriesOption, unplugOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments()[0]));

    const std::optional<int> turnaround = sim::parseTurnaroundMs(parser.value(turnaroundOption));
    if (!turnaround)
        return fail(QStringLiteral("--turnaround MS: a whole number of milliseconds from 0 to %1")
                        .arg(sim::Transmitter::kMaxTurnaroundMs));

    if (parser.isSet(printOption)) {
        std::fputs(sim::busToJson(sim::defaultBus(*turnaround)).constData(), stdout);
        return 0;
    }

    std::vector<sim::Transmitter> transmitters;
    if (parser.isSet(busOption)) {
        QString error;
        auto loaded = sim::readBusFile(parser.value(busOption), &error, *turnaround);
        if (!loaded)
            return fail(error);
        transmitters = std::move(*loaded);
    } else {
        transmitters = sim::defaultBus(*turnaround);
    }
    sim::Bus bus(std::move(transmitters));
    bus.setLineTiming(!parser.isSet(noTimingOption));

    for (const QString& option : parser.values(faultOption)) {
        // The kind is everything after the second colon: "late:15" has one of
        // its own.
        const QString address = option.section(QLatin1Char(':'), 0, 0);
        const QString command = option.section(QLatin1Char(':'), 1, 1);
        const std::optional<sim::Fault> fault =
            option.count(QLatin1Char(':')) >= 2
                ? sim::faultFromName(option.section(QLatin1Char(':'), 2))
                : std::nullopt;
        if (!fault || command.isEmpty())
            return fail(QStringLiteral("--fault %1: expected ADDR:CMD:KIND, KIND one of: %2")
                            .arg(option, sim::faultKindNames()));
        const std::vector<std::size_t> found = bus.at(address.toLatin1());
        if (found.empty())
            return fail(QStringLiteral("--fault %1: no transmitter at %2").arg(option, address));
        for (std::size_t i : found)
            bus.transmitters()[i].faults().set(command.toLatin1(), *fault);
    }

    if (parser.isSet(randomOption) || parser.isSet(seriesOption)) {
        std::optional<sim::RandomFaults> faults =
            sim::parseRandomFaults(parser.value(randomOption), parser.value(seriesOption));
        if (!faults || !parser.isSet(randomOption))
            return fail(QStringLiteral("--random-faults RATE [--series N]: RATE from 0 to 1, N a "
                                       "whole number"));
        bus.setRandomFaults(std::move(faults));
    }
    int unplugPeriodMs = 0;
    if (parser.isSet(unplugOption)) {
        bool ok = false;
        const double seconds = parser.value(unplugOption).toDouble(&ok);
        if (!ok || !(seconds >= 0.2 && seconds <= 86400))
            return fail(QStringLiteral("--unplug-every SECONDS: from 0.2 to 86400"));
        unplugPeriodMs = int(seconds * 1000);
    }

    sim::Trace trace;
    QString error;
    if (!trace.open(parser.value(traceOption), &error))
        return fail(error);

    if (!catchQuitSignals())
        return fail(QStringLiteral("cannot set up signal handling"));
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    sim::Simulator simulator(std::move(bus), trace, parser.value(linkOption));
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "tarnwick-sim: %s\n", qPrintable(error));
        return 1;
    }
    QObject::connect(&simulator, &sim::Simulator::deviceChanged,
                     [](const QString& path) { say(QStringLiteral("device: ") + path); });
    say(QStringLiteral("device: ") + simulator.devicePath());

    std::optional<sim::PlugCycle> plugCycle;
    if (unplugPeriodMs > 0)
        plugCycle.emplace(simulator, unplugPeriodMs);

    sim::Control control(simulator);
    QObject::connect(&control, &sim::Control::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // Standard input may be closed altogether when the program runs detached.
    if (::fcntl(STDIN_FILENO, F_GETFD) != -1)
        control.listen(STDIN_FILENO, stdout);

    return app.exec();
}
