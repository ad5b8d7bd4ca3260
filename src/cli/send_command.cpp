// send: one exchange of a command text typed by the engineer, with the
// refusals of the window's manual command box.

#include "cli/addressed_transmitter.h"
#include "cli/bare_command.h"
#include "cli/exit_codes.h"
#include "cli/fixed_rate.h"
#include "cli/output.h"
#include "cli/reply_words.h"
#include "cli/write_run.h"
#include "link/frame.h"
#include "link/traced_port.h"
#include "protocol/text_rules.h"

#include <QJsonObject>

namespace {

QString frameFaultText(frame::FrameFault fault) {
    switch (fault) {
    case frame::FrameFault::None:
        break;
    case frame::FrameFault::BadStart:
        return QStringLiteral("it does not start with *");
    case frame::FrameFault::BadChecksum:
        return QStringLiteral("bad checksum");
    case frame::FrameFault::NoEnd:
        return QStringLiteral("no CR at its end");
    case frame::FrameFault::RunTogether:
        return QStringLiteral("frames run together");
    }
    return QStringLiteral("not a frame");
}

QString refusal(TextProblem problem) {
    switch (problem) {
    case TextProblem::None:
        return QString();
    case TextProblem::Empty:
    case TextProblem::OnlyBlanks:
        return QStringLiteral("the command text is empty");
    case TextProblem::NotPrintableAscii:
        return QStringLiteral("the command text holds characters other than printable ASCII");
    case TextProblem::FrameStart:
        return QStringLiteral("the command text holds \"$\", which a transmitter takes as the "
                              "start of a new request");
    case TextProblem::TooLong:
        return QStringLiteral("the command text is longer than %1 characters")
            .arg(kMaxManualCommand);
    }
    return QString();
}

// What a typed command does for good, when it stores, restores, zeroes or
// moves the transmitter; empty for anything else. The text goes out as
// typed, so its letter case is no safeguard.
QString forGoodEffect(const QString& text) {
    const QString name = text.left(2).toUpper();
    const bool payload = text.size() > 2;
    if (name == QLatin1String("WU"))
        return QStringLiteral("store the present settings in the user data area");
    if (name == QLatin1String("WF"))
        return QStringLiteral("store the present settings in the factory data area");
    if (name == QLatin1String("LD"))
        return QStringLiteral("restore the factory settings");
    if (name == QLatin1String("SZ"))
        return QStringLiteral("take the present pressure as zero");
    if (name == QLatin1String("AD") && payload)
        return QStringLiteral("move the transmitter to another address");
    if (name == QLatin1String("BD") && payload)
        return QStringLiteral("change the transmitter's rate");
    return QString();
}

QString stateOf(const Exchanged& reply) {
    return reply.answered() ? QStringLiteral("answered") : replyProblem(reply.kind);
}

int sendText(const CommandContext& context, ReachedTransmitter& t, const QString& text) {
    const bool json = context.options.json;
    if (context.options.dryRun) {
        const QString frame = requestFrameText(t.address, text);
        if (json)
            printJson(QJsonObject{{QStringLiteral("address"), t.address},
                                  {QStringLiteral("command"), text},
                                  {QStringLiteral("frame"), frame},
                                  {QStringLiteral("dryRun"), true}});
        else
            printLine(QStringLiteral("would send %1").arg(frame));
        return kExitOk;
    }
    ExchangeNotes notes;
    const Exchanged reply = t.transmitter.exchangeText(text, &notes);
    QJsonObject o{
        {QStringLiteral("address"), t.address},
        {QStringLiteral("command"), text},
        {QStringLiteral("reply"),
         reply.reply.isEmpty() ? QJsonValue() : QJsonValue(reply.reply.chopped(1))},
        {QStringLiteral("value"), reply.answered() ? QJsonValue(reply.value()) : QJsonValue()},
        {QStringLiteral("state"), stateOf(reply)}};
    // The window's marker says only that the reply was bad; what came says why.
    QString problem = replyProblem(reply.kind);
    if (reply.kind == ReplyKind::InvalidFrame && !notes.invalidReply.isEmpty()) {
        o.insert(QStringLiteral("raw"), QString::fromLatin1(notes.invalidReply));
        problem = QStringLiteral("%1 (%2): \"%3\"")
                      .arg(problem, frameFaultText(frame::replyFault(notes.invalidReply)),
                           QString::fromLatin1(traceText(notes.invalidReply)));
    }
    if (json)
        printJson(o);
    else
        printLine(reply.reply.chopped(1));
    if (!reply.answered()) {
        printNote(QStringLiteral("%1 %2: %3").arg(t.address, text, problem));
        noteFailure(QStringLiteral("%1 %2: %3").arg(t.address, text, problem));
    }
    return reply.answered() ? kExitOk : kExitFailed;
}

int runSend(CommandContext& context) {
    const QString text = context.arguments.value(1);
    const QString problem = refusal(manualCommandProblem(text));
    if (!problem.isEmpty()) {
        printError(problem + QStringLiteral("; nothing sent"));
        return kExitUsage;
    }
    const std::optional<AddressedTransmitter> addressed = addressedTransmitter(context);
    if (!addressed)
        return kExitUsage;
    // Checked before the port opens, as the commands made for these do.
    const QString effect = forGoodEffect(text);
    if (!effect.isEmpty() && !yesGiven(context) && !context.options.dryRun)
        return refuseWithoutYes(context, addressed->address, text, effect);
    return withTransmitter(
        context.options, *addressed,
        [&](ReachedTransmitter& t) { return sendText(context, t, text); },
        [&](int fixedBaud) { return rateChangeAllowed(fixedBaud, text); });
}

void addSendOptions(QCommandLineParser& parser) {
    addRateOption(parser);
    addYesOption(parser);
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
                           "ASCII, not blank, and 64 characters at most. A text that stores, "
                           "restores, zeroes or moves the transmitter (\"WU\", \"WF\", \"LD\", "
                           "\"SZ\", \"AD\" or \"BD\" with a payload, in any letter case) needs "
                           "--yes. With --dry-run the frame is printed and not sent."),
            2,
            2,
            addSendOptions,
            runSend};
}
