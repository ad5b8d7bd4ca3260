#include "cli/addressed_transmitter.h"

#include "cli/arguments.h"
#include "cli/exit_codes.h"
#include "cli/fixed_rate.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "link/serial_port.h"

void addRateOption(QCommandLineParser& parser) {
    parser.addOption({{QStringLiteral("b"), QStringLiteral("baud")},
                      QStringLiteral("The rate the transmitter answers at: 1200, 2400, 4800, 9600, "
                                     "or auto (\"AD\" at 9600, 4800, 2400 and 1200 until it "
                                     "answers). Default: auto."),
                      QStringLiteral("rate"),
                      QStringLiteral("auto")});
}

std::optional<AddressedTransmitter> addressedTransmitter(const CommandContext& context) {
    const QString addressText = context.arguments.value(0);
    const std::optional<QString> address = parseBusAddress(addressText);
    if (!address)
        printError(QStringLiteral("\"%1\" is no bus address (1 to 99)").arg(addressText));
    const std::optional<int> rate = rateOption(context);
    if (!address || !rate)
        return std::nullopt;
    return AddressedTransmitter{*address, *rate};
}

std::optional<int> rateOption(const CommandContext& context) {
    const QString text = context.parser.value(QStringLiteral("baud"));
    if (text.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
        return -1;
    const std::optional<int> rate = parseBaudIndex(text);
    if (!rate)
        printError(QStringLiteral("--baud \"%1\": give 1200, 2400, 4800, 9600 or auto").arg(text));
    return rate;
}

int reachRate(TransmitterConnection& transmitter, int baudIndex, const QString& device) {
    const int reached = transmitter.reachRate(baudIndex, stopRequested);
    if (reached < 0)
        printError(notReachedText(transmitter.address(), baudIndex, device,
                                  transmitter.line().port().fixedBaud()));
    return reached;
}

QString notReachedText(const QString& address, int baudIndex, const QString& device,
                       int fixedBaud) {
    if (baudIndex >= 0)
        return QStringLiteral("%1 refuses the rate").arg(device);
    if (fixedBaud)
        return QStringLiteral("no answer from %1 at %2 baud, the rate this port is fixed at")
            .arg(address)
            .arg(fixedBaud);
    return QStringLiteral("no answer from %1 at any rate").arg(address);
}

int withTransmitter(const GlobalOptions& options, const AddressedTransmitter& addressed,
                    const UseTransmitter& use, const Connection::RateCheck& check) {
    std::unique_ptr<Connection> connection = Connection::open(options, [&](int fixedBaud) {
        return rateAllowed(fixedBaud, addressed.baudIndex) && (!check || check(fixedBaud));
    });
    if (!connection)
        return kExitUsage;
    BusLine& line = connection->line();
    ReachedTransmitter reached{addressed.address, std::move(connection),
                               TransmitterConnection(line, addressed.address)};
    if (reachRate(reached.transmitter, addressed.baudIndex, reached.connection->device()) < 0)
        return kExitFailed;
    return use(reached);
}

int withAddressedTransmitter(const CommandContext& context, const UseTransmitter& use) {
    const std::optional<AddressedTransmitter> addressed = addressedTransmitter(context);
    return addressed ? withTransmitter(context.options, *addressed, use) : kExitUsage;
}
