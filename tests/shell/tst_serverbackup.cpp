#include "data/Backup.h"
#include "data/Connection.h"
#include "data/DataModule.h"
#include "data/History.h"
#include "data/Schema.h"
#include "data/Sql.h"
#include "platform/RegistryStore.h"
#include "shell/Login.h"
#include "shell/MAIN.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <libpq-fe.h>

#include <memory>
#include <stdexcept>

namespace {

const QStringList kTables = {"UserData", "Dept", "Worker", "Product", "Process", "Salary"};

// The test cluster's socket folder; empty when the tests run without a server.
QString socketFolder()
{
    return qEnvironmentVariable("DORVIK_TEST_PG_SOCKET");
}

QString uriOf(const QString& database)
{
    return QStringLiteral("postgresql:///%1?host=%2&user=dorvik").arg(database, socketFolder());
}

using PgConn = std::unique_ptr<PGconn, void (*)(PGconn*)>;
using PgResult = std::unique_ptr<PGresult, void (*)(PGresult*)>;

PgResult runOn(const QString& uri, const QString& sql)
{
    PgConn conn(PQconnectdb(uri.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw std::runtime_error("cannot connect: " + std::string(PQerrorMessage(conn.get())));
    PQsetNoticeProcessor(
        conn.get(), [](void*, const char*) {}, nullptr);
    PgResult result(PQexec(conn.get(), sql.toUtf8().constData()), PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error("statement failed: " + std::string(PQresultErrorMessage(result.get())));
    return result;
}

// A database of its own on the test cluster, dropped with the object.
class ServerDb {
public:
    ServerDb() : m_name(QStringLiteral("dorvik_copy_%1").arg(QRandomGenerator::global()->generate()))
    {
        runOn(uriOf(QStringLiteral("postgres")), QStringLiteral("CREATE DATABASE ") + m_name);
    }
    ~ServerDb()
    {
        try {
            runOn(uriOf(QStringLiteral("postgres")), QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(m_name));
        } catch (const std::exception&) {
        }
    }
    ServerDb(const ServerDb&) = delete;
    ServerDb& operator=(const ServerDb&) = delete;

    QString uri() const { return uriOf(m_name); }
    void exec(const QString& sql) const { runOn(uri(), sql); }
    void createSchema() const { exec(data::schemaText(data::Dialect::Postgres)); }

private:
    QString m_name;
};

using Dump = QMap<QString, QList<QStringList>>;

// Every row of every table of a file database, in key order: each value with its storage type, so
// that a key, a number that turned into text or an integer that turned into a REAL shows.
Dump fileDump(const QString& path)
{
    Dump dump;
    for (const QString& table : kTables)
        for (const QVariantList& row :
             testsupport::queryRows(path, QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table))) {
            QStringList values;
            for (const QVariant& v : row)
                values << (v.isNull() ? QStringLiteral("NULL")
                                      : QStringLiteral("%1:%2").arg(QString::fromLatin1(v.typeName()),
                                                                    v.typeId() == QMetaType::Double
                                                                        ? QString::number(v.toDouble(), 'g', 17)
                                                                        : v.toString()));
            dump[table] << values;
        }
    return dump;
}

// The same for the server, every value in the server's text form.
Dump serverDump(const QString& uri)
{
    Dump dump;
    for (const QString& table : kTables) {
        const PgResult result = runOn(uri, QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table));
        for (int r = 0; r < PQntuples(result.get()); ++r) {
            QStringList values;
            for (int c = 0; c < PQnfields(result.get()); ++c)
                values << (PQgetisnull(result.get(), r, c) ? QStringLiteral("NULL")
                                                           : QString::fromUtf8(PQgetvalue(result.get(), r, c)));
            dump[table] << values;
        }
    }
    return dump;
}

QString serverValue(const QString& uri, const QString& sql)
{
    const PgResult result = runOn(uri, sql);
    return QString::fromUtf8(PQgetvalue(result.get(), 0, 0));
}

// Rows in every table with keys that do not start at 1 and leave gaps, NULLs, a quote, letter
// case, control characters, a leap day and prices that a binary number carries only nearly.
void fillFile(const QString& path)
{
    using testsupport::execSql;
    execSql(path,
            "INSERT INTO UserData (Id, \"User\", Password, Role) VALUES (3, 'Dorvik2', 'pw', '系统管理员'), "
            "(8, ?, NULL, '操作员')",
            {QStringLiteral("O'Neil")});
    execSql(path, "INSERT INTO Dept (id, DeptName) VALUES (2, '缝纫一组'), (7, ?), (9, 'AbC')",
            {QStringLiteral("O'Brien's Team")});
    execSql(path,
            "INSERT INTO Worker (id, WorkerName, DeptId, MachineId, EnterDate) VALUES "
            "(4, '张三', 2, 'A01', '2023-05-06'), (11, ?, 7, NULL, NULL)",
            {QStringLiteral("Tab\there\\back\nline")});
    execSql(path, "INSERT INTO Product (Id, Kind, Process, KindName, ProductCount, ProductDate) VALUES "
                  "(5, 'A1', 2, '衬衫', 100, '2024-02-29'), (6, 'b2', 1, NULL, NULL, NULL)");
    execSql(path,
            "INSERT INTO Process (Id, Process, ProcessName, ProductId, Price, Productsize) VALUES "
            "(3, '工序1', '上领', 'A1', 0.125, 'L'), (12, '工序2', ?, 'A1', 2.675, NULL), "
            "(13, '工序1', '锁边', 'b2', 0.1, 'M')",
            {QStringLiteral("O'x")});
    execSql(path, "INSERT INTO Salary (id, DeptName, MachineId, WorkerName, KindId, KindName, Process, ProcessName, "
                  "ProcessSize, ProductCount, ProcessPrice, ProcessDate) VALUES "
                  "(21, '缝纫一组', 3, '张三', 'A1', '衬衫', '工序1', '上领', 1.5, 10, 0.125, '2024-02-29'), "
                  "(30, 'AbC', NULL, 'abc', 'b2', NULL, '工序1', '锁边', 1, 7, NULL, '2023-12-31')");
}

// The closed months and the change record in a file: keys with gaps, a NULL, a tab, a quote.
void fillHistory(const QString& path)
{
    using testsupport::execSql;
    execSql(path,
            "INSERT INTO MonthClose (Id, Month, ClosedBy, ClosedAt) VALUES "
            "(4, '2023-12', '张三', '2024-01-02 08:00:00'), (6, '2024-01', ?, '2024-02-03 09:30:00')",
            {QStringLiteral("O'Neil")});
    execSql(path,
            "INSERT INTO ChangeLog (Id, ChangedAt, UserName, Host, ChangeKind, TableName, RowKey, OldValues, "
            "NewValues, Note) VALUES (5, '2024-01-05 10:00:00', 'Dorvik2', 'pc1', '新增班组', 'Dept', '9', NULL, "
            "'{\"id\":9,\"DeptName\":\"AbC\"}', NULL), "
            "(9, '2024-02-03 09:30:00', ?, 'pc2', '月度结账', 'MonthClose', '2024-01', NULL, NULL, ?)",
            {QStringLiteral("O'Neil"), QStringLiteral("Tab\there")});
}

// The rows of the history tables, in key order, each value as text ("NULL" for none); on a file or
// the server alike.
QList<QStringList> historyOfFile(const QString& path)
{
    QList<QStringList> rows;
    for (const QString& table : data::historyTableNames())
        for (const QVariantList& row :
             testsupport::queryRows(path, QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table))) {
            QStringList values{table};
            for (const QVariant& v : row)
                values << (v.isNull() ? QStringLiteral("NULL") : v.toString());
            rows << values;
        }
    return rows;
}

QList<QStringList> historyOfServer(const QString& uri)
{
    QList<QStringList> rows;
    for (const QString& table : data::historyTableNames()) {
        const PgResult result = runOn(uri, QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table));
        for (int r = 0; r < PQntuples(result.get()); ++r) {
            QStringList values{table};
            for (int c = 0; c < PQnfields(result.get()); ++c)
                values << (PQgetisnull(result.get(), r, c) ? QStringLiteral("NULL")
                                                           : QString::fromUtf8(PQgetvalue(result.get(), r, c)));
            rows << values;
        }
    }
    return rows;
}

} // namespace

