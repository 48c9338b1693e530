#include "data/ServerCopy.h"

#include "data/Connection.h"
#include "data/PgEngine.h"
#include "data/Schema.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <memory>
#include <string>
#include <vector>

namespace data {

namespace {

using ResultPtr = std::unique_ptr<PGresult, void (*)(PGresult*)>;

// How much COPY text gathers before it goes to the server.
constexpr qsizetype kCopyChunk = 1 << 16;

// A table as the file schema has it: its columns with their declared types, the key first or not.
struct FileTable {
    QString name;
    QList<QByteArray> columns;
    QList<QByteArray> types; // INTEGER, REAL or TEXT
    QByteArray key;
};

// A column's name in a statement either engine runs: "User" is a keyword on the server.
QByteArray sqlName(const QByteArray& column)
{
    return column == "User" ? QByteArrayLiteral("\"User\"") : column;
}

QByteArray columnList(const FileTable& table)
{
    QList<QByteArray> names;
    for (const QByteArray& column : table.columns)
        names << sqlName(column);
    return names.join(", ");
}

Error fileError(int rc)
{
    return Error{rc, causeOfEngineCode(rc), kindOfEngineCode(rc)};
}

bool failWith(Error* error, const Error& failed)
{
    if (error)
        *error = failed;
    return false;
}

// The server's failure while it copies one table: the table, the cause and, where the server gives
// one, its detail (the value of a refused duplicate).
Error tableFailure(PgEngine& server, const PGresult* result, const QString& table)
{
    Error failed = server.failureOf(result);
    failed.text = QStringLiteral("数据表 %1：%2").arg(table, failed.text);
    if (const char* detail = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL) : nullptr)
        failed.text += QStringLiteral("（%1）").arg(QString::fromUtf8(detail).trimmed());
    return failed;
}

bool readFileTable(sqlite3* file, const QString& name, FileTable* table, Error* error)
{
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(file, "SELECT name, type, pk FROM pragma_table_info(?1)", -1, &st, nullptr);
    const QByteArray tableName = name.toUtf8();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(st, 1, tableName.constData(), int(tableName.size()), SQLITE_STATIC);
    table->name = name;
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        const QByteArray column(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        table->columns << column;
        table->types << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))).toUpper();
        if (sqlite3_column_int(st, 2) == 1)
            table->key = column;
        rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return failWith(error, fileError(rc));
    if (table->columns.isEmpty() || table->key.isEmpty())
        return failWith(error, Error{SQLITE_CORRUPT, notThisProgramsDatabaseText(name), ErrorKind::NotOurs});
    return true;
}

// One statement of the server that returns no COPY data; false with the failure.
bool serverExec(PgEngine& server, const QByteArray& statement, Error* error, ResultPtr* rows = nullptr)
{
    ResultPtr result(PQexec(server.handle(), statement.constData()), PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        return failWith(error, server.failureOf(result.get()));
    if (rows)
        *rows = std::move(result);
    return true;
}

// Ends the server's transaction after a failure, unless the connection is gone with it.
void rollBack(PgEngine& server)
{
    if (server.handle() && PQtransactionStatus(server.handle()) != PQTRANS_IDLE)
        PQclear(PQexec(server.handle(), "ROLLBACK"));
}

// The COPY text form of one field (backslash escapes; the server reads "\N" as NULL).
void unescapeField(const char* begin, const char* end, std::string* out)
{
    out->clear();
    for (const char* p = begin; p < end; ++p) {
        if (*p != '\\' || p + 1 == end) {
            out->push_back(*p);
            continue;
        }
        const char c = *++p;
        switch (c) {
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'v': out->push_back('\v'); break;
        case 'x': {
            int value = 0;
            int digits = 0;
            while (digits < 2 && p + 1 < end && std::isxdigit(static_cast<unsigned char>(p[1]))) {
                const char h = *++p;
                value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                ++digits;
            }
            if (digits == 0)
                out->push_back('x');
            else
                out->push_back(char(value));
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                int value = c - '0';
                for (int digits = 1; digits < 3 && p + 1 < end && p[1] >= '0' && p[1] <= '7'; ++digits)
                    value = value * 8 + (*++p - '0');
                out->push_back(char(value));
            } else {
                out->push_back(c);
            }
        }
    }
}

void appendEscaped(QByteArray* line, const char* text, int size)
{
    for (int i = 0; i < size; ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': line->append("\\\\"); break;
        case '\t': line->append("\\t"); break;
        case '\n': line->append("\\n"); break;
        case '\r': line->append("\\r"); break;
        default: line->append(c);
        }
    }
}

