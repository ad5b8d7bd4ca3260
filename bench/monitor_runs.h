#pragma once

#include "cli_runs.h"

// tarnwick-cli monitor publishing a bus of four rates, back to back, to a
// real mosquitto on loopback: readings per second beside what the wire
// allows, the time from a reply's last character to the broker's
// acknowledgement of its reading, and the monitor's CPU share.
void monitorRuns(const AddFigure& add, int seconds);
