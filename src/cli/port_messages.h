#pragma once

#include "link/port_error.h"

// A port error in English, naming the device.
QString portErrorMessage(const PortError& error);