// Stores one COPY line of the server into the prepared insert; false with the failure.
bool storeLine(sqlite3_stmt* insert, const FileTable& table, const char* line, int size,
               std::vector<std::string>* fields, Error* error)
{
    const char* end = line + size;
    if (end > line && end[-1] == '\n')
        --end;
    const char* p = line;
    for (int c = 0; c < table.columns.size(); ++c) {
        const char* stop = p;
        while (stop < end && *stop != '\t')
            ++stop;
        int rc;
        if (stop - p == 2 && p[0] == '\\' && p[1] == 'N') {
            rc = sqlite3_bind_null(insert, c + 1);
        } else {
            std::string& field = (*fields)[size_t(c)];
            unescapeField(p, stop, &field);
            const QByteArray& type = table.types.at(c);
            if (type == "INTEGER") {
                qint64 value = 0;
                const auto [at, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
                if (ec != std::errc() || at != field.data() + field.size())
                    return failWith(error,
                                    Error{SQLITE_MISMATCH, causeOfEngineCode(SQLITE_MISMATCH), ErrorKind::BadValue});
                rc = sqlite3_bind_int64(insert, c + 1, value);
            } else if (type == "REAL") {
                double value = 0;
                const auto [at, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
                if (ec != std::errc() || at != field.data() + field.size())
                    return failWith(error,
                                    Error{SQLITE_MISMATCH, causeOfEngineCode(SQLITE_MISMATCH), ErrorKind::BadValue});
                rc = sqlite3_bind_double(insert, c + 1, value);
            } else {
                rc = sqlite3_bind_text(insert, c + 1, field.data(), int(field.size()), SQLITE_STATIC);
            }
        }
        if (rc != SQLITE_OK)
            return failWith(error, fileError(rc));
        p = stop < end ? stop + 1 : end;
    }
    const int rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    if (rc != SQLITE_DONE)
        return failWith(error, fileError(sqlite3_extended_errcode(sqlite3_db_handle(insert))));
    return true;
}

// Reads what is left of a COPY TO STDOUT after a failure, so that the connection can go on.
void drainCopyOut(PGconn* conn)
{
    char* buffer = nullptr;
    while (PQgetCopyData(conn, &buffer, 0) > 0)
        PQfreemem(buffer);
    while (PGresult* rest = PQgetResult(conn))
        PQclear(rest);
}

bool copyTableOut(PgEngine& server, sqlite3* file, const FileTable& table, Error* error)
{
    const QByteArray columns = columnList(table);
    QByteArray insertSql = "INSERT INTO " + table.name.toUtf8() + " (" + columns + ") VALUES (";
    for (int c = 0; c < table.columns.size(); ++c)
        insertSql += c ? ", ?" : "?";
    insertSql += ")";
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(file, insertSql.constData(), -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> insert(raw, sqlite3_finalize);
    if (rc != SQLITE_OK)
        return failWith(error, fileError(rc));

    PGconn* conn = server.handle();
    const QByteArray copy =
        "COPY (SELECT " + columns + " FROM " + table.name.toUtf8() + " ORDER BY " + sqlName(table.key) + ") TO STDOUT";
    ResultPtr started(PQexec(conn, copy.constData()), PQclear);
    if (PQresultStatus(started.get()) != PGRES_COPY_OUT)
        return failWith(error, tableFailure(server, started.get(), table.name));

    std::vector<std::string> fields(size_t(table.columns.size()));
    char* buffer = nullptr;
    int size;
    while ((size = PQgetCopyData(conn, &buffer, 0)) > 0) {
        const bool stored = storeLine(insert.get(), table, buffer, size, &fields, error);
        PQfreemem(buffer);
        if (!stored) {
            drainCopyOut(conn);
            if (error)
                error->text = QStringLiteral("数据表 %1：%2").arg(table.name, error->text);
            return false;
        }
    }
    ResultPtr finished(PQgetResult(conn), PQclear);
    const bool ok = size == -1 && PQresultStatus(finished.get()) == PGRES_COMMAND_OK;
    Error failed = ok ? Error{} : tableFailure(server, finished.get(), table.name);
    if (server.handle())
        while (PGresult* rest = PQgetResult(conn))
            PQclear(rest);
    return ok || failWith(error, failed);
}

// A table's indexes but its key, dropped while its rows load and made again afterwards: one sorted
// build of each index is many times faster than placing a million rows into it one at a time.
// A duplicate that a unique index refuses is found when it is made again.
struct DeferredIndexes {
    QList<QByteArray> create;
};

bool dropFileIndexes(sqlite3* file, const QString& table, DeferredIndexes* indexes, Error* error)
{
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(file,
                                "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL "
                                "AND tbl_name = ?1 COLLATE NOCASE",
                                -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(raw, sqlite3_finalize);
    const QByteArray name = table.toUtf8();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(st.get(), 1, name.constData(), int(name.size()), SQLITE_STATIC);
    QList<QByteArray> drops;
    while (rc == SQLITE_OK && (rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        drops << "DROP INDEX \"" + QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0))) + "\"";
        indexes->create << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1)));
        rc = SQLITE_OK;
    }
    if (rc != SQLITE_DONE)
        return failWith(error, fileError(rc));
    for (const QByteArray& drop : drops)
        if ((rc = sqlite3_exec(file, drop.constData(), nullptr, nullptr, nullptr)) != SQLITE_OK)
            return failWith(error, fileError(rc));
    return true;
}

