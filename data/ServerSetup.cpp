#include "data/ServerSetup.h"

#include "data/Connection.h"
#include "data/Engine.h"
#include "data/PgEngine.h"
#include "data/Schema.h"
#include "platform/RegistryStore.h"

#include <QUrlQuery>

#include <libpq-fe.h>

#include <memory>

namespace data {

namespace {

Error failure(ErrorKind kind, const QString& text)
{
    return Error{1, text, kind};
}

Error notAServer()
{
    return failure(ErrorKind::NoDataSource, QStringLiteral("这不是数据库服务器的地址（应以 postgresql:// 开头）"));
}

// The number of tables, views and sequences in the connection's current schema; -1 when it
// cannot be read.
int objectsInSchema(PGconn* conn)
{
    std::unique_ptr<PGresult, void (*)(PGresult*)> result(
        PQexec(conn, "SELECT count(*) FROM pg_class c WHERE c.relnamespace = current_schema()::regnamespace "
                     "AND c.relkind IN ('r','p','v','m','f','S')"),
        PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1)
        return -1;
    return QByteArray(PQgetvalue(result.get(), 0, 0)).toInt();
}

} // namespace

Error probeServer(const QString& uri)
{
    if (!namesServer(uri))
        return notAServer();
    PgEngine engine(Connection::defaultBusyTimeout());
    Error error;
    if (!engine.open(uri, &error))
        return error;
    return {};
}

Error prepareServer(const QString& uri)
{
    if (!namesServer(uri))
        return notAServer();
    PgEngine engine(Connection::defaultBusyTimeout());
    engine.setRequireProgramTables(false);
    Error error;
    if (!engine.open(uri, &error))
        return error;
    // The look for tables and the schema run in one transaction, so that two preparations at once
    // cannot both find the database empty and leave a mix.
    if (!engine.execute(QStringLiteral("BEGIN"), &error))
        return error;
    const auto rollBack = [&engine](const Error& failed) {
        engine.execute(QStringLiteral("ROLLBACK"), nullptr);
        return failed;
    };
    const int present = objectsInSchema(engine.handle());
    if (present < 0)
        return rollBack(failure(ErrorKind::Other, QStringLiteral("无法读取数据库中已有的数据表")));
    if (present > 0)
        return rollBack(failure(ErrorKind::Other, QStringLiteral("数据库中已有数据表，不能在这里建立新的数据库")));
    if (!engine.execute(schemaText(Dialect::Postgres), &error) || !engine.execute(QStringLiteral("COMMIT"), &error))
        return rollBack(error);
    return {};
}

bool carriesPassword(const QString& uri)
{
    if (!namesServer(uri))
        return false;
    const qsizetype start = uri.indexOf(QLatin1String("://")) + 3;
    qsizetype end = uri.size();
    for (const QChar stop : {QLatin1Char('/'), QLatin1Char('?')}) {
        const qsizetype at = uri.indexOf(stop, start);
        if (at >= 0 && at < end)
            end = at;
    }
    const QString authority = uri.mid(start, end - start);
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        if (colon >= 0 && colon + 1 < userInfo.size())
            return true;
    }
    const qsizetype query = uri.indexOf(QLatin1Char('?'), start);
    if (query < 0)
        return false;
    const QUrlQuery settings(uri.mid(query + 1));
    for (const auto& [key, value] : settings.queryItems(QUrl::FullyDecoded))
        if (key.trimmed() == QLatin1String("password") && !value.isEmpty())
            return true;
    return false;
}

QString passwordInUriText()
{
    return QStringLiteral("数据库服务器的地址中不能写密码，请把密码写在 ~/.pgpass 文件或 PGPASSWORD 环境变量中");
}

Error checkServerToStore(const QString& uri)
{
    if (!namesServer(uri))
        return notAServer();
    if (carriesPassword(uri))
        return failure(ErrorKind::AccessDenied, passwordInUriText());
    return probeServer(uri);
}

Error writeDataSource(const QString& source)
{
    auto key = platform::RegistryStore::openKey(Connection::kDataSourceKey, true);
    if (!key || !key->writeString(QStringLiteral("DBQ"), source))
        return failure(ErrorKind::NoDataSource, QStringLiteral("数据源 Dorvik 的登记无法写入"));
    return {};
}

} // namespace data
