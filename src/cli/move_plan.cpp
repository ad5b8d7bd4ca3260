#include "cli/move_plan.h"

#include "connection/transmitter_connection.h"
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
    return TransmitterConnection::addressChangeProblem({replyKindOf(reply, oldAddress), reply},
                                                       oldAddress, newAddress);
}

QString rateChangeProblem(const QString& reply, const QString& address, int baudIndex) {
    return TransmitterConnection::rateChangeProblem({replyKindOf(reply, address), reply},
                                                    baudIndex);
}
