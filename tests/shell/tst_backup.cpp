#include "data/Backup.h"
#include "data/DataModule.h"
#include "data/History.h"
#include "data/Sql.h"
#include "platform/DbFileBlock.h"
#include "shell/Login.h"
#include "shell/MAIN.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sqlite3.h>

#include <memory>

namespace {

// A disk that runs out of room while it stands in as SQLite's file system: writes that would make
// one database file grow past its size at the start fail as on a full disk; every other file
// operation, and every write within that size, goes through to the real file system.
class FullDisk {
public:
    explicit FullDisk(const QString& dbPath)
    {
        s_path = QFileInfo(dbPath).canonicalFilePath();
        s_limit = QFileInfo(dbPath).size();
        s_written = 0;
        s_refused = 0;
        s_real = sqlite3_vfs_find(nullptr);
        s_vfs = *s_real;
        s_vfs.zName = "dorvik-full-disk";
        s_vfs.szOsFile = int(sizeof(File)) + s_real->szOsFile;
        s_vfs.xOpen = &openFile;
        sqlite3_vfs_register(&s_vfs, 1);
    }
    ~FullDisk()
    {
        sqlite3_vfs_unregister(&s_vfs);
        sqlite3_vfs_register(s_real, 1);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    // Writes into the file that went through before the first refused one, and the refused ones.
    static int writtenBeforeFull() { return s_written; }
    static int refused() { return s_refused; }

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
        bool limited;
    };
    static sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

    static int openFile(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags)
    {
        auto* file = reinterpret_cast<File*>(f);
        file->real = reinterpret_cast<sqlite3_file*>(file + 1);
        const int rc = s_real->xOpen(s_real, name, file->real, flags, outFlags);
        file->limited =
            name && (flags & SQLITE_OPEN_MAIN_DB) && QFileInfo(QString::fromUtf8(name)).canonicalFilePath() == s_path;
        file->base.pMethods = file->real->pMethods ? &s_methods : nullptr;
        return rc;
    }
    static int writeFile(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset)
    {
        auto* file = reinterpret_cast<File*>(f);
        if (file->limited && offset + amount > s_limit) {
            ++s_refused;
            return SQLITE_FULL;
        }
        const int rc = file->real->pMethods->xWrite(file->real, data, amount, offset);
        if (file->limited && rc == SQLITE_OK && s_refused == 0)
            ++s_written;
        return rc;
    }

    static inline QString s_path;
    static inline qint64 s_limit = 0;
    static inline int s_written = 0;
    static inline int s_refused = 0;
    static inline sqlite3_vfs* s_real = nullptr;
    static inline sqlite3_vfs s_vfs{};
    static inline const sqlite3_io_methods s_methods = {
        .iVersion = 1,
        .xClose = [](sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); },
        .xRead = [](sqlite3_file* f, void* data, int amount,
                    sqlite3_int64 offset) { return real(f)->pMethods->xRead(real(f), data, amount, offset); },
        .xWrite = &writeFile,
        .xTruncate = [](sqlite3_file* f, sqlite3_int64 size) { return real(f)->pMethods->xTruncate(real(f), size); },
        .xSync = [](sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); },
        .xFileSize = [](sqlite3_file* f, sqlite3_int64* size) { return real(f)->pMethods->xFileSize(real(f), size); },
        .xLock = [](sqlite3_file* f, int lock) { return real(f)->pMethods->xLock(real(f), lock); },
        .xUnlock = [](sqlite3_file* f, int lock) { return real(f)->pMethods->xUnlock(real(f), lock); },
        .xCheckReservedLock = [](sqlite3_file* f,
                                 int* out) { return real(f)->pMethods->xCheckReservedLock(real(f), out); },
        .xFileControl = [](sqlite3_file* f, int op,
                           void* arg) { return real(f)->pMethods->xFileControl(real(f), op, arg); },
        .xSectorSize = [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); },
        .xDeviceCharacteristics = [](sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); },
        .xShmMap = nullptr,
        .xShmLock = nullptr,
        .xShmBarrier = nullptr,
        .xShmUnmap = nullptr,
        .xFetch = nullptr,
        .xUnfetch = nullptr,
    };
};

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList teamsIn(const QString& dbPath)
{
    QStringList names;
    for (const QVariantList& row :
         testsupport::queryRows(dbPath, QStringLiteral("Select DeptName From Dept Order by id")))
        names << row.first().toString();
    return names;
}

