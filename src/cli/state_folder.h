#pragma once

#include <QString>

#include <optional>

// The folder where the MQTT client keeps the readings the broker has not yet
// acknowledged, so they outlive the process.

// Makes the folder when it is missing and checks that a file can be written
// there; why not, naming it, when it cannot.
std::optional<QString> stateFolderProblem(const QString& folder);

// Moves what the client of clientId keeps in the folder into a new
// "unreadable-TIME" folder beside it, so a client can start afresh; where it
// went, or why it could not be moved.
QString moveClientStateAside(const QString& folder, const QString& clientId);
