#include "data/Connection.h"

#include "platform/RegistryStore.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>

namespace data {

const QString Connection::kDataSourceKey = QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik");

Connection::Connection(QString connectionName) : m_name(std::move(connectionName)) {}

Connection::~Connection()
{
    close();
}

QString Connection::dataSourcePath()
{
    const auto key = platform::RegistryStore::openKey(kDataSourceKey, false);
    if (!key)
        return {};
    const auto dbq = key->value(QStringLiteral("DBQ"));
    return dbq ? dbq->data.toString() : QString();
}

sqlite3* Connection::handle(QString* error)
{
    if (m_handle)
        return m_handle;
    const auto fail = [error](const QString& reason) -> sqlite3* {
        if (error)
            *error = reason;
        return nullptr;
    };
    const QString path = dataSourcePath();
    if (path.isEmpty())
        return fail(QStringLiteral("data source Dorvik is not registered"));
    if (!QFileInfo::exists(path))
        return fail(QStringLiteral("database file %1 does not exist").arg(path));

    QSqlDatabase db = QSqlDatabase::contains(m_name) ? QSqlDatabase::database(m_name, false)
                                                     : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    // mode=rw: the database file is opened, never created.
    db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
    if (!db.open())
        return fail(db.lastError().text());
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return fail(QStringLiteral("the SQLite driver gives no handle"));
    m_handle = *static_cast<sqlite3* const*>(v.constData());
    return m_handle;
}

void Connection::close()
{
    m_handle = nullptr;
    if (QSqlDatabase::contains(m_name)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
}

} // namespace data
