#pragma once

#include "data/ServerCopy.h"

#include <QString>

namespace data {

class Connection;

// The outcome of a backup or a restore: success, or what went wrong in the user's words.
struct CopyOutcome {
    bool ok = false;
    QString message; // empty on success
    int code = 0;    // SQLite's result code when the engine refused; 0 otherwise
};

// The one backup slot: DorvikSalary.mdb in the folder "backup" of the program folder.
QString backupFilePath();

// Copies the database behind the connection into backupFile, while the program stays connected: the
// copy holds every committed record and is consistent. A file database is copied with SQLite's
// online backup; a server's rows go into a file database of the same schema from one snapshot of
// the server. Either way the copy is written
// beside backupFile first and takes its place only when complete, so a failed backup leaves the
// previous backup file as it was. The backup folder is created when missing.
CopyOutcome backupDatabase(Connection& connection, const QString& backupFile);

// Puts backupFile in place of the live database that the connection uses. The backup file must be
// a sound database with this program's tables. The connection is closed first (datasets keep their
// loaded rows; the next statement reconnects and reads the restored data); the copy then goes into
// the live file through SQLite in one transaction, so a failure (no room, no rights, file in use)
// leaves the live database exactly as it was. On a server the backup's rows replace those of the
// program's tables and of the history tables in one transaction, keys included, with the same
// all-or-nothing outcome (a backup without the history tables leaves them empty).
CopyOutcome restoreDatabase(Connection& connection, const QString& backupFile);

// Loads a file database of this program into the server database at uri, in one transaction. A
// server database without any table is given the program's tables first; one whose program tables
// (or history tables) hold any row is refused, so nothing is overwritten. The progress is told after each table.
CopyOutcome migrateToServer(const QString& file, const QString& uri, const TableProgress& progress = {});

} // namespace data
