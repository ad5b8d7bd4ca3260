// send: one exchange of a command text typed by the engineer, with the
// refusals of the window's manual command box.

#include "cli/command_support.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_request.h"
#include "link/frame.h"
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
    int status = kExitOk;
    std::optional<ReachedTransmitter> reached = reachAddressed(context, &status);
    if (!reached)
        return status;
    const QString* address = &reached->address;

    // A typed command may well be a write.
    if (context.options.dryRun) {
        const QByteArray frame = frame::request(address->toLatin1(), text.toLatin1());
        printLine(QStringLiteral("would send %1")
                      .arg(QString::fromLatin1(frame.chopped(1)) + QStringLiteral("\\r")));
        return kExitOk;
    }
    const QString reply = reached->bus().exchange(*address, text);
    printLine(reply.chopped(1));
    const Answer answer = classifyReply(reply, *address);
    if (answer != Answer::Answered)
        printNote(QStringLiteral("%1 %2: %3").arg(*address, text, answerProblem(answer)));
    return answer == Answer::Answered ? kExitOk : kExitFailed;
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
