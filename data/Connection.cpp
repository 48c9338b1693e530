#include "data/Connection.h"

#include "platform/DbFileBlock.h"
#include "platform/RegistryStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

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

// True when the file begins with the closing marker: a header that could not be written back (the
// file is read-only, or another program put the marker there).
bool beginsWithClosingMarker(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == platform::closingMarkerBlock();
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
    if (m_handle)
        sqlite3_busy_timeout(m_handle, m_busyTimeout);
}

QString Connection::dataSourcePath()
{
    const auto key = platform::RegistryStore::openKey(kDataSourceKey, false);
    if (!key)
        return {};
    const auto dbq = key->value(QStringLiteral("DBQ"));
    return dbq ? dbq->data.toString() : QString();
}

sqlite3* Connection::handle(Error* error)
{
    if (m_handle)
        return m_handle;
    const auto fail = [error](int code, const QString& text) -> sqlite3* {
        if (error)
            *error = Error{code, text};
        return nullptr;
    };
    const QString path = dataSourcePath();
    if (path.isEmpty())
        return fail(SQLITE_CANTOPEN, noDataSourceText());
    if (!QFileInfo::exists(path))
        return fail(SQLITE_CANTOPEN, fileMissingText(path));

    // An absolute path never reads as a URI; without SQLITE_OPEN_CREATE a missing file stays missing.
    // A connection serves one thread only, so the engine need not lock it on every call (a
    // million-row list makes tens of millions of calls).
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const int code = db ? sqlite3_extended_errcode(db) : rc;
        sqlite3_close(db);
        return fail(code, causeOfEngineCode(code));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, m_busyTimeout);
    m_handle = db;
    m_path = path;
    m_generation = ++g_lastGeneration;
    return m_handle;
}

void Connection::close()
{
    // Closing rolls back a transaction left open; the datasets hold no statement between calls.
    sqlite3_close_v2(m_handle);
    m_handle = nullptr;
    m_generation = 0;
}

bool Connection::execute(const char* statement, Error* error)
{
    Error failed;
    sqlite3* db = handle(&failed);
    if (db) {
        const int rc = sqlite3_exec(db, statement, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            return true;
        failed = failure(rc);
    }
    if (error)
        *error = failed;
    return false;
}

bool Connection::inTransaction() const
{
    return m_handle && !sqlite3_get_autocommit(m_handle);
}

Error Connection::failure(int rc) const
{
    // The closing marker still heads a file that the start could not write the header back into.
    if ((rc & 0xff) == SQLITE_NOTADB && m_handle && sqlite3_db_readonly(m_handle, "main") == 1 &&
        beginsWithClosingMarker(m_path))
        return Error{SQLITE_READONLY, readOnlyMarkedFileText()};
    if ((rc & 0xff) == SQLITE_ERROR && m_handle) {
        // A statement the program's own database would run fails here: the file is another's.
        const QString missing = missingProgramTable(m_handle);
        if (!missing.isEmpty())
            return Error{rc, notThisProgramsDatabaseText(missing)};
    }
    return Error{rc, causeOfEngineCode(rc)};
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
