#pragma once

#include "connection/bus_poller.h"
#include "connection/transmitter_connection.h"

#include <QString>

// tarnwick-cli's words for how a transmitter answered.

// "no reply", "invalid reply", "reply from another address", "no data", "port
// lost"; empty for a reply with data.
QString replyProblem(ReplyKind kind);

// Why a reply to "AD" + newAddress does not show the transmitter at the new
// address; empty when it does.
QString addressChangeProblem(const Exchanged& reply, const QString& oldAddress,
                             const QString& newAddress);

// Why a reply to "BD" + digit is not the echo of the digit; empty when it is.
QString rateChangeProblem(const Exchanged& reply, int baudIndex);

// What went wrong with a polled read: replyProblem's words, or "not a
// reading"; empty for a value.
QString polledProblem(PolledValue::Outcome outcome);
