#include "data/DataModule.h"
#include "data/Sql.h"
#include "platform/DbFileBlock.h"
#include "platform/RegistryStore.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sqlite3.h>

#include <atomic>
#include <memory>
#include <thread>

#include <unistd.h>

using testsupport::BoxAnswerer;
using testsupport::TestProgramDir;

namespace {

// A short wait for another program's lock, so that a test of a lock that stays held ends soon.
constexpr int kTestBusyTimeout = 100;

// Another program working on the same database file, holding the locks a test asks for.
class OtherProgram {
public:
    explicit OtherProgram(const QString& dbPath)
    {
        if (sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(dbPath));
    }
    ~OtherProgram()
    {
        release();
        sqlite3_close(m_db);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    // Reads the first team and stops there: others may still begin to write, not commit.
    bool holdReadLock()
    {
        return sqlite3_prepare_v2(m_db, "Select * From Dept", -1, &m_reading, nullptr) == SQLITE_OK &&
               sqlite3_step(m_reading) == SQLITE_ROW;
    }
    // Begins to write: others may read, not write.
    bool holdWriteLock() { return sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK; }
    // Others may neither read nor write.
    bool holdExclusiveLock() { return sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK; }
    void release()
    {
        sqlite3_finalize(m_reading);
        m_reading = nullptr;
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_reading = nullptr;
};

QString boxText(const QString& statement, const QString& cause)
{
    return QStringLiteral("操作数据表时出错, 执行语句为:\n\n") + statement + QStringLiteral("\n\n") + cause;
}

QStringList teamsIn(const QString& dbPath)
{
    QStringList names;
    for (const QVariantList& row :
         testsupport::queryRows(dbPath, QStringLiteral("Select DeptName From Dept Order by id")))
        names << row.first().toString();
    return names;
}

// The program as a user who may only read the database: the superuser writes any file whatever its
// permissions, so a test run as root takes another user's identity for the statement (the folder and
// the data source made readable to it) and takes its own back at the end.
class OrdinaryUser {
public:
    OrdinaryUser(const QString& folder, const QString& registry)
    {
        if (geteuid() != 0)
            return;
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                          QFile::ExeOther);
        QFile::setPermissions(registry, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        m_switched = setegid(65534) == 0 && seteuid(65534) == 0; // nobody, nogroup
    }
    ~OrdinaryUser()
    {
        if (m_switched && (seteuid(0) != 0 || setegid(0) != 0))
            qFatal("could not take the superuser's identity back");
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

private:
    bool m_switched = false;
};

} // namespace

class TestSql : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void isInteger_data();
    void isInteger();
    void rejectedStatementShowsItsTextAndClosesTheDataset();
    void valuesAreBoundNeverPasted();
    void execQueryLeavesTheDatasetClosed();
    void noDataSourceOrNoFileFailsThroughTheBox();
    void transactionKeepsAllOrNothing();
    void transactionStatementFailureIsReportedAndUndone_data();
    void transactionStatementFailureIsReportedAndUndone();
    void failureBoxNamesTheCause_data();
    void failureBoxNamesTheCause();
    void briefLockMakesAStatementWait();
    void engineVersionIsChecked_data();
    void engineVersionIsChecked();
    void sharedDatasetReplacesWhatEveryReaderSees();
    void rowVersionGuardsAWrite();

private:
    void serverFailureBoxNamesTheCause(const QString& setup, const QString& sql, const QVariantList& params,
                                       const QString& cause);

    std::unique_ptr<TestProgramDir> m_dir;
    std::unique_ptr<BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
};

void TestSql::init()
{
    data::Connection::setDefaultBusyTimeout(kTestBusyTimeout);
    m_dir = std::make_unique<TestProgramDir>();
    m_dir->prepareDatabase();
    m_boxes = std::make_unique<BoxAnswerer>();
    m_dm = std::make_unique<TDM>();
}

void TestSql::cleanup()
{
    m_dm.reset();
    QCOMPARE(m_boxes->unexpected(), 0);
    m_boxes.reset();
    m_dir.reset();
    QVERIFY(DM == nullptr);
    data::Connection::setDefaultBusyTimeout(data::Connection::kStandardBusyTimeout);
}

void TestSql::isInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("integer");
    QTest::newRow("12") << "12" << true;
    QTest::newRow("leading space") << " 12" << true;
    QTest::newRow("-7") << "-7" << true;
    QTest::newRow("+7") << "+7" << true;
    QTest::newRow("0") << "0" << true;
    QTest::newRow("007") << "007" << true;
    QTest::newRow("$1A") << "$1A" << true;
    QTest::newRow("0x1A") << "0x1A" << true;
    QTest::newRow("X1a") << "X1a" << true;
    QTest::newRow("largest") << "2147483647" << true;
    QTest::newRow("smallest") << "-2147483648" << true;
    QTest::newRow("$FFFFFFFF") << "$FFFFFFFF" << true;
    QTest::newRow("hex 8 significant after zeros") << "$000FFFFFFFF" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("space") << " " << false;
    QTest::newRow("trailing space") << "12 " << false;
    QTest::newRow("1.5") << "1.5" << false;
    QTest::newRow("1,000") << "1,000" << false;
    QTest::newRow("largest plus one") << "2147483648" << false;
    QTest::newRow("smallest minus one") << "-2147483649" << false;
    QTest::newRow("lone minus") << "-" << false;
    QTest::newRow("lone dollar") << "$" << false;
    QTest::newRow("lone 0x") << "0x" << false;
    QTest::newRow("nine hex digits") << "$1FFFFFFFF" << false;
    QTest::newRow("sign before hex") << "-$1A" << false;
    QTest::newRow("letters") << "12a" << false;
    QTest::newRow("full-width digits") << QString::fromUtf8("１２") << false;
}

void TestSql::isInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, integer);
    QCOMPARE(IsInteger(text), integer);
}

