#include "testsupport/TestProgramDir.h"

#include "platform/ProgramDir.h"
#include "platform/RegistryStore.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <stdexcept>

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

} // namespace

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

QString schemaPath()
{
    return QStringLiteral(DORVIK_SCHEMA_PATH);
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
}

TestProgramDir::~TestProgramDir()
{
    platform::setProgramDir(QString());
}

QString TestProgramDir::file(const QString& name) const
{
    return QDir(m_dir.path()).filePath(name);
}

void TestProgramDir::createDatabase() const
{
    QFile schema(schemaPath());
    if (!schema.open(QIODevice::ReadOnly))
        throw std::runtime_error("no schema");
    QFile::remove(dbPath());
    sqlite3* db = openDb(dbPath(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, schema.readAll().constData(), nullptr, nullptr, &error);
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

void execSql(const QString& dbPath, const QString& sql, const QVariantList& params)
{
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

} // namespace testsupport
