#pragma once

#include "data/Error.h"

#include <QString>
#include <QStringList>

struct sqlite3;

namespace data {

// The database connection of one data module. It resolves the data source "Dorvik" through the
// registry store (the value DBQ names the database file) and opens the file itself, read-write,
// never creating it, on the first statement; it can be closed so that the next statement
// reconnects. While another program holds a lock on the file, a statement waits up to the busy
// timeout before it fails.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The open SQLite handle, connecting first when needed; nullptr with the reason when that fails.
    sqlite3* handle(Error* error = nullptr);
    bool isOpen() const { return m_handle != nullptr; }
    // Tells one opening of a database from every other in this process: a new number each time a
    // connection opens (a reopen of the same file after a restore included), 0 while closed.
    // SQLite may hand back the same handle address and restart its counters after a reopen, so
    // only this number shows that rows read earlier came from another opening.
    quint64 generation() const { return m_generation; }
    void close();

    // Runs one statement that returns no rows (BEGIN, COMMIT, ROLLBACK ...).
    bool execute(const char* statement, Error* error = nullptr);
    // True while a transaction begun on this connection is open.
    bool inTransaction() const;
    // The failure of the last call on the handle that returned rc, in the user's words.
    Error failure(int rc) const;

    // How long a statement waits for another program's lock, in milliseconds. The default holds
    // for connections made afterwards; tests shorten it.
    int busyTimeout() const { return m_busyTimeout; }
    void setBusyTimeout(int milliseconds);
    static int defaultBusyTimeout();
    static void setDefaultBusyTimeout(int milliseconds);
    static constexpr int kStandardBusyTimeout = 3000;

    // The database file named by the data source, or an empty text when there is none.
    static QString dataSourcePath();
    static const QString kDataSourceKey;
    // The tables every database of this program holds.
    static const QStringList kProgramTables;

private:
    sqlite3* m_handle = nullptr;
    quint64 m_generation = 0;
    QString m_path;
    int m_busyTimeout;
};

// The first of the program's tables that the open database lacks; empty when it holds them all.
// When the table list cannot be read, empty as well, with SQLite's result code in *rc.
QString missingProgramTable(sqlite3* db, int* rc = nullptr);

// True when the file is an SQLite database that holds every table of this program. It is opened
// read-only for the check and never changed.
bool isProgramDatabaseFile(const QString& path);

// Empty when the SQLite library in use is at least the one the program was built against (newer
// libraries read and write the same files); otherwise the refusal to show at start-up. The
// arguments exist for tests.
QString engineVersionProblem(int runningVersion = -1, int builtVersion = -1);

} // namespace data
