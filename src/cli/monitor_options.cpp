#include "cli/monitor_options.h"

#include "cli/addressed_transmitter.h"
#include "cli/arguments.h"
#include "cli/monitor_config.h"
#include "cli/monitor_messages.h"
#include "cli/output.h"
#include "cli/state_folder.h"
#include "cli/stop_request.h"
#include "protocol/bus_search.h"

#include <QFile>

#include <QProcessEnvironment>
#include <QSysInfo>

namespace {

constexpr int kMostRetries = 10;

const QString kConfig = QStringLiteral("config");
const QString kAddress = QStringLiteral("address");
const QString kBaud = QStringLiteral("baud");
const QString kInterval = QStringLiteral("interval");
const QString kRetries = QStringLiteral("retries");
const QString kOfflineAfter = QStringLiteral("offline-after");
const QString kMqtt = QStringLiteral("mqtt");
const QString kTopic = QStringLiteral("topic");
const QString kClientId = QStringLiteral("client-id");
const QString kQueue = QStringLiteral("queue");
const QString kCredentials = QStringLiteral("credentials");
const QString kCa = QStringLiteral("ca");
const QString kStateDir = QStringLiteral("state-dir");
const QString kHaDiscovery = QStringLiteral("ha-discovery");
const QString kSearch = QStringLiteral("search");
const QString kHaPrefix = QStringLiteral("ha-prefix");

// The global options a configuration file may set.
const QStringList kGlobalKeys{
    QStringLiteral("port"),           QStringLiteral("latency"), QStringLiteral("connect-timeout"),
    QStringLiteral("no-line-timing"), QStringLiteral("trace"),   QStringLiteral("trace-file")};
const QStringList kOwnKeys{kAddress, kBaud,     kInterval,    kRetries,  kOfflineAfter,
                           kMqtt,    kTopic,    kClientId,    kQueue,    kCredentials,
                           kCa,      kStateDir, kHaDiscovery, kHaPrefix, kSearch};

// An option's value: the command line's, else the configuration's, else its
// default; and where it came from, for a refusal.
class OptionSource {
public:
    OptionSource(const QCommandLineParser& parser, QString path, QList<ConfigLine> config)
        : m_parser(parser)
        , m_path(std::move(path))
        , m_config(std::move(config)) {}