void TestSql::rejectedStatementShowsItsTextAndClosesTheDataset()
{
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select * From UserData")));
    QVERIFY(DM->DmQuery->isActive());
    const QString bad = QStringLiteral("Select * From NoSuchTable Where \"User\"=?");
    QVERIFY(!OpenQuery(DM->DmQuery, bad, {QStringLiteral("O'Brien")}));
    const auto boxes = m_boxes->take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, boxText(QStringLiteral("Select * From NoSuchTable Where \"User\"='O''Brien'"),
                                    QStringLiteral("数据库不能执行这条语句")));
    QCOMPARE(boxes[0].caption, QStringLiteral("蓝栎服装计件工资管理系统"));
    QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(boxes[0].icon, toolkit::MsgIcon::Stop);
    QVERIFY(!DM->DmQuery->isActive());
    QVERIFY(DM->DmQuery->eof());
    QCOMPARE(DM->DmQuery->recordCount(), 0);
}

void TestSql::valuesAreBoundNeverPasted()
{
    const QString name = QStringLiteral("x' or '1'='1");
    QVERIFY(ExecQuery(DM->UserQuery, QStringLiteral("Insert Into UserData (\"User\",Password,Role) Values (?,?,?)"),
                      {name, QStringLiteral("p"), QStringLiteral("普通操作员")}));
    QVERIFY(ExecQuery(DM->UserQuery, QStringLiteral("Insert Into UserData (\"User\",Password,Role) Values (?,?,?)"),
                      {QStringLiteral("Anna"), QStringLiteral("q"), QStringLiteral("系统管理员")}));
    // Stored as typed, found only as typed (without regard to letter case).
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select Password,Role From UserData Where \"User\"=?"),
                      {name.toUpper()}));
    QCOMPARE(DM->DmQuery->recordCount(), 1);
    QCOMPARE(DM->DmQuery->fieldByName(QStringLiteral("password")).asString(), QStringLiteral("p"));
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select * From UserData Where \"User\"=?"),
                      {QStringLiteral("nobody' or '1'='1")}));
    QVERIFY(DM->DmQuery->eof());
    QCOMPARE(testsupport::queryRows(m_dir->dbPath(), QStringLiteral("Select \"User\" From UserData Order by Id"))
                 .first()
                 .first()
                 .toString(),
             name);
}

