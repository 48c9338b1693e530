#include "data/Backup.h"

#include "data/Connection.h"
#include "data/PgEngine.h"
#include "data/Schema.h"
#include "data/SqliteEngine.h"
#include "platform/ProgramDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace data {

namespace {

// How long a copy waits for another connection's lock before it gives up.
constexpr int kBusyRetries = 40;
constexpr int kBusySleepMs = 50;

const QString kBackupKept = QStringLiteral("原有的备份文件没有改动。");
const QString kLiveKept = QStringLiteral("数据库没有做任何改动。");
const QString kLiveNotYetKept =
    QStringLiteral("数据库暂时无法读取；下次打开数据库时，未完成的恢复会被撤销，数据库回到恢复前的样子。");

CopyOutcome failed(const QString& text, int code = 0)
{
    return CopyOutcome{false, text, code};
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

enum class Access { Read, Write };

// Opens an existing database file (never creating it); nullptr with SQLite's result code when that
// fails.
DbHandle openDb(const QString& path, Access access, int* rc)
{
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const int flags = access == Access::Read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    *rc = sqlite3_open_v2(file.constData(), &db, flags, nullptr);
    if (*rc != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    return DbHandle(db);
}

// Copies the whole of source into destination in one step; SQLite's result code.
int copyPages(sqlite3* destination, sqlite3* source)
{
    sqlite3_backup* backup = sqlite3_backup_init(destination, "main", source, "main");
    if (!backup)
        return sqlite3_extended_errcode(destination);
    int rc;
    int retries = 0;
    while ((rc = sqlite3_backup_step(backup, -1)) != SQLITE_DONE) {
        const int primary = rc & 0xff;
        if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || ++retries > kBusyRetries)
            break;
        sqlite3_sleep(kBusySleepMs);
    }
    const int finish = sqlite3_backup_finish(backup);
    return rc == SQLITE_DONE ? finish : rc;
}

// The reason for a failed SQLite operation on the backup or the live file, in the user's words: the
// engine's cause, except where a copy's file needs other words than the database's.
QString reasonOf(int rc, bool writing)
{
    switch (rc & 0xff) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return QStringLiteral("没有写入文件的权限。");
    case SQLITE_CANTOPEN:
        return writing ? QStringLiteral("无法打开或创建文件，可能没有写入的权限。")
                       : QStringLiteral("无法打开文件，可能没有读取的权限。");
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return QStringLiteral("文件不是完好的数据库。");
    case SQLITE_IOERR: return QStringLiteral("读写文件时出错（磁盘已满或损坏）。");
    default: return causeOfEngineCode(rc) + QStringLiteral("。");
    }
}

QString reasonOfErrno(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT: return QStringLiteral("磁盘空间不足。");
    case EACCES:
    case EPERM:
    case EROFS: return QStringLiteral("没有写入文件的权限。");
    case EISDIR: return QStringLiteral("备份文件的位置被一个文件夹占用。");
    default: return QStringLiteral("文件操作出错（系统错误代码 %1）。").arg(error);
    }
}

// A copy into the live file that failed half way is undone by the engine from its journal; when the
// engine could not do so at once, the journal stays beside the file and the next connection that
// reads the file plays it back. That is done here, so that the file on disk is the old database
// again before the user is told so. True when the file reads back whole.
bool rollBackInterruptedCopy(const QString& livePath)
{
    int rc = SQLITE_OK;
    DbHandle live = openDb(livePath, Access::Write, &rc);
    if (!live)
        return false;
    sqlite3_busy_timeout(live.get(), Connection::defaultBusyTimeout());
    return sqlite3_exec(live.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Empty when the database is sound and holds this program's tables; otherwise the reason.
QString checkDatabase(sqlite3* db)
{
    int rc = SQLITE_OK;
    const QString missing = missingProgramTable(db, &rc);
    if (rc != SQLITE_OK)
        return reasonOf(rc, false);
    if (!missing.isEmpty())
        return QStringLiteral("文件不是本系统的数据库（缺少数据表 %1）。").arg(missing);

    sqlite3_stmt* st = nullptr;
    // Every page must read back sound: a damaged copy must not replace good data.
    rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &st, nullptr);
    QString verdict;
    if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    rc = rc == SQLITE_OK ? sqlite3_finalize(st) : rc;
    if (rc != SQLITE_OK)
        return reasonOf(rc, false);
    if (verdict != QLatin1String("ok"))
        return QStringLiteral("文件已损坏。");
    return QString();
}

} // namespace

QString backupFilePath()
{
    return platform::dataFile(QStringLiteral("backup/DorvikSalary.mdb"));
}

