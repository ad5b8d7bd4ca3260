// monitor: every reading of a bus's transmitters, published to an MQTT
// broker (or printed, one JSON object a line) for as long as it runs, with
// each transmitter's identity and health. It is the core's poller plus a
// publisher, as poll is the poller plus rows; it only ever reads.

#include "cli/cli_command.h"
#include "cli/connection.h"
#include "cli/exit_codes.h"
#include "cli/fixed_rate.h"
#include "cli/monitor_feed.h"
#include "cli/monitor_options.h"
#include "cli/output.h"
#include "cli/paho_sink.h"
#include "cli/stdout_sink.h"
#include "cli/stop_request.h"

#include <memory>

namespace {

// What is queued gets this long to be acknowledged at a clean stop.
constexpr int kFinishWaitMs = 5000;

int runMonitor(CommandContext& context) {
    std::optional<MonitorOptions> options = monitorOptions(context);
    if (!options)
        return kExitUsage;
    bool portMissing = false;
    const std::unique_ptr<Connection> connection = Connection::open(
        context.options,
        [&](int fixedBaud) { return rateAllowed(fixedBaud, options->poller.baudIndex); },
        &portMissing);
    // An adapter not yet plugged in, or a device server not yet up, is no
    // mistake in the configuration: a service manager tries again later.
    if (!connection)
        return portMissing ? kExitFailed : kExitUsage;

    const QDateTime run = QDateTime::currentDateTimeUtc();
    // A search names the transmitters as it finds them.
    const MonitorStatus status{connection->device(),
                               options->search ? QStringList() : options->poller.addresses, 0, 0,
                               run};
    std::unique_ptr<MessageSink> sink;
    if (options->broker)
        sink = std::make_unique<PahoSink>(*options->broker, options->topicPrefix, status);
    else
        sink = std::make_unique<StdoutSink>(options->topicPrefix, status);
    // A broker that refuses this client ends the run as a signal does.
    options->poller.stopRequested = [&sink] {
        return stopRequested() || sink->refusal().has_value();
    };
    sink->start();
    BusPoller poller(connection->session(), options->poller);
    MonitorFeed feed({options->topicPrefix, options->offlineAfter, run, options->discoveryPrefix,
                      options->search, options->host, options->port},
                     connection->session(), poller, *sink);
    poller.run(feed);
    if (const std::optional<QString> refusal = sink->refusal()) {
        printError(refusal.value());
        return kExitUsage;
    }
    sink->finish(kFinishWaitMs);
    for (const QString& note : sink->takeNotes())
        printWarning(note);
    if (sink->queued() > 0)
        noteFailure(
            QStringLiteral("%1 readings were not acknowledged by the broker").arg(sink->queued()));
    return kExitOk;
}

} // namespace

CliCommand monitorCommand() {
    return {
        QStringLiteral("monitor"),
        QStringLiteral("[ADDR...]"),
        QStringLiteral("Publish every reading of transmitters of the bus to an MQTT broker"),
        QStringLiteral(
            "Polls the transmitters as poll does (their rates found, each unit asked until it "
            "answers, a lost port reopened, a missing transmitter probed until it answers) "
            "and publishes, at QoS 1, under PREFIX (--topic): PREFIX/status (retained: "
            "online with the port, the transmitters, the readings queued and dropped, the run's "
            "start; the last will says offline, connection lost; a clean stop says offline, "
            "stopped), PREFIX/ADDR/info (retained: the object read --json prints, read in full "
            "at the start, when it comes back online and once an hour), PREFIX/ADDR/state "
            "(retained: online, or offline with why, at the start and at every change; offline "
            "after --offline-after failed cycles, or at once when the port is lost) and "
            "PREFIX/ADDR/pressure and PREFIX/ADDR/temperature (each reading: value, text, unit, "
            "time, run, seq; seq counts the topic's messages of the run from 1, so a gap is a "
            "loss and a new run a restart). Times are ISO 8601 UTC. Without --mqtt every "
            "message goes to stdout as {\"topic\", \"payload\", \"retain\"}, one a line. While "
            "the broker cannot be reached polling goes on: readings are queued in order up to "
            "--queue (then the newest are dropped and counted), retained topics keep their last "
            "value, and the client reconnects (1 s doubling to 30 s) with a persistent session. "
            "A broker that refuses the credentials or the certificate ends the run with status "
            "2; a port that does not open at the start, with status 1, so that a service "
            "manager starts it again. Ctrl-C or SIGTERM stop it cleanly: the status says stopped, "
            "the queue gets 5 s "
            "to be acknowledged. Nothing that changes a transmitter is ever sent."),
        0,
        -1,
        addMonitorOptions,
        runMonitor};
}
