// set: writes settings of one transmitter, each told as applied, not
// applied, unknown or not sent. Every value is checked before the first frame
// goes out, and the first write that is not applied ends the command, so a
// half-applied configuration is never carried on silently.

#include "cli/addressed_transmitter.h"
#include "cli/setting_writes.h"

namespace {

std::variant<PlanStep, ExitCode> checkSet(const CommandContext& context, const QString&) {
    const std::variant<SettingValues, Refusal> parsed = parseSettings(context.arguments.mid(1));
    if (const Refusal* r = std::get_if<Refusal>(&parsed))
        return refuse(r->message);
    return settingWrites(std::get<SettingValues>(parsed), allGiven(context));
}

void addSetOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    addAllOption(parser);
}

} // namespace

CliCommand setCommand() {
    return {QStringLiteral("set"),
            QStringLiteral("ADDR KEY=VALUE..."),
            QStringLiteral("Write settings of one transmitter"),
            QStringLiteral(
                "Keys: unit (a code 0 to 6 or a unit name), decimals (0 to 4), rangeLow, "
                "rangeHigh, outputLow, outputHigh (pressures), trim4mA, trim20mA (whole numbers "
                "from -5000 to 5000), id, model (printable ASCII, 32 characters at most). "
                "Pressures are formatted as the window formats a field, with the decimals given "
                "or else with the transmitter's own (read first). The writes go out in the "
                "window's order: unit, decimals, range, output, trims, id, model; only the keys "
                "given are sent. Every value is checked before anything is sent. Each key is "
                "then read and compared as a read-back compares (numbers at the decimals they "
                "are sent with, unit and decimals by code, texts as texts), and only the keys "
                "that differ are written; the others are told as unchanged. Once unit or "
                "decimals is written, every later key is written too, since the range and "
                "output follow them. A key whose read fails is written, \"not compared\". "
                "When nothing differs nothing is sent (\"nothing to do\", status 0). --all "
                "writes every key given, as before; --dry-run shows the plan with each key's "
                "present value. Each write is "
                "told as applied (echoed with data, or read back afterwards holding the value "
                "sent), not applied (read back holding another), unknown (neither tells) or not "
                "sent; the first one that is not applied ends the command and the rest are not "
                "sent."),
            2,
            -1,
            addSetOptions,
            [](CommandContext& context) { return runWritingCommand(context, checkSet); }};
}
