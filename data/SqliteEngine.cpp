#include "data/SqliteEngine.h"

#include "data/Connection.h"
#include "data/Schema.h"
#include "platform/DbFileBlock.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sqlite3.h>

namespace data {

namespace {

// True when the file begins with the closing marker: a header that could not be written back (the
// file is read-only, or another program put the marker there).
bool beginsWithClosingMarker(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == platform::closingMarkerBlock();
}

Error errorOf(int code, const QString& text)
{
    return Error{code, text, kindOfEngineCode(code)};
}

int bindValue(sqlite3_stmt* st, int index, const QVariant& value)
{
    const DbValue v = toDbValue(value);
    switch (v.kind) {
    case KInt: return sqlite3_bind_int64(st, index, v.integer);
    case KReal: return sqlite3_bind_double(st, index, v.real);
    case KText:
        return sqlite3_bind_text64(st, index, v.bytes.constData(), sqlite3_uint64(v.bytes.size()), SQLITE_TRANSIENT,
                                   SQLITE_UTF8);
    case KBlob:
        return sqlite3_bind_blob64(st, index, v.bytes.constData(), sqlite3_uint64(v.bytes.size()), SQLITE_TRANSIENT);
    default: return sqlite3_bind_null(st, index);
    }
}

// True when nothing but blanks, comments and semicolons follows the first statement of a text.
bool onlyBlanksFollow(sqlite3* db, const char* tail, const char* end)
{
    while (tail && tail < end) {
        sqlite3_stmt* next = nullptr;
        const char* after = nullptr;
        const int rc = sqlite3_prepare_v2(db, tail, int(end - tail), &next, &after);
        sqlite3_finalize(next);
        if (rc != SQLITE_OK || next || after <= tail)
            return false;
        tail = after;
    }
    return true;
}

void loadValue(ColumnStore& column, sqlite3_stmt* st, int c, int row)
{
    switch (sqlite3_column_type(st, c)) {
    case SQLITE_INTEGER: column.setInteger(row, sqlite3_column_int64(st, c)); break;
    case SQLITE_FLOAT: column.setReal(row, sqlite3_column_double(st, c)); break;
    case SQLITE_TEXT:
        column.setText(row, reinterpret_cast<const char*>(sqlite3_column_text(st, c)), sqlite3_column_bytes(st, c));
        break;
    case SQLITE_BLOB:
        column.setBlob(row, static_cast<const char*>(sqlite3_column_blob(st, c)), sqlite3_column_bytes(st, c));
        break;
    default: column.setNull(row); break;
    }
}

// Gives a database of this program made by an earlier version the tables it lacks. When that
// fails (a read-only file, another program writing), the program works on; a change that must be
// recorded then fails with the engine's reason.
void addHistoryTables(sqlite3* db)
{
    sqlite3_stmt* st = nullptr;
    int present = -1;
    if (sqlite3_prepare_v2(db,
                           "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                           "('MonthClose', 'ChangeLog') COLLATE NOCASE",
                           -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        present = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    if (present < 0 || present == historyTableNames().size())
        return;
    int rc = SQLITE_OK;
    if (!missingProgramTable(db, &rc).isEmpty() || rc != SQLITE_OK)
        return;
    const QByteArray text = "BEGIN IMMEDIATE;\n" + historyTablesText(Dialect::Sqlite).toUtf8() + "COMMIT;";
    if (sqlite3_exec(db, text.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace

QString missingProgramTable(sqlite3* db, int* rc)
{
    int result = SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    QSet<QString> tables;
    result = sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &st, nullptr);
    if (result == SQLITE_OK) {
        while ((result = sqlite3_step(st)) == SQLITE_ROW)
            tables.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))).toLower());
        result = result == SQLITE_DONE ? SQLITE_OK : result;
    }
    sqlite3_finalize(st);
    if (rc)
        *rc = result;
    if (result != SQLITE_OK)
        return QString();
    for (const QString& table : Connection::kProgramTables)
        if (!tables.contains(table.toLower()))
            return table;
    return QString();
}

SqliteEngine::~SqliteEngine()
{
    close();
}

bool SqliteEngine::open(const QString& path, Error* error)
{
    close();
    const auto fail = [error](const Error& failed) {
        if (error)
            *error = failed;
        return false;
    };
    if (!QFileInfo::exists(path))
        return fail(Error{SQLITE_CANTOPEN, fileMissingText(path), ErrorKind::NoDataSource});
    // An absolute path never reads as a URI; without SQLITE_OPEN_CREATE a missing file stays missing.
    // A connection serves one thread only, so the engine need not lock it on every call (a
    // million-row list makes tens of millions of calls).
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const int code = db ? sqlite3_extended_errcode(db) : rc;
        sqlite3_close(db);
        return fail(errorOf(code, causeOfEngineCode(code)));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, m_busyTimeout);
    m_db = db;
    m_path = path;
    addHistoryTables(db);
    return true;
}

void SqliteEngine::close()
{
    // Closing rolls back a transaction left open; the datasets hold no statement between calls.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void SqliteEngine::setBusyTimeout(int milliseconds)
{
    m_busyTimeout = milliseconds;
    if (m_db)
        sqlite3_busy_timeout(m_db, m_busyTimeout);
}

bool SqliteEngine::execute(const QString& statement, Error* error)
{
    const int rc = sqlite3_exec(m_db, statement.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        return true;
    if (error)
        *error = failure(rc);
    return false;
}

bool SqliteEngine::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

qint64 SqliteEngine::totalChanges() const
{
    return m_db ? sqlite3_total_changes64(m_db) : 0;
}

qint64 SqliteEngine::othersChangeMark()
{
    // The data version of the file: it moves when another connection commits a change.
    sqlite3_stmt* st = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, "PRAGMA data_version", -1, &st, nullptr) != SQLITE_OK)
        return -1;
    const qint64 version = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    return version;
}

Error SqliteEngine::failure(int rc) const
{
    // The closing marker still heads a file that the start could not write the header back into.
    if ((rc & 0xff) == SQLITE_NOTADB && m_db && sqlite3_db_readonly(m_db, "main") == 1 &&
        beginsWithClosingMarker(m_path))
        return Error{SQLITE_READONLY, readOnlyMarkedFileText(), ErrorKind::ReadOnly};
    if ((rc & 0xff) == SQLITE_ERROR && m_db) {
        // A statement the program's own database would run fails here: the file is another's.
        const QString missing = missingProgramTable(m_db);
        if (!missing.isEmpty())
            return Error{rc, notThisProgramsDatabaseText(missing), ErrorKind::NotOurs};
    }
    return errorOf(rc, causeOfEngineCode(rc));
}

bool SqliteEngine::run(const QString& sql, const QVariantList& params, ResultTarget* target, StatementOutcome* outcome,
                       Error* error)
{
    const auto fail = [error](const Error& failed) {
        if (error)
            *error = failed;
        return false;
    };
    const QByteArray text = sql.toUtf8();
    const char* end = text.constData() + text.size();
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &st, &tail);
    if (rc != SQLITE_OK)
        return fail(failure(rc));
    if (!st)
        return fail(Error{SQLITE_MISUSE, QStringLiteral("没有要执行的语句"), ErrorKind::Other});
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(st, sqlite3_finalize);
    if (!onlyBlanksFollow(m_db, tail, end))
        return fail(
            Error{SQLITE_MISUSE, QStringLiteral("每次只能执行一条语句，这条语句后面还有别的内容"), ErrorKind::Other});
    if (sqlite3_bind_parameter_count(st) != params.size())
        return fail(Error{SQLITE_RANGE,
                          QStringLiteral("语句中有 %1 处要填入数据，给出的数据却有 %2 个")
                              .arg(sqlite3_bind_parameter_count(st))
                              .arg(params.size()),
                          ErrorKind::Other});
    for (int i = 0; i < params.size(); ++i)
        if ((rc = bindValue(st, i + 1, params.at(i))) != SQLITE_OK)
            return fail(failure(rc));

    const int columnCount = sqlite3_column_count(st);
    std::vector<ColumnStore*> columns;
    if (target) {
        QStringList names;
        for (int c = 0; c < columnCount; ++c)
            names << QString::fromUtf8(sqlite3_column_name(st, c));
        if (!target->describe(names, &columns, error))
            return false;
    }

    // The connection's counters still tell of an earlier statement until this one changes a row;
    // the last key is cleared so that a new row whose key equals an earlier insert's still tells.
    const sqlite3_int64 changesBefore = sqlite3_total_changes64(m_db);
    sqlite3_set_last_insert_rowid(m_db, 0);
    int rows = 0;
    const int firstRow = target ? target->firstRow : 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (columns.empty())
            continue;
        for (int c = 0; c < columnCount; ++c)
            loadValue(*columns[size_t(c)], st, c, firstRow + rows);
        ++rows;
    }
    if (rc != SQLITE_DONE)
        return fail(failure(rc));
    *outcome = StatementOutcome{};
    outcome->rows = rows;
    if (sqlite3_total_changes64(m_db) != changesBefore) {
        outcome->rowsAffected = int(sqlite3_changes64(m_db));
        outcome->newKey = sqlite3_last_insert_rowid(m_db);
    }
    return true;
}

} // namespace data