QStringList teamsOf(data::DataSet* set)
{
    QStringList names;
    for (int r = 0; r < set->recordCount(); ++r)
        names << set->value(r, 0).toString();
    return names;
}

} // namespace

// Backup and restore as the main window runs them, on a real database file.
class TestBackup : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void backupWhileConnectedHoldsTheLastCommit();
    void nextBackupReplacesThePrevious();
    void failedBackupKeepsThePrevious_data();
    void failedBackupKeepsThePrevious();
    void restoreBringsBackTheBackedUpRows();
    void restoreWithoutBackupChangesNothing();
    void restoreRefusesAFileOfAnotherKind_data();
    void restoreRefusesAFileOfAnotherKind();
    void restoreFailingHalfWayLeavesTheLiveDatabase();
    void restoreBringsBackTheRecordAndRecordsItself();
    void restoreOfAnOlderBackupRecordsItself();

private:
    void addTeam(const QString& name);
    QString backupFile() const { return m_dir->file(QStringLiteral("backup/DorvikSalary.mdb")); }
    QStringList backupFolder() const
    {
        return QDir(m_dir->file(QStringLiteral("backup")))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    QString singleStop();
    // One line of the change record, written through the program's connection, note as given.
    void logLine(const QString& note);
    // The change record of a database file: kind, table, note and user of each line, oldest first.
    QList<QStringList> changeLines(const QString& dbPath) const;
    QString restoreNote() const;

    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<TMainForm> m_form;
};

void TestBackup::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_dir->prepareDatabase();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
    LoginUser = QStringLiteral("Dorvik");
    LoginRole = QStringLiteral("系统管理员");
    m_form = std::make_unique<TMainForm>();
}

void TestBackup::cleanup()
{
    m_form.reset();
    LoginUser.clear();
    LoginRole.clear();
    QCOMPARE(m_boxes->unexpected(), 0);
    m_boxes.reset();
    m_dir.reset();
}

// Through the program's own connection, committed at once.
void TestBackup::addTeam(const QString& name)
{
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {name}));
}

void TestBackup::logLine(const QString& note)
{
    QVERIFY(RunInTransaction([&] {
        return LogChange(ChangeLine{change::kAddTeam, QStringLiteral("Dept"), 1, QString(), QString(), note});
    }));
}

QList<QStringList> TestBackup::changeLines(const QString& dbPath) const
{
    QList<QStringList> lines;
    for (const QVariantList& row : testsupport::queryRows(
             dbPath, QStringLiteral("SELECT ChangeKind, TableName, Note, UserName FROM ChangeLog ORDER BY Id")))
        lines << QStringList{row.at(0).toString(), row.at(1).toString(), row.at(2).toString(), row.at(3).toString()};
    return lines;
}

