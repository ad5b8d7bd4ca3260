#pragma once

#include "link/port_error.h"

// tarnwick-cli's wording of what went wrong with a port, naming the device:
// every fact the port layer reports, in one place.
QString portErrorMessage(const PortError& error);

// What is wrong with a network address as written, or nothing for None.
QString networkAddressMessage(NetworkAddress::Problem problem);
