#pragma once

#include "data/Dialect.h"
#include "data/Error.h"

#include <QString>
#include <QStringList>

#include <memory>

struct sqlite3;

namespace data {

class Engine;
struct ResultTarget;
struct RowNotice;
struct StatementOutcome;

// The database connection of one data module. It resolves the data source "Dorvik" through the
// registry store: the value DBQ names a database file (opened read-write, never created) or a
// server (a postgresql:// URI). It connects on the first statement and can be closed so that the
// next statement reconnects; a connection that breaks is closed by the engine, so the next
// statement tries the server again. While another user holds a lock, a statement waits up to the
// busy timeout before it fails.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects when not connected; false with the reason when that fails.
    bool open(Error* error = nullptr);
    bool isOpen() const;
    // Tells one opening of a database from every other in this process: a new number each time a
    // connection opens (a reopen of the same database after a restore included), 0 while closed.
    // An engine may restart its counters after a reopen, so only this number shows that rows read
    // earlier came from another opening.
    quint64 generation() const { return m_generation; }
    void close();

    // The dialect of the engine the data source names (known before connecting).
    Dialect dialect() const;
    // True when the data source names a server.
    bool onServer() const { return dialect() == Dialect::Postgres; }

    // Runs one statement through the engine, connecting first when needed.
    bool run(const QString& sql, const QVariantList& params, ResultTarget* target, StatementOutcome* outcome,
             Error* error);
    // Runs one statement that returns no rows (ROLLBACK ...).
    bool execute(const QString& statement, Error* error = nullptr);
    // Begins a transaction that writes; beginStatement() is the statement it runs.
    bool begin(Error* error = nullptr);
    QString beginStatement() const;
    // True while a transaction begun on this connection is open.
    bool inTransaction() const;
    // Rows changed on this connection since it opened, and the mark that moves when another
    // connection commits a change (see Engine).
    qint64 totalChanges() const;
    qint64 othersChangeMark();
    // True while the open connection hears other connections' changes as row notices (see Engine);
    // the notices that arrived meanwhile, without waiting.
    bool hearsOthers() const;
    QList<RowNotice> takeRowNotices();

    // The open SQLite handle of a file database (for the online backup), connecting first; nullptr
    // with the reason when that fails or the data source names a server.
    sqlite3* fileHandle(Error* error = nullptr);

    // How long a statement waits for another user's lock, in milliseconds. The default holds
    // for connections made afterwards; tests shorten it.
    int busyTimeout() const { return m_busyTimeout; }
    void setBusyTimeout(int milliseconds);
    static int defaultBusyTimeout();
    static void setDefaultBusyTimeout(int milliseconds);
    static constexpr int kStandardBusyTimeout = 3000;

    // The data source's value: a database file or a server URI; empty when there is none.
    static QString dataSource();
    // The database file named by the data source; empty when there is none or it names a server.
    static QString dataSourcePath();
    static const QString kDataSourceKey;
    // The tables every database of this program holds.
    static const QStringList kProgramTables;

private:
    std::unique_ptr<Engine> m_engine;
    quint64 m_generation = 0;
    int m_busyTimeout;
};

// True when the file is an SQLite database that holds every table of this program. It is opened
// read-only for the check and never changed.
bool isProgramDatabaseFile(const QString& path);

// Empty when the SQLite library in use is at least the one the program was built against (newer
// libraries read and write the same files); otherwise the refusal to show at start-up. The
// arguments exist for tests.
QString engineVersionProblem(int runningVersion = -1, int builtVersion = -1);

} // namespace data