// Backup, restore and migration when the data source names a server: the rows travel between a
// file database and the server whole, or not at all.
class TestServerBackup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileToServerToFileKeepsEveryRow();
    void restoreFailingHalfWayLeavesTheServer_data();
    void restoreFailingHalfWayLeavesTheServer();
    void migrateLoadsOnlyADatabaseWithoutRows_data();
    void migrateLoadsOnlyADatabaseWithoutRows();
    void historyTravelsWithTheRows_data();
    void historyTravelsWithTheRows();

private:
    QString backupFile() const { return m_dir->file(QStringLiteral("backup/DorvikSalary.mdb")); }
    void useServer(const QString& uri) const;
    QString singleStop();

    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<ServerDb> m_server;
    std::unique_ptr<TMainForm> m_form;
};

void TestServerBackup::initTestCase()
{
    if (socketFolder().isEmpty())
        QSKIP("no test server (DORVIK_TEST_PG_SOCKET)");
}

void TestServerBackup::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
    m_server = std::make_unique<ServerDb>();
    LoginUser = QStringLiteral("Dorvik");
    LoginRole = QStringLiteral("系统管理员");
}

void TestServerBackup::cleanup()
{
    m_form.reset();
    LoginUser.clear();
    LoginRole.clear();
    QCOMPARE(m_boxes->unexpected(), 0);
    m_boxes.reset();
    m_server.reset();
    m_dir.reset();
}

