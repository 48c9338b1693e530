#include "testsupport/TestProgramDir.h"

#include "data/Schema.h"
#include "platform/ProgramDir.h"
#include "platform/RegistryStore.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace testsupport {

namespace {

sqlite3* openDb(const QString& dbPath, int flags)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + dbPath.toStdString());
    }
    return db;
}

void bindAll(sqlite3_stmt* st, const QVariantList& params)
{
    for (int i = 0; i < params.size(); ++i) {
        const QVariant& v = params.at(i);
        if (v.isNull())
            sqlite3_bind_null(st, i + 1);
        else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
            sqlite3_bind_int64(st, i + 1, v.toLongLong());
        else if (v.typeId() == QMetaType::Double)
            sqlite3_bind_double(st, i + 1, v.toDouble());
        else
            sqlite3_bind_text(st, i + 1, v.toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
    }
}

bool isServerUri(const QString& db)
{
    return db.startsWith(QLatin1String("postgresql://")) || db.startsWith(QLatin1String("postgres://"));
}

QString serverUri(const QString& database)
{
    return QStringLiteral("postgresql:///%1?host=%2&user=dorvik")
        .arg(database, qEnvironmentVariable("DORVIK_TEST_PG_SOCKET"));
}

using Connection = std::unique_ptr<PGconn, void (*)(PGconn*)>;
using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

Connection connectServer(const QString& uri)
{
    Connection conn(PQconnectdb(uri.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw std::runtime_error("cannot connect to " + uri.toStdString() + ": " + PQerrorMessage(conn.get()));
    // The server's notices ("extension already exists") are no test output.
    PQsetNoticeProcessor(
        conn.get(), [](void*, const char*) {}, nullptr);
    return conn;
}

// The statement with its "?" placeholders outside quotes numbered $1, $2, ... as the server wants them.
QString numberedPlaceholders(const QString& sql)
{
    QString out;
    out.reserve(sql.size() + 8);
    QChar quote;
    int count = 0;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++count);
            continue;
        }
        out += c;
    }
    return out;
}

