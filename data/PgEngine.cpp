#include "data/PgEngine.h"

#include "data/ClientName.h"
#include "data/Connection.h"
#include "data/Schema.h"

#include <QSet>

#include <libpq-fe.h>

#include <charconv>
#include <cstring>

namespace data {

namespace {

// The server's type numbers of the columns read as numbers.
constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kNumericOid = 1700;
constexpr Oid kByteaOid = 17;

// A failure that libpq or the server reports; code 1 marks it failed, the kind says what it means.
Error serverError(ErrorKind kind, const QString& text)
{
    return Error{1, text, kind};
}

QString firstLine(const char* message)
{
    return QString::fromUtf8(message).trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
}

// The server a connection tried, for the user: "host:port", or the socket folder and port.
QString serverName(const PGconn* conn)
{
    return QStringLiteral("%1:%2").arg(QString::fromUtf8(PQhost(conn)), QString::fromUtf8(PQport(conn)));
}

QString notReachedText(const PGconn* conn)
{
    return QStringLiteral("无法连接数据库服务器 %1（%2）").arg(serverName(conn), firstLine(PQerrorMessage(conn)));
}

ErrorKind kindOfSqlState(const QByteArray& state)
{
    if (state == "23505")
        return ErrorKind::Unique;
    if (state == "23502")
        return ErrorKind::NotNull;
    if (state == "25006")
        return ErrorKind::ReadOnly;
    if (state == "40001" || state == "40P01" || state == "55P03" || state == "57014" || state == "55006")
        return ErrorKind::Busy;
    if (state.startsWith("08") || state == "57P01" || state == "57P02" || state == "57P03")
        return ErrorKind::ConnectionLost;
    if (state.startsWith("28") || state == "42501")
        return ErrorKind::AccessDenied;
    if (state.startsWith("22") || state.startsWith("23"))
        return ErrorKind::BadValue;
    return ErrorKind::Other;
}

QString causeOfKind(ErrorKind kind, const QByteArray& state)
{
    switch (kind) {
    case ErrorKind::Unique: return QStringLiteral("数据表中已有相同的记录（名称已被占用）");
    case ErrorKind::NotNull: return QStringLiteral("缺少必须填写的数据");
    case ErrorKind::ReadOnly: return QStringLiteral("数据库服务器现在只允许读取，不能写入");
    case ErrorKind::Busy:
        if (state == "57014")
            return QStringLiteral("语句没有在限定的时间内完成，数据库服务器已将它取消，数据没有保存");
        return state == "40001" || state == "40P01" ? QStringLiteral("其他用户正在修改同一数据，请稍后再试")
                                                    : QStringLiteral("数据正被其他用户使用，请稍后再试");
    case ErrorKind::ConnectionLost: return QStringLiteral("与数据库服务器的连接已断开，服务器无法连接");
    case ErrorKind::AccessDenied:
        return state == "42501" ? QStringLiteral("没有操作数据库的权限")
                                : QStringLiteral("数据库服务器拒绝了用户名或密码");
    case ErrorKind::BadValue:
        return state == "22007" || state == "22008"
                   ? QStringLiteral("数据的格式不符合数据表的要求（日期应为 yyyy-MM-dd）")
                   : QStringLiteral("数据不符合数据表的要求");
    default:
        if (state == "53100")
            return QStringLiteral("数据库服务器的磁盘空间不足");
        return QStringLiteral("数据库不能执行这条语句");
    }
}

// The spelling of a result column's name. The server gives unquoted names in small letters: a
// column of a program table is named as the table spells it, a computed column as the statement
// spells its alias.
QString spelledName(const PGresult* result, int column, const QHash<Oid, QString>& programTables, const QString& sql)
{
    const QString name = QString::fromUtf8(PQfname(result, column));
    const QString table = programTables.value(PQftable(result, column));
    if (!table.isEmpty()) {
        const QStringList columns = tableColumns(table);
        const int position = PQftablecol(result, column) - 1;
        if (position >= 0 && position < columns.size() && columns.at(position).compare(name, Qt::CaseInsensitive) == 0)
            return columns.at(position);
    }
    const QString alias = QStringLiteral(" AS ") + name;
    const int at = sql.indexOf(alias, 0, Qt::CaseInsensitive);
    if (at >= 0 && (at + alias.size() == sql.size() || !sql.at(at + alias.size()).isLetterOrNumber()))
        return sql.mid(at + 4, name.size());
    return name;
}

bool isInsert(const QByteArray& sql)
{
    const QByteArray head = sql.trimmed().left(7).toLower();
    return head.startsWith("insert") && !sql.toLower().contains("returning");
}

void loadValue(ColumnStore& column, int row, Oid type, const char* text, int size)
{
    switch (type) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid: {
        qint64 value = 0;
        std::from_chars(text, text + size, value);
        column.setInteger(row, value);
        return;
    }
    case kBoolOid: column.setInteger(row, text[0] == 't' ? 1 : 0); return;
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid: {
        double value = 0;
        std::from_chars(text, text + size, value);
        column.setReal(row, value);
        return;
    }
    case kByteaOid: {
        size_t length = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &length);
        column.setBlob(row, reinterpret_cast<const char*>(bytes), int(length));
        PQfreemem(bytes);
        return;
    }
    default: column.setText(row, text, size); return;
    }
}

