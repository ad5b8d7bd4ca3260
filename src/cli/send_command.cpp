// send: one exchange of a command text typed by the engineer, with the
// refusals of the window's manual command box.

#include "cli/addressed_transmitter.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/write_run.h"
#include "protocol/text_rules.h"

namespace {

QString refusal(TextProblem problem) {
    switch (problem) {
    case TextProblem::None:
        return QString();
    case TextProblem::Empty:
    case TextProblem::OnlyBlanks:
        return QStringLiteral("the command text is empty");
    case TextProblem::NotPrintableAscii:
        return QStringLiteral("the command text holds characters other than printable ASCII");
    case TextProblem::TooLong:
        return QStringLiteral("the command text is longer than %1 characters")
            .arg(kMaxManualCommand);
    }
    return QString();
}

int runSend(CommandContext& context) {
    const QString text = context.arguments.value(1);
    const QString problem = refusal(manualCommandProblem(text));
    if (!problem.isEmpty()) {
        printError(problem + QStringLiteral("; nothing sent"));
        return kExitUsage;
    }
    return withAddressedTransmitter(context, [&](ReachedTransmitter& t) {
        // A typed command may well be a write.
        if (context.options.dryRun) {
            printLine(QStringLiteral("would send %1").arg(requestFrameText(t.address, text)));
            return kExitOk;
        }
        const Exchanged reply = t.transmitter.exchangeText(text);
        printLine(reply.reply.chopped(1));
        if (!reply.answered())
            printNote(QStringLiteral("%1 %2: %3").arg(t.address, text, replyProblem(reply.kind)));
        return reply.answered() ? kExitOk : kExitFailed;
    });
}

} // namespace

CliCommand sendCommand() {
    return {QStringLiteral("send"),
            QStringLiteral("ADDR TEXT"),
            QStringLiteral("Send one command text and print the reply"),
            QStringLiteral("One exchange, as the window's manual command box makes it: TEXT is the "
                           "command name and its payload (\"UT\", \"RP0\", \"DP2\"), framed with "
                           "the address and checksum. The reply is printed without its CR: \"*\", "
                           "the address and the data, or ERR 0 / EER 3. TEXT must be printable "
                           "ASCII, not blank, and 64 characters at most. With --dry-run the "
                           "frame is printed and not sent."),
            2,
            2,
            addRateOption,
            runSend};
}