    bool isSet(const QString& name) const { return m_parser.isSet(name) || line(name); }
    QString value(const QString& name) const {
        if (m_parser.isSet(name))
            return m_parser.value(name);
        if (const ConfigLine* l = line(name))
            return l->value;
        return m_parser.value(name);
    }
    // "--interval", or "monitor.conf:4: interval".
    QString label(const QString& name) const {
        if (const ConfigLine* l = m_parser.isSet(name) ? nullptr : line(name))
            return QStringLiteral("%1:%2: %3").arg(m_path).arg(l->line).arg(name);
        return QStringLiteral("--") + name;
    }
    // A flag of the configuration: true or false.
    std::optional<bool> flag(const QString& name) const {
        const ConfigLine* l = line(name);
        if (!l)
            return std::nullopt;
        if (l->value == QLatin1String("true"))
            return true;
        if (l->value == QLatin1String("false"))
            return false;
        printError(QStringLiteral("%1: give true or false").arg(label(name)));
        m_badFlag = true;
        return std::nullopt;
    }
    // A flag of the configuration was neither true nor false.
    bool badFlag() const { return m_badFlag; }
    const ConfigLine* line(const QString& name) const {
        for (const ConfigLine& l : m_config)
            if (l.key == name)
                return &l;
        return nullptr;
    }

private:
    const QCommandLineParser& m_parser;
    QString m_path;
    QList<ConfigLine> m_config;
    mutable bool m_badFlag = false;
};

// The configuration's global options, where the command line gives none;
// false after a refusal.
bool takeGlobalOptions(const OptionSource& source, GlobalOptions& options) {
    bool ok = true;
    if (const ConfigLine* l = source.line(QStringLiteral("port")); l && !options.port)
        options.port = l->value;
    if (const ConfigLine* l = source.line(QStringLiteral("trace-file"));
        l && options.traceFile.isEmpty())
        options.traceFile = l->value;
    const auto milliseconds = [&](const QString& name, int low, int high,
                                  std::optional<QString>& into) {
        const ConfigLine* l = source.line(name);
        if (!l || into)
            return;
        if (!parseWholeNumber(l->value, low, high)) {
            printError(QStringLiteral("%1: give milliseconds, %2 to %3")
                           .arg(source.label(name))
                           .arg(low)
                           .arg(high));
            ok = false;
        }
        into = l->value;
    };
    milliseconds(QStringLiteral("latency"), 0, 10'000, options.latency);
    milliseconds(QStringLiteral("connect-timeout"), 1, 60'000, options.connectTimeout);
    for (const auto& [name, flag] :
         {std::pair{QStringLiteral("no-line-timing"), &options.noLineTiming},
          std::pair{QStringLiteral("trace"), &options.trace}}) {
        if (!source.line(name))
            continue;
        if (const std::optional<bool> on = source.flag(name))
            *flag = *flag || *on;
        else
            ok = false;
    }
    return ok;
}

// The port's name as given, for the topic and the client id.
QString givenPort(const GlobalOptions& options) {
    if (options.port)
        return *options.port;
    const QString fromEnvironment = qEnvironmentVariable("TARNWICK_PORT");
    return fromEnvironment.isEmpty() ? QStringLiteral("com1") : fromEnvironment;
}

// The broker's user and password: the credentials file, else the
// environment. Never from the command line, where any user could read it.
bool takeCredentials(const OptionSource& source, BrokerSettings& broker) {
    // Those a service manager hands over (systemd's LoadCredential=).
    const QString handedOver = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    const QString handedOverFile =
        handedOver.isEmpty() ? QString() : handedOver + QStringLiteral("/mqtt");
    const bool fromFile = source.isSet(kCredentials) || QFile::exists(handedOverFile);
    if (fromFile) {
        auto read = readCredentialsFile(source.isSet(kCredentials) ? source.value(kCredentials)
                                                                   : handedOverFile);
        if (const auto* error = std::get_if<QString>(&read)) {
            printError(*error);
            return false;
        }
        const Credentials& c = std::get<Credentials>(read);
        if (!c.warning.isEmpty())
            printWarning(c.warning);
        broker.username = c.username;
        broker.password = c.password;
        return true;
    }
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.contains(QStringLiteral("TARNWICK_MQTT_USERNAME")))
        broker.username = environment.value(QStringLiteral("TARNWICK_MQTT_USERNAME"));
    if (environment.contains(QStringLiteral("TARNWICK_MQTT_PASSWORD")))
        broker.password = environment.value(QStringLiteral("TARNWICK_MQTT_PASSWORD"));
    return true;
}

} // namespace

void addMonitorOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    parser.addOption({{QStringLiteral("a"), kAddress},
                      QStringLiteral("The transmitters to monitor, e.g. 1,7,12-14, besides those "
                                     "given as arguments."),
                      QStringLiteral("list")});
    parser.addOption({{QStringLiteral("i"), kInterval},
                      QStringLiteral("Milliseconds from the start of one cycle to the next "
                                     "(0: back to back). Default: 1000."),
                      QStringLiteral("ms"),
                      QStringLiteral("1000")});
    parser.addOption({kRetries,
                      QStringLiteral("Send a failed read again up to this many times within its "
                                     "cycle (0 to 10). Default: 0."),
                      QStringLiteral("n"), QStringLiteral("0")});
    parser.addOption({kOfflineAfter,
                      QStringLiteral("Failed cycles in a row that make a transmitter offline "
                                     "(1 to 1000). Default: 3."),
                      QStringLiteral("n"), QStringLiteral("3")});
    parser.addOption({kMqtt,
                      QStringLiteral("The broker: mqtt://HOST[:PORT] (1883) or "
                                     "mqtts://HOST[:PORT] (8883, TLS). Without it every message "
                                     "goes to stdout, one JSON object a line."),
                      QStringLiteral("url")});
    parser.addOption({kTopic,
                      QStringLiteral("The topics' prefix. Default: tarnwick/HOST/PORT, PORT the "
                                     "port as given with every character but A-Z a-z 0-9 _ - "
                                     "made _."),
                      QStringLiteral("prefix")});
    parser.addOption({kClientId,
                      QStringLiteral("The MQTT client id, the same each run so the broker keeps "
                                     "the session. Default: tarnwick-HOST-PORT."),
                      QStringLiteral("id")});
    parser.addOption({kQueue,
                      QStringLiteral("Readings held while the broker cannot be reached (1 to "
                                     "10000000); beyond that the newest are dropped and counted. "
                                     "Default: 10000."),
                      QStringLiteral("n"), QStringLiteral("10000")});
    parser.addOption({kCredentials,
                      QStringLiteral("A file with username= and password= lines for the broker "
                                     "(readable by its owner only). Default: "
                                     "$CREDENTIALS_DIRECTORY/mqtt, handed over by systemd, else "
                                     "$TARNWICK_MQTT_USERNAME and $TARNWICK_MQTT_PASSWORD."),
                      QStringLiteral("file")});
    parser.addOption({kCa,
                      QStringLiteral("The authority (PEM) that signed the broker's certificate, "
                                     "for mqtts://. Default: the system's."),
                      QStringLiteral("file")});
    parser.addOption({kStateDir,
                      QStringLiteral("A folder where readings the broker has not acknowledged "
                                     "are kept, so they are delivered after a restart too. "
                                     "Default: none, they live in memory."),
                      QStringLiteral("folder")});
    parser.addOption(
        {kSearch, QStringLiteral("Search the bus (the addresses given, else 1 to 99) and "
                                 "monitor what answers; the others are probed one address "
                                 "at one rate a cycle, so a newcomer is found within one "
                                 "pass over them.")});
    parser.addOption(
        {kHaDiscovery, QStringLiteral("Announce each transmitter to Home Assistant (MQTT "
                                      "discovery): a device with a pressure and a temperature "
                                      "sensor.")});
    parser.addOption({kHaPrefix,
                      QStringLiteral("Home Assistant's discovery prefix. Default: "
                                     "homeassistant."),
                      QStringLiteral("prefix"), QStringLiteral("homeassistant")});
    parser.addOption({kConfig,
                      QStringLiteral("key=value lines named after the long options, global ones "
                                     "(port, latency, ...) included; # starts a comment; the "
                                     "command line wins."),
                      QStringLiteral("file")});
}