void loadValue(ColumnStore& column, const PGresult* result, int c, Oid type, int row)
{
    if (PQgetisnull(result, 0, c))
        column.setNull(row);
    else
        loadValue(column, row, type, PQgetvalue(result, 0, c), PQgetlength(result, 0, c));
}

// One field of a row in COPY's text form: backslash escapes undone, into *unescaped when needed.
// False for the null marker.
bool copyField(const char*& text, int& size, QByteArray* unescaped)
{
    if (size == 2 && text[0] == '\\' && text[1] == 'N')
        return false;
    if (!std::memchr(text, '\\', size_t(size)))
        return true;
    unescaped->clear();
    for (int i = 0; i < size; ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < size) {
            switch (text[++i]) {
            case 'b': c = '\b'; break;
            case 'f': c = '\f'; break;
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            case 'v': c = '\v'; break;
            default: c = text[i]; break;
            }
        }
        unescaped->append(c);
    }
    text = unescaped->constData();
    size = int(unescaped->size());
    return true;
}

// True for a statement that only reads: its rows can come through COPY.
bool isQuery(const QByteArray& sql)
{
    const QByteArray head = sql.trimmed().left(7).toLower();
    return head.startsWith("select") || head.startsWith("with");
}

using ResultPtr = std::unique_ptr<PGresult, void (*)(PGresult*)>;

} // namespace

bool numberPlaceholders(const QByteArray& sql, QByteArray* numbered, int* placeholders)
{
    numbered->clear();
    numbered->reserve(sql.size() + 16);
    int count = 0;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // A quoted text or name runs to the next unpaired quote of its kind.
            const qsizetype start = i++;
            while (i < n && !(sql[i] == c && (i + 1 >= n || sql[i + 1] != c)))
                i += sql[i] == c ? 2 : 1;
            numbered->append(sql.mid(start, i - start + 1));
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            const qsizetype end = sql.indexOf('\n', i);
            const qsizetype stop = end < 0 ? n : end;
            numbered->append(sql.mid(i, stop - i));
            i = stop - 1;
        } else if (c == '?') {
            numbered->append('$').append(QByteArray::number(++count));
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const qsizetype end = sql.indexOf("*/", i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            numbered->append(sql.mid(i, stop - i));
            i = stop - 1;
        } else if (c == ';') {
            // Only blanks, comments and further semicolons may follow the statement.
            for (qsizetype j = i + 1; j < n; ++j) {
                if (sql[j] == '-' && j + 1 < n && sql[j + 1] == '-') {
                    const qsizetype end = sql.indexOf('\n', j);
                    j = end < 0 ? n : end;
                } else if (sql[j] == '/' && j + 1 < n && sql[j + 1] == '*') {
                    const qsizetype end = sql.indexOf("*/", j + 2);
                    if (end < 0)
                        return false;
                    j = end + 1;
                } else if (!QChar::isSpace(uchar(sql[j])) && sql[j] != ';') {
                    return false;
                }
            }
            break;
        } else {
            numbered->append(c);
        }
    }
    *placeholders = count;
    return true;
}