void TestSql::rowVersionGuardsAWrite()
{
    const QString db = m_dir->dbPath();
    testsupport::execSql(db, QStringLiteral("Insert Into Dept (DeptName) Values ('一组')"));
    const QString list =
        QStringLiteral("Select *") + data::rowVersionTerm(CurrentDialect()) + QStringLiteral(" From Dept Order by id");
    const QString rename = QStringLiteral("Update Dept Set DeptName=? Where id=?");
    QVERIFY(OpenQuery(DM->DmQuery, list));
    const QVariant seen = RowVersionOf(DM->DmQuery);
    QVariantList params{QStringLiteral("二组"), 1};
    const QString guarded = WithRowVersion(rename, &params, seen);
    if (!testsupport::onServer()) {
        // One program at a time: the statements stay exactly as they are.
        QCOMPARE(list, QStringLiteral("Select * From Dept Order by id"));
        QCOMPARE(DM->DmQuery->fieldCount(), 2);
        QVERIFY(!seen.isValid());
        QCOMPARE(guarded, rename);
        QCOMPARE(params, (QVariantList{QStringLiteral("二组"), 1}));
        return;
    }
    // The version is a column of the list, named as the statement spells it.
    QCOMPARE(DM->DmQuery->field(2).fieldName(), QLatin1String(data::kRowVersionField));
    QVERIFY(!seen.toString().isEmpty());
    QCOMPARE(params.size(), 3);

    // Another clerk's update, even one that writes the same value, makes a new version: the guarded
    // write changes nothing.
    testsupport::execSql(db, QStringLiteral("Update Dept Set DeptName=DeptName"));
    QVERIFY(ExecQuery(DM->DmQuery, guarded, params));
    QCOMPARE(DM->DmQuery->rowsAffected(), 0);
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("Select DeptName From Dept")), QList<QVariantList>{{"一组"}});
    // With the version read now it writes.
    QVERIFY(OpenQuery(DM->DmQuery, list));
    QVERIFY(RowVersionOf(DM->DmQuery) != seen);
    params = {QStringLiteral("二组"), 1};
    QVERIFY(ExecQuery(DM->DmQuery, WithRowVersion(rename, &params, RowVersionOf(DM->DmQuery)), params));
    QCOMPARE(DM->DmQuery->rowsAffected(), 1);
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("Select DeptName From Dept")), QList<QVariantList>{{"二组"}});
    // A version never read writes nothing rather than blindly.
    params = {QStringLiteral("三组"), 1};
    QVERIFY(ExecQuery(DM->DmQuery, WithRowVersion(rename, &params, QVariant()), params));
    QCOMPARE(DM->DmQuery->rowsAffected(), 0);
}

void TestSql::execQueryLeavesTheDatasetClosed()
{
    QVERIFY(OpenQuery(DM->DataAddQuery, QStringLiteral("Select  * From Salary")));
    QVERIFY(DM->DataAddQuery->isActive());
    QVERIFY(
        ExecQuery(DM->DataAddQuery,
                  QStringLiteral("Insert Into Salary (DeptName,MachineId,ProductCount,ProcessDate) Values (?,?,?,?)"),
                  {QStringLiteral("一组"), 5, 12, QDate(2004, 3, 9)}));
    QVERIFY(!DM->DataAddQuery->isActive());
    QVERIFY(DM->DataAddQuery->eof());
    QVERIFY(DM->DataAddQuery->lastInsertId() > 0);
    const auto rows =
        testsupport::queryRows(m_dir->dbPath(), QStringLiteral("Select MachineId, ProcessDate From Salary"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toLongLong(), 5);
    QCOMPARE(rows[0][1].toString(), QStringLiteral("2004-03-09"));

    // A date that is not yyyy-MM-dd is refused by the database and reported. (The server reads
    // "2004-3-9" as a date, so it is given one that no engine reads.)
    QVERIFY(!ExecQuery(DM->DataAddQuery, QStringLiteral("Insert Into Salary (ProcessDate) Values (?)"),
                       {testsupport::onServer() ? QStringLiteral("2004-3-9x") : QStringLiteral("2004-3-9")}));
    QCOMPARE(m_boxes->take().size(), 1);
}

void TestSql::noDataSourceOrNoFileFailsThroughTheBox()
{
    SKIP_ON_SERVER("a database file that is not there");
    m_dm.reset();
    QFile::remove(m_dir->dbPath());
    m_dm = std::make_unique<TDM>();
    QVERIFY(!OpenQuery(DM->DmQuery, QStringLiteral("Select * From UserData")));
    QCOMPARE(m_boxes->takeTexts(),
             QStringList{boxText(QStringLiteral("Select * From UserData"),
                                 QStringLiteral("找不到数据库文件 ") + QDir::toNativeSeparators(m_dir->dbPath()))});
    QVERIFY(!QFile::exists(m_dir->dbPath())); // never created

    m_dm.reset();
    QFile::remove(m_dir->registryPath());
    m_dir->createDatabase();
    m_dm = std::make_unique<TDM>();
    QVERIFY(!ExecQuery(DM->DmQuery, QStringLiteral("Delete From Dept")));
    QCOMPARE(m_boxes->take().size(), 1);
}

void TestSql::transactionKeepsAllOrNothing()
{
    const auto insertDept = [](const QString& name) {
        return ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {name});
    };
    QVERIFY(RunInTransaction([&] { return insertDept(QStringLiteral("一组")) && insertDept(QStringLiteral("二组")); }));
    QVERIFY(!RunInTransaction([&] {
        return insertDept(QStringLiteral("三组")) &&
               ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Nowhere Values (1)"));
    }));
    QCOMPARE(m_boxes->take().size(), 1);
    const auto rows = testsupport::queryRows(m_dir->dbPath(), QStringLiteral("Select DeptName From Dept Order by id"));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1][0].toString(), QStringLiteral("二组"));
}

