#pragma once

#include "data/Error.h"

#include <QString>

#include <functional>

struct sqlite3;

namespace data {

class PgEngine;

// Told after each table is copied: its name and the rows it holds.
using TableProgress = std::function<void(const QString& table, qint64 rows)>;

// Copies every row of the program's tables and of the history tables (closed months, change record),
// keys included, from the server into a file database made from the file schema and still empty. The rows come from one
// snapshot of the server (a read-only REPEATABLE READ transaction) and go into the file in one transaction: prices as
// the file's REAL numbers, dates as "yyyy-MM-dd" text.
bool copyServerToFile(PgEngine& server, sqlite3* file, Error* error);

// What a load into the server may find there.
enum class ServerLoad {
    Replace,   // the program's tables, whose rows the load replaces, those of the history tables too
    IntoEmpty, // no tables at all (the schema is made first) or the program's tables without rows, and
               // the history tables, where present, without rows
};

// Loads every row of the program's tables and of the history tables, keys included, from a file
// database into the server in one transaction: all or nothing. A history table the file lacks (a file
// of an earlier version) stays empty on the server; the server gets the history tables where it lacks
// them. Each table's identity column then continues past the highest key loaded. A failure names the table and the
// server's cause, and leaves the server as it was.
bool copyFileToServer(sqlite3* file, PgEngine& server, ServerLoad load, const TableProgress& progress, Error* error);

} // namespace data
