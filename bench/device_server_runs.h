#pragma once

#include "cli_runs.h"

// tarnwick-cli on the simulated bus behind ser2net's RFC 2217 accepter on
// loopback: a full read's time against its wire time, with ser2net's
// character delay off and with its defaults, and what the link adds to
// every exchange.
void deviceServerRuns(const AddFigure& add);
