#include "cli/move_plan.h"

#include "protocol/commands.h"

QList<PlannedWrite> planMove(const QString& newAddress, int baudIndex, const QString& id,
                             const QString& model) {
    return {{QStringLiteral("id"), commandText(Command::Id, id)},
            {QStringLiteral("address"), commandText(Command::Address, newAddress), {}, true},
            {QStringLiteral("baud"), commandText(Command::BaudRate, QString::number(baudIndex)),
             newAddress},
            {QStringLiteral("model"), commandText(Command::Model, model), newAddress}};
}
