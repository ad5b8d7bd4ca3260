#pragma once

#include <QStringList>

// The names of the engineering units by unit code 0 to 6.
const QStringList& unitNames();