QString serverVersionProblem(int serverVersion)
{
    if (serverVersion >= PgEngine::kOldestServer)
        return QString();
    // Since version 10 the number is major * 10000 + minor; before, major * 10000 + minor * 100 + patch
    // (90624 is 9.6.24).
    const QString version = serverVersion >= 100000
                                ? QStringLiteral("%1.%2").arg(serverVersion / 10000).arg(serverVersion % 10000)
                                : QStringLiteral("%1.%2.%3")
                                      .arg(serverVersion / 10000)
                                      .arg(serverVersion / 100 % 100)
                                      .arg(serverVersion % 100);
    return QStringLiteral("数据库服务器的版本太旧（%1），本程序需要 PostgreSQL %2 或更新的版本")
        .arg(version)
        .arg(PgEngine::kOldestServer / 10000);
}

PgEngine::~PgEngine()
{
    close();
}

void PgEngine::close()
{
    PQfinish(m_conn);
    m_conn = nullptr;
    m_totalChanges = 0;
    m_listening = false;
}

bool PgEngine::open(const QString& uri, Error* error)
{
    close();
    const auto fail = [this, error](const Error& failed) {
        close();
        if (error)
            *error = failed;
        return false;
    };
    // The URI's own settings win over the time-out (libpq takes the later of a key given twice);
    // the program's name for the connection wins over the URI's, so the list of connected clerks
    // always knows this one.
    const QByteArray dbname = uri.toUtf8();
    const QByteArray clientName = applicationName();
    const char* keys[] = {"connect_timeout", "dbname", "application_name", nullptr};
    const char* values[] = {"5", dbname.constData(), clientName.constData(), nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        if (PQconnectionNeedsPassword(m_conn))
            return fail(serverError(ErrorKind::AccessDenied, QStringLiteral("数据库服务器要求密码，但没有给出密码")));
        if (PQconnectionUsedPassword(m_conn))
            return fail(serverError(ErrorKind::AccessDenied, QStringLiteral("数据库服务器拒绝了用户名或密码")));
        return fail(serverError(ErrorKind::ConnectionLost, notReachedText(m_conn)));
    }
    if (const QString problem = serverVersionProblem(PQserverVersion(m_conn)); !problem.isEmpty())
        return fail(serverError(ErrorKind::NotOurs, problem));
    PQsetClientEncoding(m_conn, "UTF8");
    // The server's notices ("... does not exist, skipping" from the schema's IF EXISTS steps) are no
    // concern of the user; libpq would print them on the standard error.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
    const QByteArray settings = QByteArrayLiteral("SET DateStyle = ISO; SET lock_timeout = ") +
                                QByteArray::number(m_busyTimeout) + QByteArrayLiteral("; SET TimeZone = 'UTC'");
    ResultPtr set(PQexec(m_conn, settings.constData()), PQclear);
    if (PQresultStatus(set.get()) != PGRES_COMMAND_OK)
        return fail(failureOf(set.get()));

    ResultPtr tables(PQexec(m_conn, "SELECT lower(c.relname), c.oid FROM pg_class c "
                                    "WHERE c.relnamespace = current_schema()::regnamespace AND c.relkind IN ('r','S') "
                                    "UNION ALL SELECT p.proname, p.oid FROM pg_proc p "
                                    "WHERE p.pronamespace = current_schema()::regnamespace "
                                    "AND p.proname = 'dorvik_note_rows'"),
                     PQclear);
    if (PQresultStatus(tables.get()) != PGRES_TUPLES_OK)
        return fail(failureOf(tables.get()));
    QSet<QString> names;
    m_programTables.clear();
    for (int r = 0; r < PQntuples(tables.get()); ++r) {
        const QString name = QString::fromUtf8(PQgetvalue(tables.get(), r, 0));
        names.insert(name);
        for (const QString& table : Connection::kProgramTables)
            if (table.toLower() == name)
                m_programTables.insert(Oid(QByteArray(PQgetvalue(tables.get(), r, 1)).toUInt()), table);
    }
    m_hasChangeCounter = names.contains(QStringLiteral("dorvik_changes"));
    if (m_requireTables)
        for (const QString& table : Connection::kProgramTables)
            if (!names.contains(table.toLower()))
                return fail(serverError(ErrorKind::NotOurs, notThisProgramsServerDatabaseText(table)));
    if (m_hasChangeCounter)
        listenForRowNotices(names.contains(QStringLiteral("dorvik_note_rows")));
    if (m_requireTables)
        addHistoryTables(names);
    return true;
}

