// The command line of tarnwick-cli: global options, then a command with its
// own options and arguments. Global options are also taken after the
// command's name, which is where a script's author tends to add them.

#include "cli/cli_command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

const QString kProgram = QStringLiteral("tarnwick-cli");

const QString kDescription = QStringLiteral(
    "The smart pressure transmitters of one serial bus, from a terminal and from scripts: find "
    "them, read them, log their pressure, send raw commands, configure them, move them, store "
    "and zero them. It speaks exactly the protocol of the window tarnwick, from the same code, "
    "and refuses what the window refuses.");

const QString kExitCodes =
    QStringLiteral("Exit status:\n"
                   "  0    everything asked for answered (search: at least one transmitter found)\n"
                   "  1    some exchange failed, a write was not applied, or nothing was found\n"
                   "  2    usage error, a refused value (nothing sent), a change for good\n"
                   "       without --yes, or the port cannot be opened\n"
                   "  130  stopped by Ctrl-C (SIGINT)\n"
                   "  143  stopped by SIGTERM\n"
                   "With --json, an error is also one JSON object on stderr:\n"
                   "  {\"error\": \"...\", \"exit\": N}");

struct GlobalOptionSet {
    QCommandLineOption port{
        {QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("Serial port: com1 to com6, mapped as the window maps them (the [Ports] "
                       "group of its settings file), or a device: a path, or a name looked for "
                       "in the current folder, then under /dev; or rfc2217://HOST:PORT, a serial "
                       "device server speaking RFC 2217; or tcp://HOST:PORT?baud=RATE, a raw "
                       "server whose line is fixed at RATE (default 9600). Default: "
                       "$TARNWICK_PORT, else the port the window remembers."),
        QStringLiteral("port")};
    QCommandLineOption json{
        {QStringLiteral("j"), QStringLiteral("json")},
        QStringLiteral("Machine-readable output (JSON), errors and notes on stderr included.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Every frame in both directions on stderr, one line "
                                            "each: milliseconds since start, direction, bytes.")};
    QCommandLineOption traceFile{
        QStringLiteral("trace-file"),
        QStringLiteral("The same trace into a file (replaced); with --trace, "
                       "into both."),
        QStringLiteral("file")};
    QCommandLineOption latency{
        QStringLiteral("latency"),
        QStringLiteral("For a network port: milliseconds its link adds to every reply time-out "
                       "and to the wait after a failure (0 to 10000). Default: 25, or comN.latency "
                       "in the settings file."),
        QStringLiteral("ms")};
    QCommandLineOption connectTimeout{
        QStringLiteral("connect-timeout"),
        QStringLiteral("For a network port: milliseconds a connection (name lookup included) "
                       "may take (1 to 60000). Default: 3000, or comN.connectTimeout."),
        QStringLiteral("ms")};
    QCommandLineOption noLineTiming{
        QStringLiteral("no-line-timing"),
        QStringLiteral("The port is a link without line timing (a software simulator on a "
                       "virtual null-modem): take the first complete frame as the reply.")};
    QCommandLineOption dryRun{{QStringLiteral("n"), QStringLiteral("dry-run")},
                              QStringLiteral("Writing commands print the frames they would send, "
                                             "checksums included, and send none; the reads they "
                                             "need first are still made.")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};

    void addTo(QCommandLineParser& parser) const {
        parser.addOptions(
            {port, json, trace, traceFile, latency, connectTimeout, noLineTiming, dryRun, help});
    }

    void readInto(const QCommandLineParser& parser, GlobalOptions& options) const {
        if (parser.isSet(port))
            options.port = parser.value(port);
        options.json = options.json || parser.isSet(json);
        options.trace = options.trace || parser.isSet(trace);
        if (parser.isSet(traceFile))
            options.traceFile = parser.value(traceFile);
        if (parser.isSet(latency))
            options.latency = parser.value(latency);
        if (parser.isSet(connectTimeout))
            options.connectTimeout = parser.value(connectTimeout);
        options.noLineTiming = options.noLineTiming || parser.isSet(noLineTiming);
        options.dryRun = options.dryRun || parser.isSet(dryRun);
    }
};

// Text broken into lines of at most width characters, at blanks.
QString wrapped(const QString& text, int width = 79) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines.append(line);
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    lines.append(line);
    return lines.join(QLatin1Char('\n'));
}

// The option part of Qt's help text: everything from "Options:" on.
QString optionsHelp(const QCommandLineParser& parser, const QString& heading) {
    const QString text = parser.helpText();
    const qsizetype at = text.indexOf(QLatin1String("Options:"));
    QString options = at >= 0 ? text.mid(at + 8) : QString();
    return heading + options.trimmed().prepend(QStringLiteral("\n  "));
}