// Runs one statement with its values sent as text; throws with the server's message on failure.
Result runOnServer(PGconn* conn, const QString& sql, const QVariantList& params = {})
{
    std::vector<QByteArray> texts;
    std::vector<const char*> values;
    texts.reserve(params.size());
    for (const QVariant& v : params) {
        if (v.isNull()) {
            values.push_back(nullptr);
            continue;
        }
        switch (v.typeId()) {
        case QMetaType::QDate: texts.push_back(v.toDate().toString(Qt::ISODate).toUtf8()); break;
        case QMetaType::Double:
        case QMetaType::Float: texts.push_back(QByteArray::number(v.toDouble(), 'g', 17)); break;
        case QMetaType::Bool: texts.push_back(v.toBool() ? "true" : "false"); break;
        default: texts.push_back(v.toString().toUtf8()); break;
        }
        values.push_back(texts.back().constData());
    }
    Result result(PQexecParams(conn, numberedPlaceholders(sql).toUtf8().constData(), int(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0),
                  PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error("statement failed: " + std::string(PQresultErrorMessage(result.get())) + " in " +
                                 sql.toStdString());
    return result;
}

// The rows of a result: integers and booleans as qlonglong, floating and numeric values as double,
// NULL as an invalid value, everything else as text.
QList<QVariantList> resultRows(const PGresult* result)
{
    enum : Oid { Bool = 16, Int8 = 20, Int2 = 21, Int4 = 23, Float4 = 700, Float8 = 701, Numeric = 1700 };
    QList<QVariantList> rows;
    for (int r = 0; r < PQntuples(result); ++r) {
        QVariantList row;
        for (int c = 0; c < PQnfields(result); ++c) {
            if (PQgetisnull(result, r, c)) {
                row << QVariant();
                continue;
            }
            const QByteArray text(PQgetvalue(result, r, c), PQgetlength(result, r, c));
            switch (PQftype(result, c)) {
            case Int2:
            case Int4:
            case Int8: row << text.toLongLong(); break;
            case Float4:
            case Float8:
            case Numeric: row << text.toDouble(); break;
            case Bool: row << qlonglong(text == "t" ? 1 : 0); break;
            default: row << QString::fromUtf8(text); break;
            }
        }
        rows << row;
    }
    return rows;
}

const QString kTemplate = QStringLiteral("dorvik_template");

// Makes sure the cluster holds the template database with the schema. Two test processes may ask
// at once: an advisory lock lets one make it while the other waits. Nobody stays connected to the
// template, since CREATE DATABASE ... TEMPLATE needs it unused.
void ensureTemplate()
{
    static bool ready = false;
    if (ready)
        return;
    Connection admin = connectServer(serverAdminUri());
    runOnServer(admin.get(), QStringLiteral("SELECT pg_advisory_lock(4711)"));
    const bool exists =
        PQntuples(runOnServer(admin.get(), QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?"), {kTemplate})
                      .get()) > 0;
    if (!exists) {
        runOnServer(admin.get(), QStringLiteral("CREATE DATABASE ") + kTemplate);
        Connection db = connectServer(serverUri(kTemplate));
        Result result(PQexec(db.get(), data::schemaText(data::Dialect::Postgres).toUtf8().constData()), PQclear);
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            const std::string message = PQresultErrorMessage(result.get());
            db.reset();
            runOnServer(admin.get(), QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(kTemplate));
            throw std::runtime_error("schema failed on the server: " + message);
        }
    }
    runOnServer(admin.get(), QStringLiteral("SELECT pg_advisory_unlock(4711)"));
    ready = true;
}

} // namespace

bool onServer()
{
    return qEnvironmentVariable("DORVIK_TEST_ENGINE") == QLatin1String("pg");
}

QString serverAdminUri()
{
    return serverUri(QStringLiteral("postgres"));
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

TestProgramDir::TestProgramDir()
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary folder");
    platform::setProgramDir(m_dir.path());
    qputenv("DORVIK_REGISTRY", registryPath().toUtf8());
    QDir().mkpath(configHome());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    const QString runtime = file(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    if (onServer()) {
        static int count = 0;
        m_serverDb = QStringLiteral("dorvik_test_%1_%2_%3")
                         .arg(QCoreApplication::applicationPid())
                         .arg(++count)
                         .arg(QRandomGenerator::global()->bounded(1000000));
    }
}

TestProgramDir::~TestProgramDir()
{
    platform::setProgramDir(QString());
    if (m_created) {
        try {
            Connection admin = connectServer(serverAdminUri());
            runOnServer(admin.get(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_serverDb));
        } catch (const std::exception& e) {
            qWarning("cannot drop the test database: %s", e.what());
        }
    }
}

QString TestProgramDir::dbPath() const
{
    return m_serverDb.isEmpty() ? file(QStringLiteral("DorvikSalary.mdb")) : serverUri(m_serverDb);
}

QString TestProgramDir::file(const QString& name) const
{
    return QDir(m_dir.path()).filePath(name);
}

void TestProgramDir::createDatabase() const
{
    if (!m_serverDb.isEmpty()) {
        ensureTemplate();
        Connection admin = connectServer(serverAdminUri());
        if (m_created)
            runOnServer(admin.get(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_serverDb));
        m_created = false;
        // Copying the template's files is ten times quicker than the default WAL-logged copy.
        runOnServer(admin.get(),
                    QStringLiteral("CREATE DATABASE %1 TEMPLATE %2 STRATEGY FILE_COPY").arg(m_serverDb, kTemplate));
        m_created = true;
        return;
    }
    createDatabaseFile(dbPath());
}

void createDatabaseFile(const QString& path)
{
    QFile::remove(path);
    sqlite3* db = openDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    char* error = nullptr;
    const int rc =
        sqlite3_exec(db, data::schemaText(data::Dialect::Sqlite).toUtf8().constData(), nullptr, nullptr, &error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        const std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error("schema failed: " + message);
    }
}

void TestProgramDir::registerDataSource() const
{
    auto key = platform::RegistryStore::openKey(QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik"), true);
    if (!key || !key->writeString(QStringLiteral("DBQ"), dbPath()))
        throw std::runtime_error("cannot register the data source");
}

QByteArray TestProgramDir::fileHead(const QString& name, int bytes) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(bytes);
}

QList<QVariantList> queryRows(const QString& dbPath, const QString& sql, const QVariantList& params)
{
    if (isServerUri(dbPath)) {
        Connection conn = connectServer(dbPath);
        return resultRows(runOnServer(conn.get(), sql, params).get());
    }
    sqlite3* db = openDb(dbPath, SQLITE_OPEN_READONLY);
    sqlite3_stmt* st = nullptr;
    QList<QVariantList> rows;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error("query failed: " + message);
    }
    bindAll(st, params);
    while (sqlite3_step(st) == SQLITE_ROW) {
        QVariantList row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_INTEGER: row << qlonglong(sqlite3_column_int64(st, c)); break;
            case SQLITE_FLOAT: row << sqlite3_column_double(st, c); break;
            case SQLITE_NULL: row << QVariant(); break;
            default: row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c))); break;
            }
        }
        rows << row;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

