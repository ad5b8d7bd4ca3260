#include "cli/setting_writes.h"

#include "cli/bus.h"
#include "cli/output.h"
#include "cli/transmitter_read.h"
#include "link/reply_value.h"
#include "protocol/commands.h"

namespace {
// The transmitter's number of decimals ("DP"); nothing after a message when
// the read fails or gives no such code.
std::optional<int> readDecimals(Bus& bus, const QString& address) {
    const QString command = commandText(Command::Decimals);
    const QString reply = bus.exchange(address, command);
    const Answer answer = classifyReply(reply, address);
    std::optional<int> decimals;
    if (answer == Answer::Answered)
        decimals = codeValue(replyValue(reply), kHighestDecimals);
    if (!decimals)
        printError(QStringLiteral("%1 %2: %3; the number of decimals is not known, nothing written")
                       .arg(address, command,
                            answer == Answer::Answered
                                ? QStringLiteral("\"%1\" is no code 0 to %2")
                                      .arg(replyValue(reply), QString::number(kHighestDecimals))
                                : answerProblem(answer)));
    return decimals;
}
} // namespace

PlanStep settingWrites(const SettingValues& values) {
    return [values](Bus& bus, const QString& address) -> std::variant<WritingPlan, ExitCode> {
        std::optional<int> decimals;
        if (needsTransmitterDecimals(values) && !(decimals = readDecimals(bus, address)))
            return kExitFailed;
        const std::variant<WritePlan, Refusal> plan = planSettings(values, decimals);
        if (const Refusal* r = std::get_if<Refusal>(&plan))
            return refuse(r->message);
        return WritingPlan{std::get<WritePlan>(plan).writes};
    };
}
