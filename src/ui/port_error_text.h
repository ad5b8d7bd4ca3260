#pragma once

#include "link/network_address.h"
#include "link/port_error.h"

#include <QString>

// The window's wording of what went wrong with a port, as its message boxes
// and status panel show it: every fact the port layer reports, in one place.
QString portErrorText(const PortError& error);

// What is wrong with a network address as written, or nothing for None.
QString networkAddressText(NetworkAddress::Problem problem);