void printProgramHelp(const QCommandLineParser& parser) {
    QStringList lines{
        QStringLiteral("Usage: %1 [global options] COMMAND [options] [arguments]").arg(kProgram),
        QString(), wrapped(kDescription), QString(), QStringLiteral("Commands:")};
    for (const CliCommand& c : cliCommands())
        lines.append(QStringLiteral("  ") + c.name.leftJustified(16) + c.summary);
    lines.append(QString());
    lines.append(optionsHelp(parser, QStringLiteral("Global options:")));
    lines.append(QString());
    lines.append(QStringLiteral("Run '%1 COMMAND --help' for a command's options and arguments.")
                     .arg(kProgram));
    lines.append(QString());
    lines.append(kExitCodes);
    printLine(lines.join(QLatin1Char('\n')));
}

void printCommandHelp(const CliCommand& command, const QCommandLineParser& parser) {
    QStringList lines{QStringLiteral("Usage: %1 [global options] %2 [options] %3")
                          .arg(kProgram, command.name, command.synopsis)
                          .trimmed(),
                      QString(), command.summary + QLatin1Char('.')};
    if (!command.description.isEmpty())
        lines << QString() << wrapped(command.description);
    lines << QString() << optionsHelp(parser, QStringLiteral("Options (global ones included):"));
    lines << QString() << kExitCodes;
    printLine(lines.join(QLatin1Char('\n')));
}

int usageError(const QString& message, const QString& command = QString()) {
    printError(message);
    if (!jsonDiagnostics())
        printNote(QStringLiteral("Try '%1%2 --help'.")
                      .arg(kProgram, command.isEmpty() ? QString() : QLatin1Char(' ') + command));
    return kExitUsage;
}

// Whether --json or -j stands anywhere on the command line, alone or among
// short flags ("-nj"), so that even a usage error found before the options
// are read is told as JSON.
bool asksForJson(const QStringList& arguments) {
    static const QRegularExpression flags(QStringLiteral("^-[hjnvy]*j[hjnvy]*$"));
    for (const QString& a : arguments.mid(1)) {
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--json") || flags.match(a).hasMatch())
            return true;
    }
    return false;
}

const CliCommand* commandNamed(const QString& name) {
    for (const CliCommand& c : cliCommands())
        if (c.name == name)
            return &c;
    return nullptr;
}

int runCommandLine(const QStringList& arguments);

} // namespace

const QList<CliCommand>& cliCommands() {
    static const QList<CliCommand> commands{
        searchCommand(),         readCommand(), inventoryCommand(), pollCommand(), monitorCommand(),
        sendCommand(),           setCommand(),  applyCommand(),     moveCommand(), storeCommand(),
        restoreFactoryCommand(), zeroCommand(), completionCommand()};
    return commands;
}

int runCli(const QStringList& arguments) {
    setJsonDiagnostics(asksForJson(arguments));
    const int status = runCommandLine(arguments);
    finishDiagnostics(status);
    return status;
}

namespace {
int runCommandLine(const QStringList& arguments) {
    const GlobalOptionSet globals;
    QCommandLineParser top;
    top.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    globals.addTo(top);
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    top.addOption(version);
    if (!top.parse(arguments))
        return usageError(top.errorText());
    if (top.isSet(version)) {
        printLine(kProgram + QLatin1Char(' ') + QStringLiteral(TARNWICK_VERSION));
        return kExitOk;
    }
    const QStringList rest = top.positionalArguments();
    if (rest.isEmpty()) {
        if (top.isSet(globals.help)) {
            printProgramHelp(top);
            return kExitOk;
        }
        return usageError(QStringLiteral("no command given"));
    }

    // "help COMMAND" is "COMMAND --help"; "help" alone the program's help.
    if (rest.first() == QLatin1String("help")) {
        if (rest.size() == 1) {
            printProgramHelp(top);
            return kExitOk;
        }
        if (rest.size() > 2)
            return usageError(QStringLiteral("help takes one command name"));
        if (!commandNamed(rest.at(1)))
            return usageError(QStringLiteral("no command %1").arg(rest.at(1)));
        return runCommandLine(QStringList{arguments.first(), rest.at(1), QStringLiteral("--help")});
    }
    const CliCommand* command = commandNamed(rest.first());
    if (!command)
        return usageError(QStringLiteral("unknown command \"%1\"").arg(rest.first()));

    QCommandLineParser parser;
    globals.addTo(parser);
    if (command->addOptions)
        command->addOptions(parser);
    if (!parser.parse(QStringList{kProgram} + rest.mid(1)))
        return usageError(parser.errorText(), command->name);
    if (parser.isSet(globals.help) || top.isSet(globals.help)) {
        printCommandHelp(*command, parser);
        return kExitOk;
    }

    CommandContext context{{}, parser, parser.positionalArguments()};
    globals.readInto(top, context.options);
    globals.readInto(parser, context.options);
    const int count = int(context.arguments.size());
    if (count < command->minArguments ||
        (command->maxArguments >= 0 && count > command->maxArguments))
        return usageError(QStringLiteral("%1 takes %2").arg(command->name, command->synopsis),
                          command->name);
    const int status = command->run(context);
    // Whatever a command had come to when Ctrl-C or SIGTERM stopped it, a
    // script learns that it was stopped; a usage error stays one.
    if (stopRequested() && status != kExitUsage) {
        noteFailure(stopReason());
        return stoppedExitStatus();
    }
    return status;
}
} // namespace
