#pragma once

#include "cli/write_plan.h"

// The window's address and rate change as writes: "ID" + id, "AD" + the new
// address, "BD" + the baud index, "TY" + model, in that order. The id and
// model go out again so the transmitter keeps them; the "AD" and "BD" replies
// decide where it is afterwards. The writes after "AD" carry the new address.
QList<PlannedWrite> planMove(const QString& newAddress, int baudIndex, const QString& id,
                             const QString& model);