// The data source names the server, as a program set up for it has it.
void TestServerBackup::useServer(const QString& uri) const
{
    auto key = platform::RegistryStore::openKey(QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik"), true);
    QVERIFY(key && key->writeString(QStringLiteral("DBQ"), uri));
}

QString TestServerBackup::singleStop()
{
    const auto boxes = m_boxes->take();
    if (boxes.size() != 1 || boxes.first().icon != toolkit::MsgIcon::Stop)
        return QStringLiteral("<not one stop box>");
    return boxes.first().text;
}

void TestServerBackup::fileToServerToFileKeepsEveryRow()
{
    m_dir->createDatabase();
    fillFile(m_dir->dbPath());
    const Dump original = fileDump(m_dir->dbPath());
    QVERIFY(QDir().mkpath(QFileInfo(backupFile()).absolutePath()));
    QVERIFY(QFile::copy(m_dir->dbPath(), backupFile()));
    m_server->createSchema();
    m_server->exec(QStringLiteral("INSERT INTO Dept (DeptName) VALUES ('replaced'), ('gone')"));
    useServer(m_server->uri());
    m_form = std::make_unique<TMainForm>();

    const QString indexesSql = QStringLiteral("SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = 'public'");
    const QString serverIndexes =
        serverValue(m_server->uri(), "SELECT string_agg(d, ';' ORDER BY d) FROM (" + indexesSql + ") AS x(n, d)");

    m_form->DataGiveBackClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据恢复成功......")});
    QCOMPARE(serverValue(m_server->uri(), "SELECT string_agg(d, ';' ORDER BY d) FROM (" + indexesSql + ") AS x(n, d)"),
             serverIndexes);
    // On the server: exact prices, real dates, the rows before the restore gone.
    const Dump onServer = serverDump(m_server->uri());
    QCOMPARE(onServer.value("Dept"), (QList<QStringList>{{"2", "缝纫一组"}, {"7", "O'Brien's Team"}, {"9", "AbC"}}));
    QCOMPARE(onServer.value("Process").at(1).at(4), QStringLiteral("2.675"));
    QCOMPARE(onServer.value("Salary").at(0).at(10), QStringLiteral("0.125"));
    QCOMPARE(serverValue(m_server->uri(), "SELECT ProcessDate + 1 FROM Salary WHERE id = 21"),
             QStringLiteral("2024-03-01"));

    QVERIFY(QFile::remove(backupFile()));
    m_form->DataBackupClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据备份成功......")});
    QCOMPARE(fileDump(backupFile()), original);
    const QString schemaSql = QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY name");
    QCOMPARE(testsupport::queryRows(backupFile(), schemaSql), testsupport::queryRows(m_dir->dbPath(), schemaSql));
    QCOMPARE(QDir(QFileInfo(backupFile()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("DorvikSalary.mdb")});

    // New records get keys past the restored ones.
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {QStringLiteral("新组")}));
    QVERIFY(
        ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Salary (WorkerName) Values (?)"), {QStringLiteral("李四")}));
    QCOMPARE(serverValue(m_server->uri(), "SELECT id FROM Dept WHERE DeptName = '新组'"), QStringLiteral("10"));
    QCOMPARE(serverValue(m_server->uri(), "SELECT id FROM Salary WHERE WorkerName = '李四'"), QStringLiteral("31"));
}

void TestServerBackup::restoreFailingHalfWayLeavesTheServer_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QStringList>("reason");
    // A file made before style numbers were unique may hold one twice.
    QTest::newRow("style number twice, in another letter case")
        << QStringList{"DROP INDEX Product_Kind", "UPDATE Product SET Kind = 'a1' WHERE Id = 6"}
        << QStringList{"Product", "已有相同的记录", "(kind)=(A1)"};
    QTest::newRow("price past the server's column") << QStringList{"UPDATE Process SET Price = 1e12 WHERE Id = 13"}
                                                    << QStringList{"Process", "数据不符合数据表的要求"};
    QTest::newRow("server gone while the records load") << QStringList{} << QStringList{"连接已断开"};
}