CopyOutcome backupDatabase(Connection& connection, const QString& backupFile)
{
    const QString title = QStringLiteral("数据备份失败：");
    Error error;
    // A file database is copied page by page from the program's connection; a server's rows are
    // read on a connection of the backup's own, in one snapshot.
    std::unique_ptr<PgEngine> server;
    sqlite3* source = nullptr;
    if (connection.onServer()) {
        server = std::make_unique<PgEngine>(connection.busyTimeout());
        if (!server->open(Connection::dataSource(), &error))
            server.reset();
    } else {
        source = connection.fileHandle(&error);
    }
    if (!source && !server)
        return failed(title + QStringLiteral("无法连接数据库。\n") + error.text + QStringLiteral("。\n\n") +
                          kBackupKept,
                      error.code);

    const QFileInfo target(backupFile);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        return failed(title + QStringLiteral("无法创建备份文件夹\n") + QDir::toNativeSeparators(folder) +
                      QStringLiteral("\n\n") + kBackupKept);

    // The copy goes into a new file beside the backup file and replaces it only when complete.
    QString partPath;
    {
        QTemporaryFile part(QDir(folder).filePath(target.fileName() + QStringLiteral(".XXXXXX")));
        part.setAutoRemove(false);
        if (!part.open())
            return failed(title + QStringLiteral("无法在备份文件夹中写入文件，可能没有写入的权限或磁盘已满。\n") +
                          QDir::toNativeSeparators(folder) + QStringLiteral("\n\n") + kBackupKept);
        partPath = part.fileName();
    }
    const auto discardPart = [&partPath] {
        QFile::remove(partPath);
        QFile::remove(partPath + QStringLiteral("-journal"));
    };

    int rc = SQLITE_OK;
    QString reason;
    {
        DbHandle destination = openDb(partPath, Access::Write, &rc);
        if (destination && source) {
            rc = copyPages(destination.get(), source);
        } else if (destination) {
            rc = sqlite3_exec(destination.get(), schemaText(Dialect::Sqlite).toUtf8().constData(), nullptr, nullptr,
                              nullptr);
            if (rc == SQLITE_OK && !copyServerToFile(*server, destination.get(), &error)) {
                rc = error.code;
                reason = error.text + QStringLiteral("。");
            }
        }
        if (destination && rc == SQLITE_OK && sqlite3_close(destination.release()) != SQLITE_OK)
            rc = SQLITE_IOERR;
    }
    if (rc != SQLITE_OK) {
        discardPart();
        return failed(title + (reason.isEmpty() ? reasonOf(rc, true) : reason) + QStringLiteral("\n\n") + kBackupKept,
                      rc);
    }
    QFile::setPermissions(partPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(backupFile).constData()) != 0) {
        const int renameError = errno;
        discardPart();
        return failed(title + reasonOfErrno(renameError) + QStringLiteral("\n") + QDir::toNativeSeparators(backupFile) +
                      QStringLiteral("\n\n") + kBackupKept);
    }
    return CopyOutcome{true, QString()};
}

CopyOutcome restoreDatabase(Connection& connection, const QString& backupFile)
{
    const QString title = QStringLiteral("数据恢复失败：");
    const QString tail = QStringLiteral("\n\n") + kLiveKept;
    QDir().mkpath(QFileInfo(backupFile).absolutePath());
    if (!QFileInfo(backupFile).isFile())
        return failed(title + QStringLiteral("没有找到备份文件\n") + QDir::toNativeSeparators(backupFile) +
                      QStringLiteral("\n请先进行数据库备份。") + tail);
    const bool onServer = connection.onServer();
    const QString livePath = Connection::dataSourcePath();
    if (!onServer && (livePath.isEmpty() || !QFileInfo(livePath).isFile()))
        return failed(title + QStringLiteral("找不到当前的数据库文件。\n") + QDir::toNativeSeparators(livePath));
    if (!onServer && QFileInfo(livePath).canonicalFilePath() == QFileInfo(backupFile).canonicalFilePath())
        return failed(title + QStringLiteral("备份文件就是当前的数据库文件。") + tail);

    int rc = SQLITE_OK;
    DbHandle source = openDb(backupFile, Access::Read, &rc);
    const QString problem = source ? checkDatabase(source.get()) : reasonOf(rc, false);
    if (!problem.isEmpty())
        return failed(title + QStringLiteral("备份文件不能使用\n") + QDir::toNativeSeparators(backupFile) +
                      QStringLiteral("\n") + problem + tail);

    // The program's own connection goes first; its datasets keep the rows they hold, and the next
    // statement reconnects and reads the restored rows.
    connection.close();
    if (onServer) {
        // The rows go into the server on a connection of the restore's own, in one transaction.
        PgEngine server(connection.busyTimeout());
        Error error;
        if (!server.open(Connection::dataSource(), &error))
            return failed(title + QStringLiteral("无法连接数据库。\n") + error.text + QStringLiteral("。") + tail);
        if (!copyFileToServer(source.get(), server, ServerLoad::Replace, {}, &error))
            return failed(title + error.text + QStringLiteral("。") + tail);
        return CopyOutcome{true, QString()};
    }
    DbHandle live = openDb(livePath, Access::Write, &rc);
    if (live)
        rc = copyPages(live.get(), source.get());
    if (rc == SQLITE_OK)
        return CopyOutcome{true, QString()};
    live.reset();
    if (!rollBackInterruptedCopy(livePath))
        return failed(title + reasonOf(rc, true) + QStringLiteral("\n\n") + kLiveNotYetKept, rc);
    return failed(title + reasonOf(rc, true) + tail, rc);
}

CopyOutcome migrateToServer(const QString& file, const QString& uri, const TableProgress& progress)
{
    const QString tail = QStringLiteral("\n数据库服务器没有做任何改动。");
    if (!namesServer(uri))
        return failed(QStringLiteral("%1 不是数据库服务器的地址（postgresql://...）。").arg(uri) + tail);
    if (!QFileInfo(file).isFile())
        return failed(QStringLiteral("没有找到数据库文件 %1。").arg(QDir::toNativeSeparators(file)) + tail);
    int rc = SQLITE_OK;
    DbHandle source = openDb(file, Access::Read, &rc);
    const QString problem = source ? checkDatabase(source.get()) : reasonOf(rc, false);
    if (!problem.isEmpty())
        return failed(QStringLiteral("数据库文件 %1 不能使用：").arg(QDir::toNativeSeparators(file)) + problem + tail);

    PgEngine server(Connection::defaultBusyTimeout());
    server.setRequireProgramTables(false);
    Error error;
    if (!server.open(uri, &error))
        return failed(error.text + QStringLiteral("。") + tail);
    if (!copyFileToServer(source.get(), server, ServerLoad::IntoEmpty, progress, &error))
        return failed(error.text + QStringLiteral("。") + tail);
    return CopyOutcome{true, QString()};
}

} // namespace data