void PgEngine::addHistoryTables(const QSet<QString>& names)
{
    bool missing = false;
    for (const QString& table : historyTableNames())
        missing = missing || !names.contains(table.toLower());
    if (!missing)
        return;
    // Only the tables' owner may add tables; anyone else works on, and a change that must be
    // recorded then fails with the server's reason.
    const QByteArray upgrade =
        QByteArrayLiteral("BEGIN;\n") + historyTablesText(Dialect::Postgres).toUtf8() + QByteArrayLiteral("COMMIT;");
    ResultPtr upgraded(PQexec(m_conn, upgrade.constData()), PQclear);
    if (PQresultStatus(upgraded.get()) != PGRES_COMMAND_OK)
        PQclear(PQexec(m_conn, "ROLLBACK"));
}

void PgEngine::listenForRowNotices(bool hasRowNotices)
{
    if (!hasRowNotices) {
        // Only the tables' owner may change their triggers; anyone else works on without the
        // notices, and lists then read again what they cannot prove unchanged.
        const QByteArray upgrade =
            QByteArrayLiteral("BEGIN;\n") + rowNoticeUpgradeText().toUtf8() + QByteArrayLiteral("COMMIT;");
        ResultPtr upgraded(PQexec(m_conn, upgrade.constData()), PQclear);
        if (PQresultStatus(upgraded.get()) != PGRES_COMMAND_OK) {
            PQclear(PQexec(m_conn, "ROLLBACK"));
            return;
        }
    }
    const QByteArray listen = QByteArrayLiteral("LISTEN ") + kRowNoticeChannel.toUtf8();
    ResultPtr listening(PQexec(m_conn, listen.constData()), PQclear);
    m_listening = PQresultStatus(listening.get()) == PGRES_COMMAND_OK;
}

QList<RowNotice> PgEngine::takeRowNotices()
{
    QList<RowNotice> notices;
    if (!m_conn)
        return notices;
    if (!PQconsumeInput(m_conn) || PQstatus(m_conn) == CONNECTION_BAD) {
        close();
        return notices;
    }
    const int ownProcess = PQbackendPID(m_conn);
    while (PGnotify* notify = PQnotifies(m_conn)) {
        // This connection's own changes are known to the caller that made them.
        if (notify->be_pid != ownProcess) {
            const QList<QByteArray> words = QByteArray(notify->extra).split(' ');
            RowNotice notice;
            notice.table = QString::fromUtf8(words.value(0));
            for (qsizetype i = 1; i < words.size(); ++i) {
                bool ok = false;
                const qint64 key = words.at(i).toLongLong(&ok);
                if (ok)
                    notice.keys << key;
                else
                    notice.everyRow = true;
            }
            if (notice.everyRow)
                notice.keys.clear();
            notices << notice;
        }
        PQfreemem(notify);
    }
    return notices;
}

void PgEngine::setBusyTimeout(int milliseconds)
{
    m_busyTimeout = milliseconds;
    if (m_conn) {
        const QByteArray set = QByteArrayLiteral("SET lock_timeout = ") + QByteArray::number(milliseconds);
        PQclear(PQexec(m_conn, set.constData()));
    }
}