void TestSql::transactionStatementFailureIsReportedAndUndone_data()
{
    QTest::addColumn<QString>("lock");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("workRuns");
    QTest::newRow("COMMIT while another program reads") << "read"
                                                        << "COMMIT" << true;
    QTest::newRow("BEGIN while another program writes") << "write"
                                                        << "BEGIN IMMEDIATE" << false;
}

void TestSql::transactionStatementFailureIsReportedAndUndone()
{
    QFETCH(QString, lock);
    QFETCH(QString, statement);
    QFETCH(bool, workRuns);
    SKIP_ON_SERVER("another program's lock on the database file");
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Insert Into Dept (DeptName) Values ('一组')"));
    OtherProgram other(m_dir->dbPath());
    QVERIFY(lock == QLatin1String("read") ? other.holdReadLock() : other.holdWriteLock());

    bool ran = false;
    const bool committed = RunInTransaction([&] {
        ran = true;
        return ExecQuery(DM->DmQuery, QStringLiteral("Update Dept Set DeptName=? Where DeptName=?"),
                         {QStringLiteral("二组"), QStringLiteral("一组")}) &&
               ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"),
                         {QStringLiteral("三组")});
    });
    QVERIFY(!committed);
    QCOMPARE(ran, workRuns);
    const auto boxes = m_boxes->take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, boxText(statement, QStringLiteral("数据库正被其他程序使用，请稍后再试")));
    QCOMPARE(boxes[0].icon, toolkit::MsgIcon::Stop);

    // Nothing of the work is left, and the connection is not caught in a transaction.
    other.release();
    QVERIFY(!DM->connection()->inTransaction());
    QCOMPARE(teamsIn(m_dir->dbPath()), QStringList{QStringLiteral("一组")});
    QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {QStringLiteral("四组")}));
    QCOMPARE(teamsIn(m_dir->dbPath()), (QStringList{"一组", "四组"}));
}

