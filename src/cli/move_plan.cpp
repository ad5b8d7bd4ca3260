#include "cli/move_plan.h"

#include "cli/bus.h"
#include "link/reply_value.h"
#include "protocol/commands.h"

QList<PlannedWrite> planMove(const QString& newAddress, int baudIndex, const QString& id,
                             const QString& model) {
    return {{QStringLiteral("id"), commandText(Command::Id, id)},
            {QStringLiteral("address"), commandText(Command::Address, newAddress)},
            {QStringLiteral("baud"), commandText(Command::BaudRate, QString::number(baudIndex)),
             newAddress},
            {QStringLiteral("model"), commandText(Command::Model, model), newAddress}};
}

QString addressChangeProblem(const QString& reply, const QString& oldAddress,
                             const QString& newAddress) {
    Answer answer = classifyReply(reply, oldAddress);
    if (answer == Answer::OtherAddress)
        answer = classifyReply(reply, newAddress);
    if (answer != Answer::Answered)
        return answerProblem(answer);
    const QString value = replyValue(reply);
    return value == newAddress
               ? QString()
               : QStringLiteral("answered \"%1\", not the new address %2").arg(value, newAddress);
}

QString rateChangeProblem(const QString& reply, const QString& address, int baudIndex) {
    const QString problem = answerProblem(classifyReply(reply, address));
    if (!problem.isEmpty())
        return problem;
    const QString digit = QString::number(baudIndex);
    return replyValue(reply) == digit
               ? QString()
               : QStringLiteral("answered \"%1\", not \"%2\"").arg(replyValue(reply), digit);
}