// The note of the restore's line: the backup file and its modification time.
QString TestBackup::restoreNote() const
{
    return QStringLiteral("由备份文件 %1 恢复（备份文件的修改时间：%2）")
        .arg(QDir::toNativeSeparators(backupFile()),
             QFileInfo(backupFile()).lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QString TestBackup::singleStop()
{
    const auto boxes = m_boxes->take();
    if (boxes.size() != 1 || boxes.first().icon != toolkit::MsgIcon::Stop ||
        boxes.first().caption != toolkit::kSystemCaption)
        return QStringLiteral("<not one stop box>");
    return boxes.first().text;
}

void TestBackup::backupWhileConnectedHoldsTheLastCommit()
{
    addTeam(QStringLiteral("一组"));
    addTeam(QStringLiteral("二组"));
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select DeptName From Dept"))); // a dataset open meanwhile
    m_form->DataBackupClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据备份成功......")});
    QCOMPARE(teamsIn(backupFile()), (QStringList{"一组", "二组"}));
    const auto check = testsupport::queryRows(backupFile(), QStringLiteral("PRAGMA integrity_check"));
    QCOMPARE(check.first().first().toString(), QStringLiteral("ok"));
    QCOMPARE(fileBytes(backupFile()).left(16), platform::databaseHeaderBlock());
    QCOMPARE(backupFolder(), QStringList{QStringLiteral("DorvikSalary.mdb")});
    // The program goes on working on its connection.
    addTeam(QStringLiteral("三组"));
    QCOMPARE(teamsIn(m_dir->dbPath()).size(), 3);
}

void TestBackup::nextBackupReplacesThePrevious()
{
    addTeam(QStringLiteral("一组"));
    m_form->DataBackupClick();
    addTeam(QStringLiteral("二组"));
    m_form->DataBackupClick();
    QCOMPARE(m_boxes->takeTexts(), (QStringList{"数据备份成功......", "数据备份成功......"}));
    QCOMPARE(teamsIn(backupFile()), (QStringList{"一组", "二组"}));
    QCOMPARE(backupFolder(), QStringList{QStringLiteral("DorvikSalary.mdb")});
}

void TestBackup::failedBackupKeepsThePrevious_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("reason");
    QTest::newRow("database unreachable") << "no database"
                                          << "无法连接数据库";
    QTest::newRow("backup slot taken by a folder") << "slot is a folder"
                                                   << "文件夹占用";
    QTest::newRow("backup folder cannot be made") << "folder is a file"
                                                  << "无法创建备份文件夹";
}

void TestBackup::failedBackupKeepsThePrevious()
{
    QFETCH(QString, failure);
    QFETCH(QString, reason);
    addTeam(QStringLiteral("一组"));
    const QString backupDir = m_dir->file(QStringLiteral("backup"));
    QByteArray previous;
    if (failure == QLatin1String("no database")) {
        m_form->DataBackupClick();
        QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据备份成功......")});
        previous = fileBytes(backupFile());
        DM->connection()->close();
        QVERIFY(QFile::rename(m_dir->dbPath(), m_dir->dbPath() + QStringLiteral(".away")));
    } else if (failure == QLatin1String("slot is a folder")) {
        QVERIFY(QDir().mkpath(backupFile() + QStringLiteral("/inside")));
    } else {
        QFile blocker(backupDir);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a folder");
    }
    const QStringList folderBefore = QFileInfo(backupDir).isDir() ? backupFolder() : QStringList();

    m_form->DataBackupClick();
    const QString text = singleStop();
    QVERIFY2(text.startsWith(QStringLiteral("数据备份失败：")) && text.contains(reason), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("原有的备份文件没有改动")));
    if (failure == QLatin1String("no database"))
        QCOMPARE(fileBytes(backupFile()), previous);
    if (QFileInfo(backupDir).isDir())
        QCOMPARE(backupFolder(), folderBefore); // no half-written file left behind
    else
        QCOMPARE(fileBytes(backupDir), QByteArray("not a folder"));
}

void TestBackup::restoreBringsBackTheBackedUpRows()
{
    addTeam(QStringLiteral("一组"));
    addTeam(QStringLiteral("二组"));
    m_form->DataBackupClick();
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Delete From Dept Where DeptName = ?"), {QStringLiteral("一组")}));
    addTeam(QStringLiteral("三组"));
    QVERIFY(OpenQuery(DM->UserQuery, QStringLiteral("Select DeptName From Dept Order by id")));
    QCOMPARE(teamsOf(DM->UserQuery), (QStringList{"二组", "三组"}));

    m_form->DataGiveBackClick();
    QCOMPARE(m_boxes->takeTexts(), (QStringList{"数据备份成功......", "数据恢复成功......"}));
    // Loaded rows stay until the list reloads; the next statement reads the restored file.
    QCOMPARE(teamsOf(DM->UserQuery), (QStringList{"二组", "三组"}));
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select DeptName From Dept Order by id")));
    QCOMPARE(teamsOf(DM->DmQuery), (QStringList{"一组", "二组"}));
    QCOMPARE(teamsIn(m_dir->dbPath()), (QStringList{"一组", "二组"}));
    QCOMPARE(m_dir->fileHead(QStringLiteral("DorvikSalary.mdb")), platform::databaseHeaderBlock());
    const auto check = testsupport::queryRows(m_dir->dbPath(), QStringLiteral("PRAGMA integrity_check"));
    QCOMPARE(check.first().first().toString(), QStringLiteral("ok"));
    // Work goes on on the restored database, and the backup stays as it was.
    addTeam(QStringLiteral("四组"));
    QCOMPARE(teamsIn(m_dir->dbPath()), (QStringList{"一组", "二组", "四组"}));
    QCOMPARE(teamsIn(backupFile()), (QStringList{"一组", "二组"}));
}