void TestServerBackup::restoreFailingHalfWayLeavesTheServer()
{
    QFETCH(QStringList, faults);
    QFETCH(QStringList, reason);
    m_dir->createDatabase();
    fillFile(m_dir->dbPath());
    for (const QString& fault : faults)
        testsupport::execSql(m_dir->dbPath(), fault);
    QVERIFY(QDir().mkpath(QFileInfo(backupFile()).absolutePath()));
    QVERIFY(QFile::copy(m_dir->dbPath(), backupFile()));
    m_server->createSchema();
    if (faults.isEmpty())
        m_server->exec(
            QStringLiteral("CREATE FUNCTION cut_off() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$ BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NEW; END $$; "
                           "CREATE TRIGGER cut_off BEFORE INSERT ON Salary FOR EACH ROW EXECUTE FUNCTION cut_off()"));
    useServer(m_server->uri());
    m_form = std::make_unique<TMainForm>();
    for (const QString& team : {QStringLiteral("一组"), QStringLiteral("二组")})
        QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {team}));
    QVERIFY(RunInTransaction([] {
        return LogChange(ChangeLine{change::kAddTeam, QStringLiteral("Dept"), 2, {}, {}, QStringLiteral("前")});
    }));
    const Dump before = serverDump(m_server->uri());
    const QList<QStringList> historyBefore = historyOfServer(m_server->uri());
    QCOMPARE(historyBefore.size(), 1);

    m_form->DataGiveBackClick();
    const QString text = singleStop();
    QVERIFY2(text.startsWith(QStringLiteral("数据恢复失败：")), qPrintable(text));
    for (const QString& part : reason)
        QVERIFY2(text.contains(part), qPrintable(text));
    QVERIFY2(text.endsWith(QStringLiteral("数据库没有做任何改动。")), qPrintable(text));
    QCOMPARE(serverDump(m_server->uri()), before);
    QCOMPARE(historyOfServer(m_server->uri()), historyBefore);
    // The key sequences are as they were too.
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {QStringLiteral("三组")}));
    QCOMPARE(serverValue(m_server->uri(), "SELECT id FROM Dept WHERE DeptName = '三组'"), QStringLiteral("3"));
}

