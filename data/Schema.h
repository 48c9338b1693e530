#pragma once

#include "data/Dialect.h"

#include <QString>

namespace data {

// The statements that create the program's tables and indexes in an empty database of the given
// engine, as one text: sqlite3_exec runs the SQLite one, PQexec the PostgreSQL one. Both come from
// one description of the tables, so the two engines hold the same tables, columns and indexes.
QString schemaText(Dialect dialect);

} // namespace data
