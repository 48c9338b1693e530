#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/PgEngine.h"
#include "data/Transaction.h"
#include "testsupport/TestProgramDir.h"

#include <QTest>

#include <memory>

using testsupport::TestProgramDir;

namespace {

const QString kAddTeam = QStringLiteral("Insert Into Dept (DeptName) Values (?)");
const QString kAddRecord = QStringLiteral("Insert Into Salary (DeptName,WorkerName,ProductCount,ProcessPrice,"
                                          "ProcessDate) Values (?,?,?,?,?)");

// QSKIP leaves the function it stands in, so this stands in each test function itself.
#define SKIP_UNLESS_ON_SERVER()                                                                                        \
    if (!testsupport::onServer())                                                                                      \
    QSKIP("needs the test server")

// The server process of every connection to the test database but the administrator's own.
void endOtherConnections(const QString& database)
{
    testsupport::execSql(testsupport::serverAdminUri(),
                         QStringLiteral("Select pg_terminate_backend(pid) From pg_stat_activity "
                                        "Where datname=? And pid<>pg_backend_pid()"),
                         {database});
}

QString databaseName(const QString& uri)
{
    return uri.section(QLatin1Char('/'), 3).section(QLatin1Char('?'), 0, 0);
}

} // namespace

// The engines behind the connection: what the server engine does differently from the file engine
// must not show above the data layer.
class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void placeholdersAreNumbered_data();
    void placeholdersAreNumbered();
    void oldServersAreRefused_data();
    void oldServersAreRefused();

    void failuresTellTheirKind_data();
    void failuresTellTheirKind();
    void aLockHeldByAnotherUserIsBusy();
    void valuesComeBackAlikeWithAndWithoutBoundValues();
    void insertTellsItsKeyAndChangesTheirCount();
    void openingTellsWhatIsWrong_data();
    void openingTellsWhatIsWrong();
    void aLostServerIsReachedAgainAndNothingIsHalfSaved();

private:
    std::unique_ptr<TestProgramDir> m_dir;
    std::unique_ptr<data::Connection> m_connection;
    std::unique_ptr<data::DataSet> m_set;
};

void TestEngine::init()
{
    m_dir = std::make_unique<TestProgramDir>();
    m_dir->prepareDatabase();
    m_connection = std::make_unique<data::Connection>();
    m_set = std::make_unique<data::DataSet>(QStringLiteral("set"), m_connection.get());
}

void TestEngine::cleanup()
{
    m_set.reset();
    m_connection.reset();
    m_dir.reset();
}

void TestEngine::placeholdersAreNumbered_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("numbered");
    QTest::addColumn<int>("count");
    QTest::newRow("plain") << "Select a From t Where b=? And c<?"
                           << "Select a From t Where b=$1 And c<$2" << 2;
    QTest::newRow("inside quotes") << "Select '?', \"a?\" From t Where b='it''s ?' And c=?"
                                   << "Select '?', \"a?\" From t Where b='it''s ?' And c=$1" << 1;
    QTest::newRow("comments") << "Select a -- why?\nFrom t /* ? */ Where b=?"
                              << "Select a -- why?\nFrom t /* ? */ Where b=$1" << 1;
    QTest::newRow("comments after the statement") << "Select ?; -- done?\n/* yes; */"
                                                  << "Select $1" << 1;
    QTest::newRow("closing semicolon") << "Select ? ; \n"
                                       << "Select $1 " << 1;
    QTest::newRow("second statement") << "Select 1; Delete From t" << QString() << -1;
}

void TestEngine::placeholdersAreNumbered()
{
    QFETCH(QString, sql);
    QFETCH(QString, numbered);
    QFETCH(int, count);
    QByteArray out;
    int placeholders = 0;
    const bool ok = data::numberPlaceholders(sql.toUtf8(), &out, &placeholders);
    QCOMPARE(ok, count >= 0);
    if (ok) {
        QCOMPARE(QString::fromUtf8(out), numbered);
        QCOMPARE(placeholders, count);
    }
}

