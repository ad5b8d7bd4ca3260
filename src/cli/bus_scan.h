#pragma once

#include "cli/cli_command.h"
#include "connection/transmitter_place.h"

#include <QList>
#include <QString>

#include <functional>

class BusLine;

// The bus scanned as the window's search scans it, for search and inventory,
// optionally limited to some rates and addresses.

// The scan's options: --baud LIST and --address RANGE.
void addScanOptions(QCommandLineParser& parser);

using UseScan = std::function<int(BusLine& line, const QList<TransmitterPlace>& found)>;

// Reads the scan's options, opens the port and probes each address at each
// rate with "AD", in the order and with the answer rule of the window's
// search, until Ctrl-C ends it between two probes; a progress line is drawn
// on a terminal, and with printFound each transmitter is printed as it
// answers. The exit status of use on what was found, or 2 after a message
// for a bad option or a port that does not open.
int withScannedBus(const CommandContext& context, bool printFound, const UseScan& use);
