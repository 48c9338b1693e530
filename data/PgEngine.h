#pragma once

#include "data/Engine.h"

#include <QHash>
#include <QSet>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace data {

// The server engine: PostgreSQL through libpq, one connection. Statements are sent with their
// values in one round trip each; rows are read one at a time into the column store, so a long
// list never sits twice in memory. A connection that breaks is closed, so the next statement
// connects again.
class PgEngine : public Engine {
public:
    explicit PgEngine(int busyTimeout) : m_busyTimeout(busyTimeout) {}
    ~PgEngine() override;

    Dialect dialect() const override { return Dialect::Postgres; }
    bool open(const QString& uri, Error* error) override;
    void close() override;
    bool isOpen() const override { return m_conn != nullptr; }
    bool run(const QString& sql, const QVariantList& params, ResultTarget* target, StatementOutcome* outcome,
             Error* error) override;
    bool execute(const QString& statement, Error* error) override;
    bool inTransaction() const override;
    qint64 totalChanges() const override { return m_totalChanges; }
    qint64 othersChangeMark() override;
    void setBusyTimeout(int milliseconds) override;
    bool hearsOthers() const override { return m_conn && m_listening; }
    QList<RowNotice> takeRowNotices() override;

    // Whether open() refuses a database that lacks the program's tables (true unless told
    // otherwise; preparing an empty database needs it off).
    void setRequireProgramTables(bool require) { m_requireTables = require; }
    PGconn* handle() const { return m_conn; }
    // The failure a result (or, without one, the connection) reports, in the neutral kinds; a
    // broken connection is closed.
    Error failureOf(const PGresult* result);

    // The oldest server the program works with, as PQserverVersion gives it.
    static constexpr int kOldestServer = 130000;

private:
    // A result's column names as the program spells them, and the server's type of each.
    QStringList columnNames(const PGresult* result, const QString& sql, std::vector<unsigned int>* types) const;
    // Listens for the row notices, first bringing an older database's triggers up to them.
    void listenForRowNotices(bool hasRowNotices);
    void addHistoryTables(const QSet<QString>& names);
    bool runByCopy(const QByteArray& text, const QString& sql, ResultTarget* target, StatementOutcome* outcome,
                   Error* error);

    PGconn* m_conn = nullptr;
    int m_busyTimeout;
    qint64 m_totalChanges = 0;
    bool m_requireTables = true;
    bool m_hasChangeCounter = false;
    bool m_listening = false;
    QHash<unsigned int, QString> m_programTables; // the server's number of each program table
};

// A statement's "?" placeholders (outside quotes and comments) turned into $1, $2, ...; the count
// in *placeholders. False when more than one statement is in the text.
bool numberPlaceholders(const QByteArray& sql, QByteArray* numbered, int* placeholders);

// The refusal of a server older than the program needs; empty when the version is fine.
QString serverVersionProblem(int serverVersion);

} // namespace data