void TestSql::failureBoxNamesTheCause_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QString>("cause"); // "<db>" stands for the database file's path

    const QString select = QStringLiteral("Select * From UserData");
    const QString insert = QStringLiteral("Insert Into Dept (DeptName) Values (?)");
    const QVariantList team{QStringLiteral("一组")};
    if (testsupport::onServer()) {
        // The server's causes; a cause that ends in "…" is followed by libpq's own words.
        QTest::newRow("server not reached") << "no server" << select << QVariantList() << "无法连接数据库服务器 …";
        QTest::newRow("password refused")
            << "wrong password" << select << QVariantList() << "数据库服务器拒绝了用户名或密码";
        QTest::newRow("connection lost") << "connection lost" << select << QVariantList()
                                         << "与数据库服务器的连接已断开，服务器无法连接";
        QTest::newRow("name taken") << "" << insert << QVariantList{QStringLiteral("原有")}
                                    << "数据表中已有相同的记录（名称已被占用）";
        QTest::newRow("server read-only") << "read-only" << insert << team << "数据库服务器现在只允许读取，不能写入";
        QTest::newRow("lock of another user") << "lock" << insert << team << "数据正被其他用户使用，请稍后再试";
        QTest::newRow("database of another program")
            << "foreign" << select << QVariantList() << "服务器上的这个数据库不是本系统的数据库（缺少数据表 UserData）";
    } else {
        const QString notOurs = QStringLiteral("数据库文件不是本系统的数据库");
        QTest::newRow("database file missing") << "no file" << select << QVariantList() << "找不到数据库文件 <db>";
        QTest::newRow("data source not registered")
            << "no data source" << select << QVariantList() << "数据源 Dorvik 没有注册，或者它的登记无法读取";
        QTest::newRow("registry store unreadable")
            << "store unreadable" << select << QVariantList() << "数据源 Dorvik 没有注册，或者它的登记无法读取";
        QTest::newRow("text file in place of the database") << "text file" << select << QVariantList() << notOurs;
        QTest::newRow("closing marker left at the head") << "marker" << select << QVariantList() << notOurs;
        QTest::newRow("closing marker on a read-only file")
            << "marker read-only" << select << QVariantList()
            << "数据库文件是只读的，程序不能打开它（上次关闭时留下的标记无法去掉）";
        QTest::newRow("database of another program")
            << "foreign" << select << QVariantList() << notOurs + QStringLiteral("（缺少数据表 UserData）");
        QTest::newRow("read-only") << "read-only" << insert << team << "数据库文件是只读的，不能写入";
        QTest::newRow("write lock of another program")
            << "write lock" << insert << team << "数据库正被其他程序使用，请稍后再试";
        QTest::newRow("exclusive lock of another program")
            << "exclusive lock" << select << QVariantList() << "数据库正被其他程序使用，请稍后再试";
    }
    // The same on either engine. The server reads "2004-3-9" as a date; "2004-3-9x" no engine does.
    QTest::newRow("date not yyyy-MM-dd") << ""
                                         << QStringLiteral("Insert Into Worker (WorkerName,EnterDate) Values (?,?)")
                                         << QVariantList{QStringLiteral("张三"), testsupport::onServer()
                                                                                     ? QStringLiteral("2004-3-9x")
                                                                                     : QStringLiteral("2004-3-9")}
                                         << "数据的格式不符合数据表的要求（日期应为 yyyy-MM-dd）";
    QTest::newRow("statement the database cannot run")
        << "" << QStringLiteral("Select NoSuchColumn From Dept") << QVariantList() << "数据库不能执行这条语句";
    QTest::newRow("a second statement after the first")
        << "" << QStringLiteral("Select * From Dept; Delete From Dept") << QVariantList()
        << "每次只能执行一条语句，这条语句后面还有别的内容";
    QTest::newRow("fewer values than places") << "" << QStringLiteral("Select * From Dept Where id=? Or DeptName=?")
                                              << QVariantList{1} << "语句中有 2 处要填入数据，给出的数据却有 1 个";
}

