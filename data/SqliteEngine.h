#pragma once

#include "data/Engine.h"

struct sqlite3;

namespace data {

// The database file engine: SQLite through its C API, one connection, used by one thread.
class SqliteEngine : public Engine {
public:
    explicit SqliteEngine(int busyTimeout) : m_busyTimeout(busyTimeout) {}
    ~SqliteEngine() override;

    Dialect dialect() const override { return Dialect::Sqlite; }
    bool open(const QString& path, Error* error) override;
    void close() override;
    bool isOpen() const override { return m_db != nullptr; }
    bool run(const QString& sql, const QVariantList& params, ResultTarget* target, StatementOutcome* outcome,
             Error* error) override;
    bool execute(const QString& statement, Error* error) override;
    bool inTransaction() const override;
    qint64 totalChanges() const override;
    qint64 othersChangeMark() override;
    void setBusyTimeout(int milliseconds) override;

    // The open handle, for what only a file has (the online backup).
    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }
    // The failure of the last call on the handle that returned rc, in the user's words.
    Error failure(int rc) const;

private:
    sqlite3* m_db = nullptr;
    QString m_path;
    int m_busyTimeout;
};

// The first of the program's tables that the open database lacks; empty when it holds them all.
// When the table list cannot be read, empty as well, with SQLite's result code in *rc.
QString missingProgramTable(sqlite3* db, int* rc = nullptr);

} // namespace data