std::optional<MonitorOptions> monitorOptions(CommandContext& context) {
    const QCommandLineParser& p = context.parser;
    QList<ConfigLine> config;
    const QString configPath = p.value(kConfig);
    if (p.isSet(kConfig)) {
        auto read = readConfigFile(configPath, kGlobalKeys + kOwnKeys);
        if (const auto* error = std::get_if<QString>(&read)) {
            printError(*error);
            return std::nullopt;
        }
        config = std::get<QList<ConfigLine>>(read);
    }
    const OptionSource source(p, configPath, config);
    bool ok = takeGlobalOptions(source, context.options);
    const auto fail = [&ok](const QString& message) {
        printError(message);
        ok = false;
    };

    MonitorOptions options;
    QList<QString>& addresses = options.poller.addresses;
    for (const QString& text : context.arguments) {
        if (const std::optional<QString> a = parseBusAddress(text))
            addresses.append(*a);
        else
            fail(QStringLiteral("\"%1\" is no bus address (1 to 99)").arg(text));
    }
    if (source.isSet(kAddress)) {
        if (const std::optional<QList<int>> list = parseAddressList(source.value(kAddress))) {
            for (const int n : *list)
                if (!addresses.contains(busAddress(n)))
                    addresses.append(busAddress(n));
        } else {
            fail(QStringLiteral("%1 \"%2\": give addresses and ranges from 1 to 99, e.g. "
                                "1,7,12-14")
                     .arg(source.label(kAddress), source.value(kAddress)));
        }
    }
    options.search = p.isSet(kSearch) || source.flag(kSearch).value_or(false);
    if (options.search && addresses.isEmpty())
        for (int n = kFirstBusAddress; n <= kLastBusAddress; ++n)
            addresses.append(busAddress(n));
    if (ok && addresses.isEmpty())
        fail(QStringLiteral("monitor needs an address: ADDR..., --address LIST or --search"));

    const QString baud = source.value(kBaud);
    if (baud.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
        options.poller.baudIndex = -1;
    else if (const std::optional<int> rate = parseBaudIndex(baud))
        options.poller.baudIndex = *rate;
    else
        fail(QStringLiteral("%1 \"%2\": give 1200, 2400, 4800, 9600 or auto")
                 .arg(source.label(kBaud), baud));

    const auto number = [&](const QString& name, int low, int high, const QString& what) {
        const std::optional<int> n = parseWholeNumber(source.value(name), low, high);
        if (!n)
            fail(QStringLiteral("%1 \"%2\": give %3")
                     .arg(source.label(name), source.value(name), what));
        return n.value_or(0);
    };
    options.poller.intervalMs =
        number(kInterval, 0, 86'400'000, QStringLiteral("milliseconds, 0 or more"));
    options.poller.retries = number(kRetries, 0, kMostRetries, QStringLiteral("0 to 10"));
    options.offlineAfter = number(kOfflineAfter, 1, 1000, QStringLiteral("1 to 1000 cycles"));
    const int queue = number(kQueue, 1, 10'000'000, QStringLiteral("1 to 10000000 readings"));

    const QString host = QSysInfo::machineHostName();
    const QString port = givenPort(context.options);
    options.topicPrefix =
        source.isSet(kTopic) ? source.value(kTopic) : defaultTopicPrefix(host, port);
    if (options.topicPrefix.isEmpty() || options.topicPrefix.contains(QLatin1Char('#')) ||
        options.topicPrefix.contains(QLatin1Char('+')) || options.topicPrefix.endsWith('/'))
        fail(QStringLiteral("%1 \"%2\": give a topic without wildcards (+, #) or a trailing /")
                 .arg(source.label(kTopic), options.topicPrefix));

    options.host = host;
    options.port = port;
    const std::optional<bool> discoveryInConfig = source.flag(kHaDiscovery);
    if (p.isSet(kHaDiscovery) || discoveryInConfig.value_or(false)) {
        options.discoveryPrefix = source.value(kHaPrefix);
        if (options.discoveryPrefix->isEmpty() ||
            options.discoveryPrefix->contains(QLatin1Char('#')) ||
            options.discoveryPrefix->contains(QLatin1Char('+')) ||
            options.discoveryPrefix->endsWith('/'))
            fail(QStringLiteral("%1 \"%2\": give a topic without wildcards (+, #) or a trailing /")
                     .arg(source.label(kHaPrefix), *options.discoveryPrefix));
    }

    if (source.isSet(kMqtt)) {
        BrokerSettings broker;
        const auto address = parseBrokerAddress(source.value(kMqtt));
        if (const auto* error = std::get_if<QString>(&address))
            fail(source.label(kMqtt) == QLatin1String("--mqtt")
                     ? *error
                     : QStringLiteral("%1: %2").arg(source.label(kMqtt), *error));
        else
            broker.address = std::get<BrokerAddress>(address);
        broker.clientId =
            source.isSet(kClientId) ? source.value(kClientId) : defaultClientId(host, port);
        if (broker.clientId.isEmpty() || broker.clientId.toUtf8().size() > 65535)
            fail(QStringLiteral("%1: give a client id").arg(source.label(kClientId)));
        broker.queue = queue;
        // For the benchmarks: when each reading reached the broker.
        broker.acknowledgementLog = qEnvironmentVariable("TARNWICK_MONITOR_ACK_LOG");
        if (source.isSet(kCa)) {
            broker.caFile = source.value(kCa);
            if (!QFile::exists(broker.caFile))
                fail(QStringLiteral("%1 \"%2\": no such file")
                         .arg(source.label(kCa), broker.caFile));
        }
        if (!takeCredentials(source, broker))
            ok = false;
        if (source.isSet(kStateDir)) {
            broker.stateDir = source.value(kStateDir);
            if (const std::optional<QString> problem = stateFolderProblem(broker.stateDir))
                fail(*problem);
        }
        options.broker = broker;
    }
    if (!ok || source.badFlag())
        return std::nullopt;
    options.poller.stopRequested = stopRequested;
    options.poller.pollWhenNoneAnswers = true;
    return options;
}