void TestSql::failureBoxNamesTheCause()
{
    QFETCH(QString, setup);
    QFETCH(QString, sql);
    QFETCH(QVariantList, params);
    QFETCH(QString, cause);
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Insert Into Dept (DeptName) Values ('原有')"));
    if (testsupport::onServer()) {
        serverFailureBoxNamesTheCause(setup, sql, params, cause);
        return;
    }
    OtherProgram other(m_dir->dbPath());
    std::unique_ptr<OrdinaryUser> reader;
    if (setup == QLatin1String("no file")) {
        QVERIFY(QFile::remove(m_dir->dbPath()));
    } else if (setup == QLatin1String("no data source")) {
        QVERIFY(QFile::remove(m_dir->registryPath()));
    } else if (setup == QLatin1String("store unreadable")) {
        QVERIFY(testsupport::writeFile(m_dir->registryPath(), "{ not a store"));
    } else if (setup == QLatin1String("text file")) {
        QVERIFY(testsupport::writeFile(m_dir->dbPath(), "Dorvik wages, kept by hand\n"));
    } else if (setup == QLatin1String("marker")) {
        QFile db(m_dir->dbPath());
        QVERIFY(db.open(QIODevice::ReadWrite));
        QCOMPARE(db.write(platform::closingMarkerBlock()), 16);
    } else if (setup == QLatin1String("marker read-only")) {
        QFile db(m_dir->dbPath());
        QVERIFY(db.open(QIODevice::ReadWrite));
        QCOMPARE(db.write(platform::closingMarkerBlock()), 16);
        db.close();
        QVERIFY(QFile::setPermissions(m_dir->dbPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        reader = std::make_unique<OrdinaryUser>(m_dir->path(), m_dir->registryPath());
    } else if (setup == QLatin1String("foreign")) {
        QVERIFY(testsupport::writeFile(m_dir->dbPath(), QByteArray())); // an empty database to SQLite
        testsupport::execSql(m_dir->dbPath(), QStringLiteral("Create Table Notes (id INTEGER PRIMARY KEY, text TEXT)"));
    } else if (setup == QLatin1String("read-only")) {
        QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("PRAGMA query_only = 1")));
    } else if (setup == QLatin1String("write lock")) {
        QVERIFY(other.holdWriteLock());
    } else if (setup == QLatin1String("exclusive lock")) {
        QVERIFY(other.holdExclusiveLock());
    }

    const QStringList before = setup.isEmpty() ? teamsIn(m_dir->dbPath()) : QStringList();
    const bool ok = sql.startsWith(QLatin1String("Select")) ? OpenQuery(DM->DmQuery, sql, params)
                                                            : ExecQuery(DM->DmQuery, sql, params);
    DM->connection()->close();
    reader.reset();
    QFile::setPermissions(m_dir->dbPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QVERIFY(!ok);
    QVERIFY(DM->DmQuery->lastError().failed());
    cause.replace(QStringLiteral("<db>"), QDir::toNativeSeparators(m_dir->dbPath()));
    QCOMPARE(m_boxes->takeTexts(), QStringList{boxText(data::statementWithValues(sql, params), cause)});
    QVERIFY(!DM->DmQuery->isActive());
    if (!before.isEmpty())
        QCOMPARE(teamsIn(m_dir->dbPath()), before); // nothing of a refused text has run
}

void TestSql::serverFailureBoxNamesTheCause(const QString& setup, const QString& sql, const QVariantList& params,
                                            const QString& cause)
{
    const QString uri = m_dir->dbPath();
    const QString database = uri.section(QLatin1Char('/'), 3).section(QLatin1Char('?'), 0, 0);
    const QString socket = uri.section(QStringLiteral("host="), 1).section(QLatin1Char('&'), 0, 0);
    const auto pointDataSourceAt = [](const QString& value) {
        auto key = platform::RegistryStore::openKey(data::Connection::kDataSourceKey, true);
        return key && key->writeString(QStringLiteral("DBQ"), value);
    };
    data::Connection otherUser;
    data::DataSet holder(QStringLiteral("holder"), &otherUser);
    if (setup == QLatin1String("no server")) {
        QVERIFY(pointDataSourceAt(
            QStringLiteral("postgresql:///%1?host=%2/nothing-here&user=dorvik").arg(database, socket)));
    } else if (setup == QLatin1String("wrong password")) {
        QVERIFY(pointDataSourceAt(QStringLiteral("postgresql://dorvik_pw:wrong@/%1?host=%2").arg(database, socket)));
    } else if (setup == QLatin1String("connection lost")) {
        QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select count(*) From Dept")));
        testsupport::execSql(testsupport::serverAdminUri(),
                             QStringLiteral("Select pg_terminate_backend(pid) From pg_stat_activity Where datname=?"),
                             {database});
    } else if (setup == QLatin1String("read-only")) {
        QVERIFY(ExecQuery(DM->DmQuery, QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")));
    } else if (setup == QLatin1String("lock")) {
        QVERIFY(otherUser.begin());
        holder.setSql(QStringLiteral("Lock Table Dept In Exclusive Mode"));
        QVERIFY(holder.execSql());
    } else if (setup == QLatin1String("foreign")) {
        testsupport::execSql(uri, QStringLiteral("Drop Table UserData"));
    }

    const QStringList before = teamsIn(uri);
    const bool ok = sql.startsWith(QLatin1String("Select")) ? OpenQuery(DM->DmQuery, sql, params)
                                                            : ExecQuery(DM->DmQuery, sql, params);
    QVERIFY(!ok);
    QVERIFY(DM->DmQuery->lastError().failed());
    const QStringList texts = m_boxes->takeTexts();
    QCOMPARE(texts.size(), 1);
    const QString expected = boxText(data::statementWithValues(sql, params), cause);
    if (cause.endsWith(QStringLiteral("…")))
        QVERIFY2(texts.first().startsWith(expected.chopped(1)), qPrintable(texts.first()));
    else
        QCOMPARE(texts.first(), expected);
    QVERIFY(!DM->DmQuery->isActive());
    if (otherUser.isOpen())
        QVERIFY(otherUser.execute(QStringLiteral("ROLLBACK")));
    QCOMPARE(teamsIn(uri), before); // nothing of a refused statement is kept
}

void TestSql::briefLockMakesAStatementWait()
{
    SKIP_ON_SERVER("another program's lock on the database file");
    DM->connection()->setBusyTimeout(data::Connection::kStandardBusyTimeout);
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Insert Into Dept (DeptName) Values ('一组')"));
    // Another program writes for a moment, well within the wait, and then lets go.
    enum { Starting, Locked, Failed };
    std::atomic<int> state{Starting};
    std::thread writer([&state, path = m_dir->dbPath()] {
        OtherProgram other(path);
        state = other.holdWriteLock() ? Locked : Failed;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    while (state == Starting)
        std::this_thread::yield();
    const bool written =
        ExecQuery(DM->DmQuery, QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {QStringLiteral("二组")});
    writer.join();
    QCOMPARE(state.load(), int(Locked));
    QVERIFY(written);
    QCOMPARE(teamsIn(m_dir->dbPath()), (QStringList{"一组", "二组"}));
}

void TestSql::engineVersionIsChecked_data()
{
    QTest::addColumn<int>("running");
    QTest::addColumn<int>("built");
    QTest::addColumn<QString>("problem");
    QTest::newRow("the library of this build") << -1 << -1 << "";
    QTest::newRow("same version") << 3040001 << 3040001 << "";
    // A newer library reads and writes the same files; an older one may lack what the program uses.
    QTest::newRow("newer library") << 3041002 << 3040001 << "";
    QTest::newRow("newer major release") << 3045000 << 3040001 << "";
    QTest::newRow("older library") << 3039004 << 3040001
                                   << "本程序使用的 SQLite 数据库引擎是 3.39.4 版，比编译程序时的 3.40.1 "
                                      "版旧，程序不能启动。请重新安装本程序。";
    QTest::newRow("older patch level") << 3040000 << 3040001
                                       << "本程序使用的 SQLite 数据库引擎是 3.40.0 版，比编译程序时的 3.40.1 "
                                          "版旧，程序不能启动。请重新安装本程序。";
}

void TestSql::engineVersionIsChecked()
{
    QFETCH(int, running);
    QFETCH(int, built);
    QFETCH(QString, problem);
    QCOMPARE(data::engineVersionProblem(running, built), problem);
}

void TestSql::sharedDatasetReplacesWhatEveryReaderSees()
{
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Insert Into Dept (DeptName) Values ('一组')"));
    int changes = 0;
    QObject counting; // ends the count with the test: the closing in cleanup() signals too
    connect(DM->DmQuery, &data::DataSet::rowsChanged, &counting, [&changes] { ++changes; });
    QVERIFY(OpenQuery(DM->DmSource->dataSet(), QStringLiteral("Select * From Dept")));
    QCOMPARE(DM->DmQuery->fieldByName(QStringLiteral("deptname")).asString(), QStringLiteral("一组"));
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select count(*)  From Dept")));
    QCOMPARE(DM->DmSource->dataSet()->field(0).asInteger(), 1);
    QCOMPARE(DM->DmSource->dataSet()->findField(QStringLiteral("DeptName")), -1);
    QVERIFY(changes >= 2);
}

QTEST_MAIN(TestSql)
#include "tst_sql.moc"