struct HeldTransaction::Server {
    Connection conn{nullptr, PQfinish};
};

HeldTransaction::HeldTransaction(const QString& uri) : m_server(new Server)
{
    if (!isServerUri(uri))
        throw std::runtime_error("a held transaction needs a server");
    m_server->conn = connectServer(uri);
    runOnServer(m_server->conn.get(), QStringLiteral("BEGIN"));
}

HeldTransaction::~HeldTransaction()
{
    if (!m_server->conn || m_state == State::Ended)
        return;
    if (m_state == State::Committing) {
        // Nothing may throw from here: the results are read and dropped.
        while (PGresult* result = PQgetResult(m_server->conn.get()))
            PQclear(result);
        return;
    }
    PQclear(PQexec(m_server->conn.get(), "ROLLBACK"));
}

void HeldTransaction::exec(const QString& sql, const QVariantList& params)
{
    if (m_state != State::Open)
        throw std::runtime_error("the held transaction is no longer open");
    runOnServer(m_server->conn.get(), sql, params);
}

void HeldTransaction::commitAfter(int milliseconds)
{
    // One simple query with two statements: the server sleeps, then commits, without the test's turn.
    const QByteArray text = QStringLiteral("SELECT pg_sleep(%1); COMMIT").arg(milliseconds / 1000.0).toUtf8();
    if (m_state != State::Open)
        throw std::runtime_error("the held transaction is no longer open");
    if (!PQsendQuery(m_server->conn.get(), text.constData()))
        throw std::runtime_error(std::string("cannot send the commit: ") + PQerrorMessage(m_server->conn.get()));
    m_state = State::Committing;
}

void HeldTransaction::waitForCommit()
{
    if (m_state != State::Committing)
        throw std::runtime_error("no commit was sent");
    std::string failure;
    while (PGresult* result = PQgetResult(m_server->conn.get())) {
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && failure.empty())
            failure = PQresultErrorMessage(result);
        PQclear(result);
    }
    m_state = State::Ended;
    if (!failure.empty())
        throw std::runtime_error("the held transaction failed: " + failure);
}

void execSql(const QString& dbPath, const QString& sql, const QVariantList& params)
{
    if (isServerUri(dbPath)) {
        Connection conn = connectServer(dbPath);
        runOnServer(conn.get(), sql, params);
        return;
    }
    sqlite3* db = openDb(dbPath, SQLITE_OPEN_READWRITE);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error("statement failed: " + message);
    }
    bindAll(st, params);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    const std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error("statement failed: " + message);
}

namespace {

struct TriggerParts {
    QString event; // BEFORE UPDATE, BEFORE INSERT, BEFORE UPDATE OF KindId ...
    QString table;
    QString condition; // on NEW; empty: every row
};

TriggerParts parseTriggerParts(const QString& trigger)
{
    const int on = trigger.indexOf(QStringLiteral(" ON "));
    const int when = trigger.indexOf(QStringLiteral(" WHEN "));
    const QString tail = trigger.mid(on + 4, when < 0 ? -1 : when - on - 4);
    return {trigger.left(on), tail.trimmed(), when < 0 ? QString() : trigger.mid(when + 6).trimmed()};
}

} // namespace

void addRefusingTrigger(const QString& dbPath, const QString& trigger)
{
    const TriggerParts t = parseTriggerParts(trigger);
    if (!onServer()) {
        execSql(dbPath,
                QStringLiteral("CREATE TRIGGER refuse %1 ON %2 %3 BEGIN SELECT RAISE(ABORT, 'refused'); END")
                    .arg(t.event, t.table, t.condition.isEmpty() ? QString() : QStringLiteral("WHEN ") + t.condition));
        return;
    }
    execSql(dbPath, QStringLiteral("CREATE OR REPLACE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                                   "$$ BEGIN RAISE EXCEPTION 'refused'; END $$"));
    execSql(dbPath, QStringLiteral("CREATE TRIGGER refuse %1 ON %2 FOR EACH ROW %3 EXECUTE FUNCTION refuse()")
                        .arg(t.event, t.table,
                             t.condition.isEmpty() ? QString() : QStringLiteral("WHEN (%1)").arg(t.condition)));
}

void dropRefusingTrigger(const QString& dbPath, const QString& trigger)
{
    execSql(dbPath, onServer() ? QStringLiteral("DROP TRIGGER refuse ON %1").arg(parseTriggerParts(trigger).table)
                               : QStringLiteral("DROP TRIGGER refuse"));
}

} // namespace testsupport