void TestEngine::oldServersAreRefused_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("problem");
    QTest::newRow("12.9") << 120009 << "数据库服务器的版本太旧（12.9），本程序需要 PostgreSQL 13 或更新的版本";
    QTest::newRow("13.0") << 130000 << QString();
    QTest::newRow("15.4") << 150004 << QString();
}

void TestEngine::oldServersAreRefused()
{
    QFETCH(int, version);
    QFETCH(QString, problem);
    QCOMPARE(data::serverVersionProblem(version), problem);
}

void TestEngine::failuresTellTheirKind_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("cause");
    QTest::newRow("team name taken in other letters")
        << kAddTeam << QVariantList{"a组"} << int(data::ErrorKind::Unique) << "数据表中已有相同的记录";
    QTest::newRow("malformed date") << kAddRecord << QVariantList{"A组", "bob", 1, 0.5, "2004-13-40"}
                                    << int(data::ErrorKind::BadValue) << "日期应为 yyyy-MM-dd";
    QTest::newRow("text for a number") << kAddRecord << QVariantList{"A组", "bob", "many", 0.5, "2004-03-01"}
                                       << int(data::ErrorKind::BadValue) << "不符合数据表的要求";
}

void TestEngine::failuresTellTheirKind()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, params);
    QFETCH(int, kind);
    QFETCH(QString, cause);
    testsupport::execSql(m_dir->dbPath(), kAddTeam, {"A组"});
    m_set->setSql(sql, params);
    QVERIFY(!m_set->execSql());
    QCOMPARE(int(m_set->lastError().kind), kind);
    QVERIFY2(m_set->lastError().text.contains(cause), qPrintable(m_set->lastError().text));
    QCOMPARE(testsupport::queryRows(m_dir->dbPath(), QStringLiteral("Select count(*) From Salary")).at(0).at(0), 0);
}

void TestEngine::aLockHeldByAnotherUserIsBusy()
{
    data::Connection other;
    data::DataSet holder(QStringLiteral("holder"), &other);
    QVERIFY(other.begin());
    holder.setSql(kAddTeam, {"B组"});
    QVERIFY(holder.execSql());
    m_connection->setBusyTimeout(200);
    m_set->setSql(kAddTeam, {"B组"});
    QVERIFY(!m_set->execSql());
    QCOMPARE(m_set->lastError().kind, data::ErrorKind::Busy);
    QVERIFY(other.execute(QStringLiteral("ROLLBACK")));
    QVERIFY(m_set->execSql());
}

void TestEngine::valuesComeBackAlikeWithAndWithoutBoundValues()
{
    // A list without values comes through another path on the server than one with values.
    const QString awkward = QStringLiteral("tab\there, line\nbreak, back\\slash \\N, 'quote'");
    testsupport::execSql(m_dir->dbPath(), kAddRecord, {awkward, QVariant(), 3, 0.125, "2004-03-01"});
    testsupport::execSql(m_dir->dbPath(), kAddRecord, {"A组", "bob", QVariant(), 12.5, "2004-12-31"});
    const QString select = QStringLiteral("Select DeptName,WorkerName,ProductCount,ProcessPrice,ProcessDate,"
                                          "ProductCount*ProcessPrice AS Expr1011 From Salary");
    m_set->setSql(select + QStringLiteral(" Order by id"));
    QVERIFY2(m_set->open(), qPrintable(m_set->lastError().text));
    m_set->setSql(select + QStringLiteral(" Where id>? Order by id"), {0});
    data::DataSet bound(QStringLiteral("bound"), m_connection.get());
    bound.setSql(m_set->sql(), m_set->params());
    QVERIFY(bound.open());
    for (data::DataSet* set : {m_set.get(), &bound}) {
        QCOMPARE(set->fieldNames(),
                 (QStringList{"DeptName", "WorkerName", "ProductCount", "ProcessPrice", "ProcessDate", "Expr1011"}));
        QCOMPARE(set->recordCount(), 2);
        QCOMPARE(set->value(0, 0).toString(), awkward);
        QVERIFY(set->isNull(0, 1));
        QCOMPARE(set->value(0, 2), QVariant(qlonglong(3)));
        QCOMPARE(set->value(0, 3), QVariant(0.125));
        QCOMPARE(set->value(0, 4), QVariant(QStringLiteral("2004-03-01")));
        QCOMPARE(set->value(0, 5), QVariant(0.375));
        QVERIFY(set->isNull(1, 2));
        QCOMPARE(set->value(1, 3), QVariant(12.5));
    }
}

