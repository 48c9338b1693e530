#pragma once

#include "data/Dialect.h"

#include <QString>

namespace data {

// The statements that create the program's tables and indexes in an empty database of the given
// engine, as one text that PQexec runs whole on the server.
QString schemaText(Dialect dialect);

} // namespace data
