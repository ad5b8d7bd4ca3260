#include "cli/setting_writes.h"

#include "cli/output.h"
#include "cli/transmitter_read.h"
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
} // namespace

PlanStep settingWrites(const SettingValues& values) {
    return [values](TransmitterConnection& transmitter) -> std::variant<WritingPlan, ExitCode> {
        std::optional<int> decimals;
        if (needsTransmitterDecimals(values) && !(decimals = readDecimals(transmitter)))
            return kExitFailed;
        const std::variant<WritePlan, Refusal> plan = planSettings(values, decimals);
        if (const Refusal* r = std::get_if<Refusal>(&plan))
            return refuse(r->message);
        return WritingPlan{std::get<WritePlan>(plan).writes};
    };
}
