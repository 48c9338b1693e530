#include "data/Connection.h"

#include "data/Engine.h"
#include "data/SqliteEngine.h"
#include "platform/RegistryStore.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <atomic>

namespace data {

namespace {

std::atomic<int> g_defaultBusyTimeout{Connection::kStandardBusyTimeout};
std::atomic<quint64> g_lastGeneration{0};

QString versionText(int version)
{
    return QStringLiteral("%1.%2.%3").arg(version / 1000000).arg(version / 1000 % 1000).arg(version % 1000);
}

} // namespace

bool isProgramDatabaseFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return false;
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    sqlite3* db = nullptr;
    bool ours = false;
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, Connection::defaultBusyTimeout());
        int rc = SQLITE_OK;
        ours = missingProgramTable(db, &rc).isEmpty() && rc == SQLITE_OK;
    }
    sqlite3_close(db);
    return ours;
}

const QString Connection::kDataSourceKey = QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik");
const QStringList Connection::kProgramTables = {QStringLiteral("UserData"), QStringLiteral("Dept"),
                                                QStringLiteral("Worker"),   QStringLiteral("Product"),
                                                QStringLiteral("Process"),  QStringLiteral("Salary")};

Connection::Connection() : m_busyTimeout(defaultBusyTimeout()) {}

Connection::~Connection()
{
    close();
}

int Connection::defaultBusyTimeout()
{
    return g_defaultBusyTimeout;
}

void Connection::setDefaultBusyTimeout(int milliseconds)
{
    g_defaultBusyTimeout = milliseconds;
}

void Connection::setBusyTimeout(int milliseconds)
{
    m_busyTimeout = milliseconds;
    if (m_engine)
        m_engine->setBusyTimeout(m_busyTimeout);
}

QString Connection::dataSource()
{
    const auto key = platform::RegistryStore::openKey(kDataSourceKey, false);
    if (!key)
        return {};
    const auto dbq = key->value(QStringLiteral("DBQ"));
    return dbq ? dbq->data.toString() : QString();
}

QString Connection::dataSourcePath()
{
    const QString source = dataSource();
    return namesServer(source) ? QString() : source;
}

Dialect Connection::dialect() const
{
    if (m_engine && m_engine->isOpen())
        return m_engine->dialect();
    return namesServer(dataSource()) ? Dialect::Postgres : Dialect::Sqlite;
}

bool Connection::isOpen() const
{
    return m_engine && m_engine->isOpen();
}

bool Connection::open(Error* error)
{
    if (isOpen())
        return true;
    m_generation = 0;
    m_engine.reset();
    const QString source = dataSource();
    if (source.isEmpty()) {
        if (error)
            *error = Error{SQLITE_CANTOPEN, noDataSourceText(), ErrorKind::NoDataSource};
        return false;
    }
    std::unique_ptr<Engine> engine = makeEngine(source, m_busyTimeout);
    if (!engine->open(source, error))
        return false;
    m_engine = std::move(engine);
    m_generation = ++g_lastGeneration;
    return true;
}

void Connection::close()
{
    if (m_engine)
        m_engine->close();
    m_engine.reset();
    m_generation = 0;
}

bool Connection::run(const QString& sql, const QVariantList& params, ResultTarget* target, StatementOutcome* outcome,
                     Error* error)
{
    if (!open(error))
        return false;
    return m_engine->run(sql, params, target, outcome, error);
}

bool Connection::execute(const QString& statement, Error* error)
{
    return open(error) && m_engine->execute(statement, error);
}

bool Connection::begin(Error* error)
{
    return open(error) && m_engine->execute(beginStatement(), error);
}

QString Connection::beginStatement() const
{
    return dialect() == Dialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
}

bool Connection::inTransaction() const
{
    return isOpen() && m_engine->inTransaction();
}

qint64 Connection::totalChanges() const
{
    return isOpen() ? m_engine->totalChanges() : 0;
}

qint64 Connection::othersChangeMark()
{
    return isOpen() ? m_engine->othersChangeMark() : -1;
}

bool Connection::hearsOthers() const
{
    return isOpen() && m_engine->hearsOthers();
}

QList<RowNotice> Connection::takeRowNotices()
{
    return isOpen() ? m_engine->takeRowNotices() : QList<RowNotice>();
}

sqlite3* Connection::fileHandle(Error* error)
{
    if (!open(error))
        return nullptr;
    if (auto* file = dynamic_cast<SqliteEngine*>(m_engine.get()))
        return file->handle();
    if (error)
        *error = Error{SQLITE_MISUSE, QStringLiteral("数据源指向数据库服务器，不是数据库文件"), ErrorKind::Other};
    return nullptr;
}

QString engineVersionProblem(int runningVersion, int builtVersion)
{
    if (runningVersion < 0)
        runningVersion = sqlite3_libversion_number();
    if (builtVersion < 0)
        builtVersion = SQLITE_VERSION_NUMBER;
    if (runningVersion >= builtVersion)
        return QString();
    return QStringLiteral("本程序使用的 SQLite 数据库引擎是 %1 版，比编译程序时的 %2 版旧，程序不能启动。"
                          "请重新安装本程序。")
        .arg(versionText(runningVersion), versionText(builtVersion));
}

} // namespace data
