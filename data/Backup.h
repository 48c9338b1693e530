#pragma once

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

// Copies the database behind the connection into backupFile with SQLite's online backup, while the
// program stays connected: the copy holds every committed record and is consistent. It is written
// beside backupFile first and takes its place only when complete, so a failed backup leaves the
// previous backup file as it was. The backup folder is created when missing.
CopyOutcome backupDatabase(Connection& connection, const QString& backupFile);

// Puts backupFile in place of the live database that the connection uses. The backup file must be
// a sound database with this program's tables. The connection is closed first (datasets keep their
// loaded rows; the next statement reconnects and reads the restored data); the copy then goes into
// the live file through SQLite in one transaction, so a failure (no room, no rights, file in use)
// leaves the live database exactly as it was.
CopyOutcome restoreDatabase(Connection& connection, const QString& backupFile);

} // namespace data