void TestBackup::restoreWithoutBackupChangesNothing()
{
    addTeam(QStringLiteral("一组"));
    DM->connection()->close();
    const QByteArray live = fileBytes(m_dir->dbPath());
    m_form->DataGiveBackClick();
    const QString text = singleStop();
    QVERIFY2(text.contains(QStringLiteral("没有找到备份文件")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("数据库没有做任何改动")));
    QCOMPARE(fileBytes(m_dir->dbPath()), live);
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select DeptName From Dept")));
    QCOMPARE(teamsOf(DM->DmQuery), QStringList{QStringLiteral("一组")});
}

void TestBackup::restoreRefusesAFileOfAnotherKind_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("text file") << "text"
                               << "不是完好的数据库";
    QTest::newRow("database of another program") << "other schema"
                                                 << "不是本系统的数据库";
    QTest::newRow("copy carrying the closing marker") << "marker"
                                                      << "不是完好的数据库";
    QTest::newRow("cut-off copy") << "truncated"
                                  << "不是完好的数据库";
}

void TestBackup::restoreRefusesAFileOfAnotherKind()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QVERIFY(RunInTransaction([] { // enough pages that a cut-off copy misses some
        for (int i = 0; i < 300; ++i)
            if (!ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"),
                           {QStringLiteral("班组%1").arg(i) + QString(200, QLatin1Char('x'))}))
                return false;
        return true;
    }));
    m_form->DataBackupClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据备份成功......")});
    const QByteArray good = fileBytes(backupFile());
    QFile slot(backupFile());
    QVERIFY(slot.open(QIODevice::WriteOnly | QIODevice::Truncate));
    if (kind == QLatin1String("text")) {
        slot.write("DorvikSalary backup, honest\n");
    } else if (kind == QLatin1String("marker")) {
        slot.write(platform::closingMarkerBlock() + good.mid(16));
    } else if (kind == QLatin1String("truncated")) {
        slot.write(good.left(good.size() / 2));
    }
    slot.close();
    if (kind == QLatin1String("other schema")) {
        // The slot was emptied above; an empty file is an empty database to SQLite.
        testsupport::execSql(backupFile(), QStringLiteral("Create Table Notes (id INTEGER PRIMARY KEY, text TEXT)"));
    }
    addTeam(QStringLiteral("新班组"));
    DM->connection()->close();
    const QByteArray live = fileBytes(m_dir->dbPath());

    m_form->DataGiveBackClick();
    const QString text = singleStop();
    QVERIFY2(text.contains(QStringLiteral("备份文件不能使用")) && text.contains(reason), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("数据库没有做任何改动")));
    QCOMPARE(fileBytes(m_dir->dbPath()), live);
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select count(*) From Dept")));
    QCOMPARE(DM->DmQuery->field(0).asInteger(), 301);
}

