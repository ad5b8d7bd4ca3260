// apply: a configuration saved with read --json written into a transmitter,
// then read back and compared key by key. Cloning a transmitter is a read of
// the old one and an apply onto its replacement.

#include "cli/addressed_transmitter.h"
#include "cli/apply_plan.h"
#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/setting_writes.h"
#include "cli/transmitter_read.h"

#include <QFile>
#include <QJsonArray>

#include <cstdio>

namespace {

const QString kWithTrims = QStringLiteral("with-trims");
const QString kWithTexts = QStringLiteral("with-texts");
const QString kEntry = QStringLiteral("address");

std::optional<QByteArray> readDocument(const QString& name) {
    QFile file(name);
    const bool opened = name == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : file.open(QIODevice::ReadOnly);
    if (!opened) {
        printError(QStringLiteral("cannot read %1: %2").arg(name, file.errorString()));
        return std::nullopt;
    }
    return file.readAll();
}

QJsonArray differencesJson(const QList<Difference>& differences) {
    QJsonArray a;
    for (const Difference& d : differences)
        a.append(QJsonObject{{QStringLiteral("key"), d.key},
                             {QStringLiteral("expected"), d.expected},
                             {QStringLiteral("actual"), d.actual}});
    return a;
}

// Reads the transmitter back after every write went through, and tells how
// it differs from the document.
int reportApply(const WriteRun& run, TransmitterConnection& transmitter, const ApplyDocument& doc,
                bool json) {
    QJsonObject extra{{QStringLiteral("nulls"), QJsonArray::fromStringList(doc.nullKeys)}};
    // The keys were read just before: nothing was written, nothing to read back.
    if (!run.allApplied() || run.nothingToDo()) {
        printWriteRun(run, json, extra);
        return run.exitCode();
    }
    const TransmitterRead back = readTransmitter(transmitter);
    const QList<Difference> differences = compareReadBack(doc.values, back);
    extra.insert(QStringLiteral("differences"), differencesJson(differences));
    extra.insert(QStringLiteral("readBack"), back.toJson());
    printWriteRun(run, json, extra);
    for (const Difference& d : differences)
        printNote(QStringLiteral("%1 %2: the document holds \"%3\", the transmitter \"%4\"")
                      .arg(run.address, d.key, d.expected, d.actual));
    if (!differences.isEmpty()) {
        printError(QStringLiteral("%1 differs from the document in %2 key(s)")
                       .arg(run.address)
                       .arg(differences.size()));
        return kExitFailed;
    }
    if (!json)
        printNote(QStringLiteral("%1 read back: agrees with the document on every key written")
                      .arg(run.address));
    return kExitOk;
}

std::variant<PlanStep, ExitCode> checkApply(const CommandContext& context, const QString&) {
    const std::optional<QByteArray> document = readDocument(context.arguments.value(1));
    if (!document)
        return kExitUsage;
    std::optional<QString> entry;
    if (context.parser.isSet(kEntry) && !(entry = parseBusAddress(context.parser.value(kEntry)))) {
        printError(QStringLiteral("--address \"%1\" is no bus address (1 to 99)")
                       .arg(context.parser.value(kEntry)));
        return kExitUsage;
    }
    // Everything in the document is checked before the first frame.
    const auto parsed = parseApplyDocument(*document, context.parser.isSet(kWithTrims),
                                           context.parser.isSet(kWithTexts), entry);
    if (const Refusal* r = std::get_if<Refusal>(&parsed))
        return refuse(r->message);
    const ApplyDocument& doc = std::get<ApplyDocument>(parsed);
    for (const QString& key : doc.nullKeys)
        printNote(QStringLiteral("%1: null in the document, skipped").arg(key));
    if (doc.values.isEmpty()) {
        printError(QStringLiteral("the document holds no value to write; nothing sent"));
        return kExitFailed;
    }
    const bool json = context.options.json;
    const bool all = allGiven(context);
    return [doc, json,
            all](TransmitterConnection& transmitter) -> std::variant<WritingPlan, ExitCode> {
        std::variant<WritingPlan, ExitCode> planned = settingWrites(doc.values, all)(transmitter);
        WritingPlan* plan = std::get_if<WritingPlan>(&planned);
        if (!plan)
            return planned;
        if (const std::optional<Refusal> problem = cloneProblem(doc, WritePlan{plan->writes}))
            return refuse(problem->message);
        plan->report = [&transmitter, doc, json](const WriteRun& run) {
            return reportApply(run, transmitter, doc, json);
        };
        return planned;
    };
}

void addApplyOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    addAllOption(parser);
    parser.addOption({kWithTrims, QStringLiteral("Also write the 4 mA and 20 mA trims.")});
    parser.addOption({kWithTexts, QStringLiteral("Also write the model and id texts.")});
    parser.addOption({{QStringLiteral("a"), kEntry},
                      QStringLiteral("The entry of an inventory --json list to write: the "
                                     "transmitter that was at this address."),
                      QStringLiteral("addr")});
}

} // namespace

CliCommand applyCommand() {
    return {QStringLiteral("apply"),
            QStringLiteral("ADDR FILE"),
            QStringLiteral("Write a configuration saved with read --json"),
            QStringLiteral(
                "FILE is a read --json document, or - for standard input; or an inventory --json "
                "list, with --address choosing its entry. Its unit, decimals, "
                "range and output mapping are written as set writes them; the trims only with "
                "--with-trims, model and id only with --with-texts; address and rate never. "
                "Null values are skipped and named; a key read --json does not write, a unit "
                "whose code and name disagree, and a pressure that would go out with other "
                "decimals than the document's are refused before anything is sent. As with "
                "set, only the keys that differ from the transmitter are written (--all: "
                "every key); when nothing differs nothing is sent. The "
                "transmitter is then read back and "
                "compared key by key (numbers by value, codes and texts exactly); any "
                "difference is printed and the exit status is 1."),
            2,
            2,
            addApplyOptions,
            [](CommandContext& context) { return runWritingCommand(context, checkApply); }};
}