bool PgEngine::inTransaction() const
{
    if (!m_conn)
        return false;
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

Error PgEngine::failureOf(const PGresult* result)
{
    if (PQstatus(m_conn) == CONNECTION_BAD) {
        // The server went away: what was not committed is gone with the connection; the next
        // statement connects again.
        const QString text = causeOfKind(ErrorKind::ConnectionLost, {});
        close();
        return serverError(ErrorKind::ConnectionLost, text);
    }
    const QByteArray state = result ? QByteArray(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QByteArray();
    if (state.isEmpty()) {
        // Only the server names a failure's state; one without it is libpq's own: the statement did
        // not reach the server or its answer did not come back (a server shut down at once, a cut
        // cable). The connection is of no further use.
        close();
        return serverError(ErrorKind::ConnectionLost, causeOfKind(ErrorKind::ConnectionLost, {}));
    }
    const ErrorKind kind = kindOfSqlState(state);
    const Error error = serverError(kind, causeOfKind(kind, state));
    // A server that shuts down says so before it goes; the connection is of no further use.
    if (kind == ErrorKind::ConnectionLost)
        close();
    return error;
}

bool PgEngine::execute(const QString& statement, Error* error)
{
    ResultPtr result(PQexec(m_conn, statement.toUtf8().constData()), PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return true;
    if (error)
        *error = failureOf(result.get());
    return false;
}

qint64 PgEngine::othersChangeMark()
{
    // Every changing statement on the program's tables draws a number from the change counter and
    // counts it in the session's own tally; what others drew is the difference.
    if (!m_conn || !m_hasChangeCounter)
        return -1;
    ResultPtr result(PQexec(m_conn, "SELECT (SELECT last_value FROM dorvik_changes) - "
                                    "coalesce(nullif(current_setting('dorvik.own_changes', true), ''), '0')::bigint"),
                     PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1)
        return -1;
    return QByteArray(PQgetvalue(result.get(), 0, 0)).toLongLong();
}

bool PgEngine::run(const QString& sql, const QVariantList& params, ResultTarget* target, StatementOutcome* outcome,
                   Error* error)
{
    const auto fail = [error](const Error& failed) {
        if (error)
            *error = failed;
        return false;
    };
    QByteArray text;
    int placeholders = 0;
    if (!numberPlaceholders(sql.toUtf8(), &text, &placeholders))
        return fail(Error{kMisuse, QStringLiteral("每次只能执行一条语句，这条语句后面还有别的内容"), ErrorKind::Other});
    if (text.trimmed().isEmpty())
        return fail(Error{kMisuse, QStringLiteral("没有要执行的语句"), ErrorKind::Other});
    if (placeholders != params.size())
        return fail(
            Error{kMisuse,
                  QStringLiteral("语句中有 %1 处要填入数据，给出的数据却有 %2 个").arg(placeholders).arg(params.size()),
                  ErrorKind::Other});
    // A long list without values comes fastest through COPY: no result object per row.
    if (target && params.isEmpty() && isQuery(text))
        return runByCopy(text, sql, target, outcome, error);
    const bool insert = isInsert(text);
    if (insert)
        text += " RETURNING id";

    // Every value goes as text and the server reads it as the type its place needs.
    std::vector<QByteArray> texts(size_t(params.size()));
    std::vector<const char*> values(size_t(params.size()), nullptr);
    std::vector<int> lengths(size_t(params.size()), 0);
    std::vector<int> formats(size_t(params.size()), 0);
    for (int i = 0; i < params.size(); ++i) {
        DbValue v = toDbValue(params.at(i));
        switch (v.kind) {
        case KInt: texts[size_t(i)] = QByteArray::number(v.integer); break;
        case KReal: texts[size_t(i)] = QByteArray::number(v.real, 'g', 17); break;
        case KText: texts[size_t(i)] = std::move(v.bytes); break;
        case KBlob:
            texts[size_t(i)] = std::move(v.bytes);
            formats[size_t(i)] = 1;
            break;
        default: continue;
        }
        values[size_t(i)] = texts[size_t(i)].constData();
        lengths[size_t(i)] = int(texts[size_t(i)].size());
    }
    if (!PQsendQueryParams(m_conn, text.constData(), params.size(), nullptr, values.data(), lengths.data(),
                           formats.data(), 0)) {
        ResultPtr none(nullptr, PQclear);
        return fail(failureOf(none.get()));
    }
    PQsetSingleRowMode(m_conn);

    *outcome = StatementOutcome{};
    const int firstRow = target ? target->firstRow : 0;
    std::vector<ColumnStore*> columns;
    std::vector<Oid> types;
    bool described = false;
    Error failed;
    qint64 lastKey = 0;
    while (PGresult* raw = PQgetResult(m_conn)) {
        ResultPtr result(raw, PQclear);
        const ExecStatusType status = PQresultStatus(raw);
        if (failed.failed())
            continue; // the rest of a refused result is read and dropped
        if (status == PGRES_SINGLE_TUPLE) {
            if (insert) {
                lastKey = QByteArray(PQgetvalue(raw, 0, 0)).toLongLong();
                continue;
            }
            if (!target)
                continue;
            if (!described) {
                described = true;
                if (!target->describe(columnNames(raw, sql, &types), &columns, &failed))
                    continue;
            }
            for (size_t c = 0; c < columns.size(); ++c)
                loadValue(*columns[c], raw, int(c), types[c], firstRow + outcome->rows);
            ++outcome->rows;
        } else if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            if (target && !insert && !described) {
                // No rows: the columns still come from the result's description.
                described = true;
                if (!target->describe(columnNames(raw, sql, &types), &columns, &failed))
                    continue;
            }
            const char* tuples = PQcmdTuples(raw);
            if (tuples && *tuples && (insert || !PQnfields(raw))) {
                outcome->rowsAffected = QByteArray(tuples).toInt();
                m_totalChanges += outcome->rowsAffected;
            }
        } else {
            failed = failureOf(raw);
            if (!m_conn)
                break;
        }
    }
    if (failed.failed())
        return fail(failed);
    if (insert && outcome->rowsAffected > 0)
        outcome->newKey = lastKey;
    return true;
}

QStringList PgEngine::columnNames(const PGresult* result, const QString& sql, std::vector<unsigned int>* types) const
{
    QStringList names;
    types->clear();
    for (int c = 0; c < PQnfields(result); ++c) {
        names << spelledName(result, c, m_programTables, sql);
        types->push_back(PQftype(result, c));
    }
    return names;
}

bool PgEngine::runByCopy(const QByteArray& text, const QString& sql, ResultTarget* target, StatementOutcome* outcome,
                         Error* error)
{
    const auto fail = [error](const Error& failed) {
        if (error)
            *error = failed;
        return false;
    };
    // The columns' names and types come from the statement's description; COPY gives only rows.
    ResultPtr prepared(PQprepare(m_conn, "", text.constData(), 0, nullptr), PQclear);
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
        return fail(failureOf(prepared.get()));
    ResultPtr described(PQdescribePrepared(m_conn, ""), PQclear);
    if (PQresultStatus(described.get()) != PGRES_COMMAND_OK)
        return fail(failureOf(described.get()));
    std::vector<Oid> types;
    std::vector<ColumnStore*> columns;
    Error refused;
    if (!target->describe(columnNames(described.get(), sql, &types), &columns, &refused))
        return fail(refused);

    const QByteArray copy = QByteArrayLiteral("COPY (") + text + QByteArrayLiteral(") TO STDOUT");
    ResultPtr started(PQexec(m_conn, copy.constData()), PQclear);
    if (PQresultStatus(started.get()) != PGRES_COPY_OUT)
        return fail(failureOf(started.get()));
    *outcome = StatementOutcome{};
    int row = target->firstRow;
    QByteArray unescaped;
    char* buffer = nullptr;
    int length = 0;
    while ((length = PQgetCopyData(m_conn, &buffer, 0)) > 0) {
        const char* at = buffer;
        const char* end = buffer + length - 1; // each row ends with a newline
        for (size_t c = 0; c < columns.size(); ++c) {
            const char* tab = static_cast<const char*>(std::memchr(at, '\t', size_t(end - at)));
            const char* fieldEnd = tab ? tab : end;
            const char* field = at;
            int size = int(fieldEnd - at);
            if (copyField(field, size, &unescaped))
                loadValue(*columns[c], row, types[c], field, size);
            else
                columns[c]->setNull(row);
            at = tab ? tab + 1 : end;
        }
        PQfreemem(buffer);
        ++row;
    }
    Error failed;
    while (PGresult* raw = PQgetResult(m_conn)) {
        ResultPtr result(raw, PQclear);
        if (PQresultStatus(raw) != PGRES_COMMAND_OK && !failed.failed())
            failed = failureOf(raw);
        if (!m_conn)
            break;
    }
    if (length == -2 && !failed.failed())
        failed = failureOf(nullptr);
    if (failed.failed())
        return fail(failed);
    outcome->rows = row - target->firstRow;
    return true;
}

} // namespace data
