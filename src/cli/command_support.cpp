#include "cli/command_support.h"

#include "cli/arguments.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"
#include "link/reply_value.h"
#include "protocol/commands.h"

#include <unistd.h>

std::unique_ptr<Connection> openConnection(const GlobalOptions& options) {
    QString error;
    std::unique_ptr<Connection> connection = Connection::open(options, &error);
    if (!connection)
        printError(error);
    return connection;
}

void addRateOption(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("baud"),
                      QStringLiteral("The rate the transmitter answers at: 1200, 2400, 4800, 9600, "
                                     "or auto (\"AD\" at 9600, 4800, 2400 and 1200 until it "
                                     "answers). Default: auto."),
                      QStringLiteral("rate"), QStringLiteral("auto")});
}

std::optional<QString> addressArgument(const CommandContext& context, int index) {
    const QString text = context.arguments.value(index);
    const std::optional<QString> address = parseBusAddress(text);
    if (!address)
        printError(QStringLiteral("\"%1\" is no bus address (1 to 99)").arg(text));
    return address;
}

std::optional<int> rateOption(const CommandContext& context) {
    const QString text = context.parser.value(QStringLiteral("baud"));
    if (text.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
        return -1;
    const std::optional<int> index = parseBaudIndex(text);
    if (!index)
        printError(QStringLiteral("--baud \"%1\": give 1200, 2400, 4800, 9600 or auto").arg(text));
    return index;
}

bool reachTransmitter(Bus& bus, const QString& address, int baudIndex) {
    if (baudIndex >= 0) {
        if (bus.setBaudIndex(baudIndex))
            return true;
        printError(QStringLiteral("%1 refuses the rate").arg(bus.device()));
        return false;
    }
    if (bus.findRate(address) >= 0)
        return true;
    printError(QStringLiteral("no answer from %1 at any rate").arg(address));
    return false;
}

std::optional<int> readTransmitterDecimals(Bus& bus, const QString& address) {
    const QString command = commandText(Command::Decimals);
    const QString reply = bus.exchange(address, command);
    const Answer answer = classifyReply(reply, address);
    std::optional<int> decimals;
    if (answer == Answer::Answered)
        decimals = codeValue(replyValue(reply), 4);
    if (!decimals)
        printError(QStringLiteral("%1 %2: %3; the number of decimals is not known, nothing written")
                       .arg(address, command,
                            answer == Answer::Answered
                                ? QStringLiteral("\"%1\" is no code 0 to 4").arg(replyValue(reply))
                                : answerProblem(answer)));
    return decimals;
}

void addYesOption(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("yes"),
                      QStringLiteral("Really do it: the change cannot be undone from here.")});
}

bool confirmedForGood(const CommandContext& context, const QString& what) {
    if (context.parser.isSet(QStringLiteral("yes")) || context.options.dryRun)
        return true;
    printLine(QStringLiteral("would %1").arg(what));
    printError(QStringLiteral("this changes the transmitter for good: add --yes to do it "
                              "(or --dry-run to see the frame); nothing sent"));
    return false;
}

std::optional<ReachedTransmitter> reachAddressed(const CommandContext& context, int* status) {
    const std::optional<QString> address = addressArgument(context, 0);
    const std::optional<int> rate = rateOption(context);
    *status = kExitUsage;
    if (!address || !rate)
        return std::nullopt;
    return reachTransmitterAt(context, *address, *rate, status);
}

std::optional<ReachedTransmitter> reachTransmitterAt(const CommandContext& context,
                                                     const QString& address, int baudIndex,
                                                     int* status) {
    *status = kExitUsage;
    ReachedTransmitter reached{address, openConnection(context.options)};
    if (!reached.connection)
        return std::nullopt;
    if (!reachTransmitter(reached.bus(), address, baudIndex)) {
        *status = stopRequested() ? kExitStopped : kExitFailed;
        return std::nullopt;
    }
    return reached;
}

std::optional<QList<PlannedWrite>> planSettingWrites(Bus& bus, const QString& address,
                                                     const SettingValues& values, int* status) {
    std::optional<int> decimals;
    if (needsTransmitterDecimals(values)) {
        decimals = readTransmitterDecimals(bus, address);
        if (!decimals) {
            *status = stopRequested() ? kExitStopped : kExitFailed;
            return std::nullopt;
        }
    }
    const std::variant<WritePlan, Refusal> plan = planSettings(values, decimals);
    if (const Refusal* r = std::get_if<Refusal>(&plan)) {
        printError(r->message + QStringLiteral("; nothing sent"));
        *status = kExitUsage;
        return std::nullopt;
    }
    return std::get<WritePlan>(plan).writes;
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}