void TestBackup::restoreFailingHalfWayLeavesTheLiveDatabase()
{
    // A backup larger than the live database, so that the restore has to grow the live file.
    QVERIFY(RunInTransaction([] {
        for (int i = 0; i < 300; ++i)
            if (!ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"),
                           {QStringLiteral("班组%1").arg(i) + QString(200, QLatin1Char('x'))}))
                return false;
        return true;
    }));
    m_form->DataBackupClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据备份成功......")});
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Delete From Dept")));
    addTeam(QStringLiteral("新班组"));
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Vacuum")));
    DM->connection()->close();
    const QByteArray live = fileBytes(m_dir->dbPath());
    QVERIFY(live.size() < fileBytes(backupFile()).size());

    {
        // The disk holds the live file as it is and no page more.
        FullDisk disk(m_dir->dbPath());
        m_form->DataGiveBackClick();
        QVERIFY2(FullDisk::writtenBeforeFull() > 0, "the copy failed before it wrote into the live file");
        QVERIFY(FullDisk::refused() > 0);
    }
    QCOMPARE(singleStop(), QStringLiteral("数据恢复失败：磁盘空间不足。\n\n数据库没有做任何改动。"));
    QCOMPARE(fileBytes(m_dir->dbPath()), live);
    QVERIFY(!QFile::exists(m_dir->dbPath() + QStringLiteral("-journal")));
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select DeptName From Dept")));
    QCOMPARE(teamsOf(DM->DmQuery), QStringList{QStringLiteral("新班组")});
    const auto check = testsupport::queryRows(m_dir->dbPath(), QStringLiteral("PRAGMA integrity_check"));
    QCOMPARE(check.first().first().toString(), QStringLiteral("ok"));
}

void TestBackup::restoreBringsBackTheRecordAndRecordsItself()
{
    // The copy of a file carries the closed months and the change record with every other table.
    logLine(QStringLiteral("备份前"));
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Insert Into MonthClose (Month, ClosedBy, ClosedAt) Values (?,?,?)"),
                      {QStringLiteral("2024-01"), QStringLiteral("Dorvik"), QStringLiteral("2024-02-01 08:00:00")}));
    m_form->DataBackupClick();
    logLine(QStringLiteral("备份后"));
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Insert Into MonthClose (Month, ClosedBy, ClosedAt) Values (?,?,?)"),
                      {QStringLiteral("2024-02"), QStringLiteral("Dorvik"), QStringLiteral("2024-03-01 08:00:00")}));
    m_form->DataGiveBackClick();
    QCOMPARE(m_boxes->takeTexts(), (QStringList{"数据备份成功......", "数据恢复成功......"}));

    const QString user = QStringLiteral("Dorvik");
    QCOMPARE(changeLines(m_dir->dbPath()), (QList<QStringList>{{change::kAddTeam, "Dept", "备份前", user},
                                                               {change::kRestore, "*", restoreNote(), user}}));
    QCOMPARE(testsupport::queryRows(m_dir->dbPath(), QStringLiteral("SELECT Month FROM MonthClose")),
             QList<QVariantList>{{QStringLiteral("2024-01")}});
    // The backup itself stays as it was.
    QCOMPARE(changeLines(backupFile()), (QList<QStringList>{{change::kAddTeam, "Dept", "备份前", user}}));
}

void TestBackup::restoreOfAnOlderBackupRecordsItself()
{
    addTeam(QStringLiteral("一组"));
    m_form->DataBackupClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据备份成功......")});
    // A backup made by an earlier version has neither the closed months nor the change record.
    testsupport::execSql(backupFile(), QStringLiteral("DROP TABLE ChangeLog"));
    testsupport::execSql(backupFile(), QStringLiteral("DROP TABLE MonthClose"));
    logLine(QStringLiteral("恢复前"));

    m_form->DataGiveBackClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据恢复成功......")});
    QCOMPARE(teamsIn(m_dir->dbPath()), QStringList{QStringLiteral("一组")});
    // The reopened database has the tables again, with the restore's line alone.
    QCOMPARE(changeLines(m_dir->dbPath()),
             (QList<QStringList>{{change::kRestore, "*", restoreNote(), QStringLiteral("Dorvik")}}));
    QCOMPARE(testsupport::queryRows(m_dir->dbPath(), QStringLiteral("SELECT count(*) FROM MonthClose")),
             QList<QVariantList>{{0}});
    // The guard that keeps the record's lines came with the tables.
    QVERIFY(!ExecQuery(DM->DmQuery, QStringLiteral("Delete From ChangeLog")));
    QVERIFY(singleStop().startsWith(QStringLiteral("操作数据表时出错")));
    QCOMPARE(changeLines(m_dir->dbPath()).size(), 1);
}

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