void TestEngine::insertTellsItsKeyAndChangesTheirCount()
{
    testsupport::execSql(m_dir->dbPath(), kAddTeam, {"A组"});
    m_set->setSql(kAddTeam, {"B组"});
    QVERIFY(m_set->execSql());
    QCOMPARE(m_set->rowsAffected(), 1);
    QCOMPARE(m_set->lastInsertId(), 2);
    m_set->setSql(QStringLiteral("Update Dept Set DeptName=DeptName||'x' Where id>?"), {0});
    QVERIFY(m_set->execSql());
    QCOMPARE(m_set->rowsAffected(), 2);
    QCOMPARE(m_set->lastInsertId(), 0);
}

void TestEngine::openingTellsWhatIsWrong_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("cause");
    if (!testsupport::onServer()) {
        QTest::newRow("file") << QString() << 0 << QString();
        return;
    }
    const QString admin = testsupport::serverAdminUri();
    const QString socket = admin.section(QStringLiteral("host="), 1).section(QLatin1Char('&'), 0, 0);
    QTest::newRow("no server there") << "postgresql:///dorvik?host=/nonexistent-folder&user=dorvik"
                                     << int(data::ErrorKind::ConnectionLost) << "无法连接数据库服务器";
    QTest::newRow("wrong password") << QStringLiteral("postgresql://dorvik_pw:wrong@/postgres?host=%1").arg(socket)
                                    << int(data::ErrorKind::AccessDenied) << "数据库服务器拒绝了用户名或密码";
    QTest::newRow("no password") << QStringLiteral("postgresql://dorvik_pw@/postgres?host=%1").arg(socket)
                                 << int(data::ErrorKind::AccessDenied) << "数据库服务器要求密码";
    QTest::newRow("another database") << admin << int(data::ErrorKind::NotOurs) << "不是本系统的数据库";
}

void TestEngine::openingTellsWhatIsWrong()
{
    SKIP_UNLESS_ON_SERVER();
    QFETCH(QString, uri);
    QFETCH(int, kind);
    QFETCH(QString, cause);
    qunsetenv("PGPASSWORD");
    data::PgEngine engine(1000);
    data::Error error;
    QVERIFY(!engine.open(uri, &error));
    QVERIFY(!engine.isOpen());
    QCOMPARE(int(error.kind), kind);
    QVERIFY2(error.text.contains(cause), qPrintable(error.text));
}

void TestEngine::aLostServerIsReachedAgainAndNothingIsHalfSaved()
{
    SKIP_UNLESS_ON_SERVER();
    m_set->setSql(QStringLiteral("Select count(*) From Dept"));
    QVERIFY(m_set->open());
    const quint64 firstOpening = m_connection->generation();

    // The connection breaks inside a transaction: its first write is not kept.
    bool workRan = false;
    QList<data::TransactionFailure> failures;
    const bool committed = data::runInTransaction(
        *m_connection,
        [&] {
            m_set->setSql(kAddTeam, {"A组"});
            if (!m_set->execSql())
                return false;
            endOtherConnections(databaseName(m_dir->dbPath()));
            workRan = true;
            m_set->setSql(kAddTeam, {"B组"});
            return m_set->execSql();
        },
        &failures);
    QVERIFY(workRan);
    QVERIFY(!committed);
    QCOMPARE(m_set->lastError().kind, data::ErrorKind::ConnectionLost);
    QVERIFY2(m_set->lastError().text.contains(QStringLiteral("服务器无法连接")), qPrintable(m_set->lastError().text));
    QVERIFY(!m_connection->isOpen());
    QCOMPARE(testsupport::queryRows(m_dir->dbPath(), QStringLiteral("Select count(*) From Dept")).at(0).at(0), 0);

    // The next action connects again.
    m_set->setSql(QStringLiteral("Select count(*) From Dept"));
    QVERIFY2(m_set->open(), qPrintable(m_set->lastError().text));
    QVERIFY(m_connection->generation() != firstOpening);
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