void TestServerBackup::migrateLoadsOnlyADatabaseWithoutRows_data()
{
    QTest::addColumn<QString>("serverHolds");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no tables") << "nothing" << 0;
    QTest::newRow("the program's tables without rows") << "tables" << 0;
    QTest::newRow("the tables of an earlier version") << "tables without history" << 0;
    QTest::newRow("a record") << "a record" << 1;
    QTest::newRow("a line of the change record") << "a line" << 1;
    QTest::newRow("another program's tables") << "other tables" << 1;
}

void TestServerBackup::migrateLoadsOnlyADatabaseWithoutRows()
{
    QFETCH(QString, serverHolds);
    QFETCH(int, exitCode);
    const QString program = qEnvironmentVariable("DORVIK_BUILD_DIR") + QStringLiteral("/Dorvik");
    if (!QFile::exists(program))
        QSKIP("the program is not built");
    m_dir->createDatabase();
    fillFile(m_dir->dbPath());
    fillHistory(m_dir->dbPath());
    if (serverHolds != QLatin1String("nothing") && serverHolds != QLatin1String("other tables"))
        m_server->createSchema();
    if (serverHolds == QLatin1String("a record"))
        m_server->exec(QStringLiteral("INSERT INTO Salary (WorkerName) VALUES ('王五')"));
    if (serverHolds == QLatin1String("a line"))
        m_server->exec(QStringLiteral("INSERT INTO ChangeLog (ChangeKind) VALUES ('新增班组')"));
    if (serverHolds == QLatin1String("tables without history"))
        m_server->exec(QStringLiteral("DROP TABLE ChangeLog; DROP TABLE MonthClose"));
    if (serverHolds == QLatin1String("other tables"))
        m_server->exec(QStringLiteral("CREATE TABLE notes (id integer, note text)"));
    const bool hasTables = serverHolds == QLatin1String("tables") || serverHolds == QLatin1String("a record") ||
                           serverHolds == QLatin1String("a line");
    const Dump before = hasTables ? serverDump(m_server->uri()) : Dump();
    const QList<QStringList> historyBefore = hasTables ? historyOfServer(m_server->uri()) : QList<QStringList>();

    QProcess migrate;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    migrate.setProcessEnvironment(env);
    migrate.start(program, {QStringLiteral("--migrate"), m_dir->dbPath(), m_server->uri()});
    QVERIFY(migrate.waitForFinished(60000));
    const QString out = QString::fromUtf8(migrate.readAllStandardOutput());
    const QString err = QString::fromUtf8(migrate.readAllStandardError());
    QCOMPARE(migrate.exitCode(), exitCode);
    if (exitCode == 0) {
        QVERIFY2(err.isEmpty(), qPrintable(err));
        for (const char* line : {"UserData: 2 rows", "Dept: 3 rows", "Process: 3 rows", "Salary: 2 rows",
                                 "MonthClose: 2 rows", "ChangeLog: 2 rows"})
            QVERIFY2(out.contains(QLatin1String(line)), qPrintable(out));
        QCOMPARE(historyOfServer(m_server->uri()), historyOfFile(m_dir->dbPath()));
        // Back into a file through a backup of that server: the same rows as the file migrated.
        useServer(m_server->uri());
        data::Connection connection;
        QVERIFY(data::backupDatabase(connection, backupFile()).ok);
        QCOMPARE(fileDump(backupFile()), fileDump(m_dir->dbPath()));
        QCOMPARE(historyOfFile(backupFile()), historyOfFile(m_dir->dbPath()));
    } else {
        QVERIFY2(out.isEmpty(), qPrintable(out));
        const QString reason = serverHolds == QLatin1String("a record") ? QStringLiteral("数据表 Salary 中已有数据")
                               : serverHolds == QLatin1String("a line") ? QStringLiteral("数据表 ChangeLog 中已有数据")
                                                                        : QStringLiteral("不是本系统的数据库");
        QVERIFY2(err.contains(reason), qPrintable(err));
        if (hasTables) {
            QCOMPARE(serverDump(m_server->uri()), before);
            QCOMPARE(historyOfServer(m_server->uri()), historyBefore);
        } else
            QCOMPARE(serverValue(m_server->uri(), "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
                     QStringLiteral("1"));
    }
}

void TestServerBackup::historyTravelsWithTheRows_data()
{
    QTest::addColumn<bool>("olderFile");
    QTest::newRow("file with the history tables") << false;
    QTest::newRow("file of an earlier version") << true;
}

void TestServerBackup::historyTravelsWithTheRows()
{
    QFETCH(bool, olderFile);
    m_dir->createDatabase();
    fillFile(m_dir->dbPath());
    fillHistory(m_dir->dbPath());
    const QList<QStringList> fileHistory = olderFile ? QList<QStringList>() : historyOfFile(m_dir->dbPath());
    if (olderFile) {
        testsupport::execSql(m_dir->dbPath(), QStringLiteral("DROP TABLE ChangeLog"));
        testsupport::execSql(m_dir->dbPath(), QStringLiteral("DROP TABLE MonthClose"));
    }
    QVERIFY(QDir().mkpath(QFileInfo(backupFile()).absolutePath()));
    QVERIFY(QFile::copy(m_dir->dbPath(), backupFile()));
    m_server->createSchema();
    m_server->exec(QStringLiteral("INSERT INTO MonthClose (Month, ClosedBy, ClosedAt) VALUES ('2025-05', 'x', 'y');"
                                  "INSERT INTO ChangeLog (ChangeKind, Note) VALUES ('反结账', 'gone')"));
    useServer(m_server->uri());
    m_form = std::make_unique<TMainForm>();

    // Restore: the file's record replaces the server's, and the restore's line follows it.
    m_form->DataGiveBackClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据恢复成功......")});
    QList<QStringList> onServer = historyOfServer(m_server->uri());
    QCOMPARE(onServer.size(), fileHistory.size() + 1);
    QCOMPARE(onServer.mid(0, fileHistory.size()), fileHistory);
    const QStringList restoreLine = onServer.last();
    QCOMPARE(restoreLine.at(0), QStringLiteral("ChangeLog"));
    QCOMPARE(restoreLine.at(1), olderFile ? QStringLiteral("1") : QStringLiteral("10")); // past the loaded keys
    QCOMPARE(restoreLine.at(5), change::kRestore);
    QVERIFY2(restoreLine.at(10).contains(QDir::toNativeSeparators(backupFile())), qPrintable(restoreLine.at(10)));
    QVERIFY(QFile::remove(backupFile()));

    // Backup: the server's record goes into the file whole, and its keys go on from there.
    m_form->DataBackupClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据备份成功......")});
    QCOMPARE(historyOfFile(backupFile()), onServer);
    testsupport::execSql(backupFile(), QStringLiteral("INSERT INTO ChangeLog (ChangeKind) VALUES ('新增班组')"));
    QCOMPARE(testsupport::queryRows(backupFile(), QStringLiteral("SELECT max(Id) FROM ChangeLog")).at(0).at(0).toInt(),
             restoreLine.at(1).toInt() + 1);
    // The next line on the server continues past the restore's.
    QVERIFY(RunInTransaction([] {
        return LogChange(ChangeLine{change::kAddTeam, QStringLiteral("Dept"), 2, {}, {}, QString()});
    }));
    QCOMPARE(historyOfServer(m_server->uri()).last().at(1), QString::number(restoreLine.at(1).toInt() + 1));
}

QTEST_MAIN(TestServerBackup)
#include "tst_serverbackup.moc"
