// apply: a configuration saved with read --json written into a transmitter,
// then read back and compared key by key. Cloning a transmitter is a read of
// the old one and an apply onto its replacement.

#include "cli/apply_plan.h"
#include "cli/command_support.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "cli/transmitter_read.h"
#include "cli/write_run.h"

#include <QFile>
#include <QJsonArray>

#include <cstdio>

namespace {

const QString kWithTrims = QStringLiteral("with-trims");
const QString kWithTexts = QStringLiteral("with-texts");

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

int runApply(CommandContext& context) {
    const std::optional<QString> address = addressArgument(context, 0);
    const std::optional<int> rate = rateOption(context);
    if (!address || !rate)
        return kExitUsage;
    const std::optional<QByteArray> document = readDocument(context.arguments.value(1));
    if (!document)
        return kExitUsage;
    const bool withTrims = context.parser.isSet(kWithTrims);
    const bool withTexts = context.parser.isSet(kWithTexts);
    // Everything in the document is checked before the first frame.
    const auto parsed = parseApplyDocument(*document, withTrims, withTexts);
    if (const Refusal* r = std::get_if<Refusal>(&parsed)) {
        printError(r->message + QStringLiteral("; nothing sent"));
        return kExitUsage;
    }
    const ApplyDocument& doc = std::get<ApplyDocument>(parsed);
    for (const QString& key : doc.nullKeys)
        printNote(QStringLiteral("%1: null in the document, skipped").arg(key));
    if (doc.values.isEmpty()) {
        printError(QStringLiteral("the document holds no value to write; nothing sent"));
        return kExitFailed;
    }

    int status = kExitUsage;
    std::optional<ReachedTransmitter> reached =
        reachTransmitterAt(context, *address, *rate, &status);
    if (!reached)
        return status;
    Bus& bus = reached->bus();
    const std::optional<QList<PlannedWrite>> writes =
        planSettingWrites(bus, *address, doc.values, &status);
    if (!writes)
        return status;
    if (context.options.dryRun) {
        printDryRun(*address, *writes, context.options.json);
        return kExitOk;
    }

    const WriteRun run = runWrites(bus, *address, *writes);
    QJsonObject extra{{QStringLiteral("nulls"), QJsonArray::fromStringList(doc.nullKeys)}};
    if (!run.allApplied()) {
        printWriteRun(run, context.options.json, extra);
        return run.exitCode();
    }
    const TransmitterRead back = readTransmitter(bus, *address);
    const QList<Difference> differences = compareReadBack(doc.values, back);
    extra.insert(QStringLiteral("differences"), differencesJson(differences));
    extra.insert(QStringLiteral("readBack"), back.toJson());
    printWriteRun(run, context.options.json, extra);
    for (const Difference& d : differences)
        printNote(QStringLiteral("%1 %2: the document holds \"%3\", the transmitter \"%4\"")
                      .arg(*address, d.key, d.expected, d.actual));
    if (stopRequested())
        return kExitStopped;
    if (!differences.isEmpty()) {
        printError(QStringLiteral("%1 differs from the document in %2 key(s)")
                       .arg(*address)
                       .arg(differences.size()));
        return kExitFailed;
    }
    if (!context.options.json)
        printNote(QStringLiteral("%1 read back: agrees with the document on every key written")
                      .arg(*address));
    return kExitOk;
}

void addApplyOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    parser.addOption({kWithTrims, QStringLiteral("Also write the 4 mA and 20 mA trims.")});
    parser.addOption({kWithTexts, QStringLiteral("Also write the model and id texts.")});
}

} // namespace

CliCommand applyCommand() {
    return {QStringLiteral("apply"),
            QStringLiteral("ADDR FILE"),
            QStringLiteral("Write a configuration saved with read --json"),
            QStringLiteral(
                "FILE is a read --json document, or - for standard input. Its unit, decimals, "
                "range and output mapping are written as set writes them; the trims only with "
                "--with-trims, model and id only with --with-texts; address and rate never. "
                "Null values are skipped and named. The transmitter is then read back and "
                "compared key by key (numbers by value, codes and texts exactly); any "
                "difference is printed and the exit status is 1."),
            2,
            2,
            addApplyOptions,
            runApply};
}
