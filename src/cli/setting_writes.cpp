#include "cli/setting_writes.h"
#include "cli/reply_words.h"

#include "cli/output.h"
#include "cli/transmitter_read.h"
#include "cli/write_read_back.h"
#include "connection/transmitter_connection.h"
#include "link/reply_value.h"

namespace {
// The transmitter's number of decimals ("DP"); nothing after a message when
// the read fails or gives no such code.
std::optional<int> readDecimals(TransmitterConnection& transmitter) {
    const Exchanged reply = transmitter.exchange(Command::Decimals);
    std::optional<int> decimals;
    if (reply.answered())
        decimals = codeValue(reply.value(), kHighestDecimals);
    if (!decimals)
        printError(QStringLiteral("%1 %2: %3; the number of decimals is not known, nothing written")
                       .arg(transmitter.address(), commandText(Command::Decimals),
                            reply.answered()
                                ? QStringLiteral("\"%1\" is no code 0 to %2")
                                      .arg(reply.value(), QString::number(kHighestDecimals))
                                : replyProblem(reply.kind)));
    return decimals;
}

// Reads each key the plan would write and marks the ones already so.
void compareWithTransmitter(TransmitterConnection& transmitter, QList<PlannedWrite>& writes) {
    bool unitOrDecimalsWritten = false;
    for (PlannedWrite& w : writes) {
        const SettingKey* setting = settingNamed(w.key);
        if (!setting || unitOrDecimalsWritten)
            continue;
        const SettingRead read = readSetting(transmitter, *setting);
        w.present = read.value;
        w.notCompared = read.problem;
        w.unchanged =
            read.value && holdsSentValue(setting->kind, sentValue(*setting, w), *read.value);
        unitOrDecimalsWritten = !w.unchanged && (setting->kind == SettingKind::Unit ||
                                                 setting->kind == SettingKind::Decimals);
    }
}
} // namespace

PlanStep settingWrites(const SettingValues& values, bool all) {
    return
        [values, all](TransmitterConnection& transmitter) -> std::variant<WritingPlan, ExitCode> {
            std::optional<int> decimals;
            if (needsTransmitterDecimals(values) && !(decimals = readDecimals(transmitter)))
                return kExitFailed;
            const std::variant<WritePlan, Refusal> plan = planSettings(values, decimals);
            if (const Refusal* r = std::get_if<Refusal>(&plan))
                return refuse(r->message);
            QList<PlannedWrite> writes = std::get<WritePlan>(plan).writes;
            if (!all)
                compareWithTransmitter(transmitter, writes);
            return WritingPlan{writes};
        };
}