bool createFileIndexes(sqlite3* file, const DeferredIndexes& indexes, Error* error)
{
    for (const QByteArray& create : indexes.create)
        if (const int rc = sqlite3_exec(file, create.constData(), nullptr, nullptr, nullptr); rc != SQLITE_OK)
            return failWith(error, fileError(rc));
    return true;
}

bool dropServerIndexes(PgEngine& server, const QByteArray& table, DeferredIndexes* indexes, Error* error)
{
    ResultPtr found(nullptr, PQclear);
    if (!serverExec(server,
                    "SELECT format('DROP INDEX %I.%I', n.nspname, c.relname), pg_get_indexdef(i.indexrelid) "
                    "FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
                    "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE i.indrelid = '" +
                        table.toLower() +
                        "'::regclass AND NOT EXISTS (SELECT 1 FROM pg_constraint k WHERE k.conindid = i.indexrelid)",
                    error, &found))
        return false;
    for (int r = 0; r < PQntuples(found.get()); ++r) {
        indexes->create << QByteArray(PQgetvalue(found.get(), r, 1));
        if (!serverExec(server, QByteArray(PQgetvalue(found.get(), r, 0)), error))
            return false;
    }
    return true;
}

bool createServerIndexes(PgEngine& server, const QString& table, const DeferredIndexes& indexes, Error* error)
{
    for (const QByteArray& create : indexes.create) {
        ResultPtr result(PQexec(server.handle(), create.constData()), PQclear);
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
            return failWith(error, tableFailure(server, result.get(), table));
    }
    return true;
}

