#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

typedef struct pg_conn PGconn;

// The server side of the benchmark: a server database holding the same sample records as the file,
// the raw libpq readers the program's server engine is measured against, and the switch of the data
// source between the file and the server.
namespace benchserver {

// A server database for the "_pg" lines: made in a throwaway cluster of its own (stopped and removed
// when this object goes, and by a watchdog process when the bench ends any other way), or an empty
// database the caller names.
class ServerDatabase {
public:
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    // Starts a cluster in a folder under /tmp with the project's cluster script and makes the bench
    // database there with the given collation and character type (LC_COLLATE, LC_CTYPE).
    static std::unique_ptr<ServerDatabase> startCluster(const QString& locale, QString* error);
    // An existing server database, which must be empty.
    static std::unique_ptr<ServerDatabase> useExisting(const QString& uri);

    QString uri() const { return m_uri; }
    // Loads the records of the database file as the program's migration does, then gathers the
    // planner's statistics and the visibility map, as a server does some time after a large load.
    bool load(const QString& file, QString* error);
    // Stops and removes the cluster this object started; nothing for an existing database.
    void stop();

private:
    ServerDatabase() = default;

    QString m_uri;
    QString m_folder;    // the cluster's folder; empty for an existing database
    QString m_script;    // the cluster script
    int m_watchdog = -1; // the watchdog's end of the pipe; closing it stops the cluster
    long m_watchdogPid = 0;
};

// A raw libpq connection; the bench ends with the server's message when it cannot connect.
using RawConnection = std::unique_ptr<PGconn, void (*)(PGconn*)>;
RawConnection connectRaw(const QString& uri);
// Runs a statement; the bench ends with the server's message when it fails.
void execRaw(PGconn* conn, const QByteArray& sql, const QList<QByteArray>& params = {});
// The first value of the first row, as an integer.
qint64 scalarRaw(PGconn* conn, const QByteArray& sql, const QList<QByteArray>& params = {});

// The best a raw libpq reader does with a statement's rows in one round trip, every value read as
// its type (integers and numbers converted, texts' length and first byte) into a checksum, as the
// file bench's raw readers do. Each returns the number of rows. The COPY readers are told the
// columns' types (columnTypes, asked once beforehand), so each read is one round trip.
std::vector<unsigned> columnTypes(PGconn* conn, const QByteArray& select);
// COPY in text form: fields split at tabs, numbers converted from their text.
qint64 copyTextRead(PGconn* conn, const QByteArray& select, const std::vector<unsigned>& types, quint64* checksum);
// COPY in binary form: integers and dates as they come, numeric values decoded.
qint64 copyBinaryRead(PGconn* conn, const QByteArray& select, const std::vector<unsigned>& types, quint64* checksum);
// PQexecParams with the values as text, the whole result in one PGresult.
qint64 execRead(PGconn* conn, const QByteArray& sql, const QList<QByteArray>& params, quint64* checksum);

// Points the data source at a database file or a server URI and closes the current data module's
// datasets and connection, so that its next statement runs there.
void pointDataSourceAt(const QString& source);

// One "_pg" line: "<name>_pg rows=N ours=.. raw=.. ratio=..".
void printLine(const char* name, qint64 rows, double ours, double raw, int decimals = 3);

} // namespace benchserver