bool copyTableIn(sqlite3* file, PgEngine& server, const FileTable& table, qint64* rows, Error* error)
{
    const QByteArray columns = columnList(table);
    const QByteArray select = "SELECT " + columns + " FROM " + table.name.toUtf8() + " ORDER BY " + sqlName(table.key);
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(file, select.constData(), -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> read(raw, sqlite3_finalize);
    if (rc != SQLITE_OK)
        return failWith(error, fileError(rc));

    PGconn* conn = server.handle();
    const QByteArray copy = "COPY " + table.name.toUtf8() + " (" + columns + ") FROM STDIN";
    ResultPtr started(PQexec(conn, copy.constData()), PQclear);
    if (PQresultStatus(started.get()) != PGRES_COPY_IN)
        return failWith(error, tableFailure(server, started.get(), table.name));

    const int count = int(table.columns.size());
    QByteArray text;
    text.reserve(kCopyChunk + 4096);
    char number[32];
    bool sent = true;
    *rows = 0;
    while (sent && (rc = sqlite3_step(read.get())) == SQLITE_ROW) {
        for (int c = 0; c < count; ++c) {
            if (c)
                text.append('\t');
            switch (sqlite3_column_type(read.get(), c)) {
            case SQLITE_NULL: text.append("\\N"); break;
            case SQLITE_INTEGER: {
                const auto result = std::to_chars(number, number + sizeof number, sqlite3_column_int64(read.get(), c));
                text.append(number, result.ptr - number);
                break;
            }
            case SQLITE_FLOAT: {
                // The shortest text that reads back as the same double: 0.125 stays "0.125".
                const auto result = std::to_chars(number, number + sizeof number, sqlite3_column_double(read.get(), c));
                text.append(number, result.ptr - number);
                break;
            }
            default: {
                const char* value = reinterpret_cast<const char*>(sqlite3_column_text(read.get(), c));
                appendEscaped(&text, value, sqlite3_column_bytes(read.get(), c));
            }
            }
        }
        text.append('\n');
        ++*rows;
        if (text.size() >= kCopyChunk) {
            sent = PQputCopyData(conn, text.constData(), int(text.size())) == 1;
            text.clear();
        }
    }
    if (sent && rc == SQLITE_DONE && !text.isEmpty())
        sent = PQputCopyData(conn, text.constData(), int(text.size())) == 1;
    const bool readWhole = rc == SQLITE_DONE || !sent;
    // A file that cannot be read to the end stops the copy; the server then refuses it.
    if (sent)
        sent = PQputCopyEnd(conn, readWhole ? nullptr : "the file could not be read") == 1;
    ResultPtr finished(PQgetResult(conn), PQclear);
    const bool ok = sent && readWhole && PQresultStatus(finished.get()) == PGRES_COMMAND_OK;
    Error failed;
    if (!ok)
        failed = sent && !readWhole ? fileError(rc) : tableFailure(server, finished.get(), table.name);
    if (server.handle())
        while (PGresult* rest = PQgetResult(conn))
            PQclear(rest);
    return ok || failWith(error, failed);
}

// True when the database file holds the table (a file of an earlier version lacks the history
// tables).
bool fileHasTable(sqlite3* file, const QString& name, bool* has, Error* error)
{
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(file, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE",
                                -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(raw, sqlite3_finalize);
    const QByteArray tableName = name.toUtf8();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(st.get(), 1, tableName.constData(), int(tableName.size()), SQLITE_STATIC);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return failWith(error, fileError(rc));
    *has = rc == SQLITE_ROW;
    return true;
}

// The history tables the server holds, by their names in the schema.
bool serverHistoryTables(PgEngine& server, QStringList* present, Error* error)
{
    present->clear();
    for (const QString& table : historyTableNames()) {
        ResultPtr result(nullptr, PQclear);
        if (!serverExec(server, "SELECT to_regclass('" + table.toLower().toUtf8() + "') IS NOT NULL", error, &result))
            return false;
        if (QByteArray(PQgetvalue(result.get(), 0, 0)) == "t")
            *present << table;
    }
    return true;
}

// The program's tables on the server: none, all, or some (then the first missing one in *missing).
enum class Found { None, Program, Other };

bool findServerTables(PgEngine& server, Found* found, QString* missing, Error* error)
{
    ResultPtr result(nullptr, PQclear);
    if (!serverExec(server,
                    "SELECT lower(relname) FROM pg_class WHERE relnamespace = current_schema()::regnamespace "
                    "AND relkind IN ('r', 'p')",
                    error, &result))
        return false;
    QSet<QString> names;
    for (int r = 0; r < PQntuples(result.get()); ++r)
        names.insert(QString::fromUtf8(PQgetvalue(result.get(), r, 0)));
    *found = names.isEmpty() ? Found::None : Found::Program;
    for (const QString& table : Connection::kProgramTables)
        if (!names.contains(table.toLower())) {
            *found = names.isEmpty() ? Found::None : Found::Other;
            *missing = table;
            break;
        }
    return true;
}

bool prepareEmptyServer(PgEngine& server, Error* error)
{
    Found found = Found::None;
    QString missing;
    if (!findServerTables(server, &found, &missing, error))
        return false;
    if (found == Found::None)
        return serverExec(server, schemaText(Dialect::Postgres).toUtf8(), error);
    if (found == Found::Other)
        return failWith(error, Error{1, notThisProgramsDatabaseText(missing), ErrorKind::NotOurs});
    // A server database of an earlier version gets the history tables here; the ones it has must be
    // empty as well, so that no line of its change record is overwritten.
    QStringList history;
    if (!serverHistoryTables(server, &history, error))
        return false;
    if (history.size() < historyTableNames().size() &&
        !serverExec(server, historyTablesText(Dialect::Postgres).toUtf8(), error))
        return false;
    for (const QString& table : Connection::kProgramTables + history) {
        ResultPtr result(nullptr, PQclear);
        if (!serverExec(server, "SELECT EXISTS (SELECT 1 FROM " + table.toUtf8() + ")", error, &result))
            return false;
        if (QByteArray(PQgetvalue(result.get(), 0, 0)) == "t")
            return failWith(error, Error{1,
                                         QStringLiteral("数据库服务器上的数据表 %1 中已有数据，"
                                                        "为了不覆盖这些数据，没有写入任何数据")
                                             .arg(table),
                                         ErrorKind::Other});
    }
    return true;
}

} // namespace

bool copyServerToFile(PgEngine& server, sqlite3* file, Error* error)
{
    if (!serverExec(server, "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY", error))
        return false;
    // Room for the index builds' sorts.
    sqlite3_exec(file, "PRAGMA cache_size = -131072", nullptr, nullptr, nullptr);
    int rc = sqlite3_exec(file, "BEGIN", nullptr, nullptr, nullptr);
    bool ok = rc == SQLITE_OK || failWith(error, fileError(rc));
    // The history tables go too; a server without them (its owner has not opened it since they came)
    // leaves them empty in the file.
    QStringList tables = Connection::kProgramTables;
    QStringList history;
    ok = ok && serverHistoryTables(server, &history, error);
    tables += history;
    for (int t = 0; ok && t < tables.size(); ++t) {
        FileTable table;
        DeferredIndexes indexes;
        ok = readFileTable(file, tables.at(t), &table, error) && dropFileIndexes(file, table.name, &indexes, error) &&
             copyTableOut(server, file, table, error) && createFileIndexes(file, indexes, error);
    }
    if (ok && (rc = sqlite3_exec(file, "COMMIT", nullptr, nullptr, nullptr)) != SQLITE_OK)
        ok = failWith(error, fileError(rc));
    if (!ok) {
        sqlite3_exec(file, "ROLLBACK", nullptr, nullptr, nullptr);
        rollBack(server);
        return false;
    }
    return serverExec(server, "COMMIT", error);
}

bool copyFileToServer(sqlite3* file, PgEngine& server, ServerLoad load, const TableProgress& progress, Error* error)
{
    // The file is read in one read transaction, so that every table comes from the same state.
    int rc = sqlite3_exec(file, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return failWith(error, fileError(rc));
    const auto endRead = [file] { sqlite3_exec(file, "COMMIT", nullptr, nullptr, nullptr); };

    // The program's tables, then the history tables: those of a file of an earlier version, which
    // has none, stay empty on the server (a restore empties them: the restored state has no record).
    const QStringList historyNames = historyTableNames();
    const QStringList tables = Connection::kProgramTables + historyNames;
    QList<QByteArray> tableNames;
    for (const QString& table : tables)
        tableNames << table.toUtf8();
    // The index builds sort in memory where they can.
    bool ok =
        serverExec(server, "BEGIN", error) && serverExec(server, "SET LOCAL maintenance_work_mem = '256MB'", error);
    if (ok && load == ServerLoad::IntoEmpty) {
        ok = prepareEmptyServer(server, error);
    } else if (ok) {
        // The restore's own connection added the history tables when it opened, where it could.
        QStringList present;
        ok = serverHistoryTables(server, &present, error) &&
             (present.size() == historyNames.size() ||
              serverExec(server, historyTablesText(Dialect::Postgres).toUtf8(), error)) &&
             serverExec(server, "TRUNCATE " + tableNames.join(", "), error);
    }
    for (int t = 0; ok && t < tables.size(); ++t) {
        FileTable table;
        qint64 rows = 0;
        DeferredIndexes indexes;
        bool inFile = true;
        ok = (t < Connection::kProgramTables.size() || fileHasTable(file, tables.at(t), &inFile, error));
        if (ok && inFile)
            ok = readFileTable(file, tables.at(t), &table, error) &&
                 dropServerIndexes(server, tableNames.at(t), &indexes, error) &&
                 copyTableIn(file, server, table, &rows, error) &&
                 createServerIndexes(server, table.name, indexes, error);
        else if (ok)
            table.key = tableColumns(tables.at(t)).constFirst().toUtf8(); // each table's key comes first
        if (!ok)
            break;
        // The next key the server gives continues past the highest one loaded.
        ResultPtr highest(nullptr, PQclear);
        ok = serverExec(server, "SELECT coalesce(max(" + sqlName(table.key) + "), 0) + 1 FROM " + tableNames.at(t),
                        error, &highest) &&
             serverExec(server,
                        "ALTER TABLE " + tableNames.at(t) + " ALTER COLUMN " + sqlName(table.key) + " RESTART WITH " +
                            QByteArray(PQgetvalue(highest.get(), 0, 0)),
                        error);
        if (ok && progress && inFile)
            progress(table.name, rows);
    }
    // Other clerks' lists see that every table changed (the counter exists where the server follows
    // changes).
    if (ok)
        ok = serverExec(server,
                        "SELECT nextval(c.oid::regclass) FROM pg_class c WHERE c.relname = 'dorvik_changes' "
                        "AND c.relkind = 'S' AND c.relnamespace = current_schema()::regnamespace",
                        error);
    endRead();
    if (!ok) {
        rollBack(server);
        return false;
    }
    return serverExec(server, "COMMIT", error);
}

} // namespace data
