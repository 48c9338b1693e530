#include "data/DataModule.h"
#include "data/Sql.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"

#include <QTest>

#include <sqlite3.h>

#include <limits>
#include <memory>

using testsupport::BoxAnswerer;
using testsupport::TestProgramDir;

namespace {

// Five records: worker names in mixed case, a missing quantity and a missing price.
void fillSalary(const QString& db)
{
    const QString insert = QStringLiteral(
        "Insert Into Salary (DeptName,MachineId,WorkerName,KindId,KindName,Process,ProcessName,ProcessSize,"
        "ProductCount,ProcessPrice,ProcessDate) Values (?,?,?,?,?,?,?,?,?,?,?)");
    const QList<QVariantList> rows = {
        {"一组", 1, "bob", "K1", "衬衫", "工序1", "裁剪", 38, 10, 0.5, "2004-02-28"},
        {"一组", 2, "Alice", "K1", "衬衫", "工序2", "缝制", 40, 20, 0.125, "2004-03-01"},
        {"二组", 3, "carl", "K2", "裤子", "工序1", "熨烫", 42, QVariant(), 1.0, "2004-03-31"},
        {"二组", 4, "ALICE", "K2", "裤子", "工序2", "包装", 36, 5, QVariant(), "2004-04-01"},
        {"二组", 5, "张三", "K2", "裤子", "工序1", "熨烫", 36, 7, 1.0, "2004-03-15"},
    };
    for (const QVariantList& row : rows)
        testsupport::execSql(db, insert, row);
    testsupport::execSql(db, QStringLiteral("Insert Into Product (Kind,Process,KindName,ProductCount,ProductDate) "
                                            "Values ('K1',2,'衬衫',100,'2004-01-05'),('K2',2,'裤子',0,'2004-01-06')"));
    testsupport::execSql(db, QStringLiteral("Insert Into Process (Process,ProcessName,ProductId,Price) Values "
                                            "('工序1','裁剪','K1',0.5),('工序2','缝制','K1',0.125),"
                                            "('工序1','熨烫','K2',1.0),('工序2','包装','K2',2.0)"));
}

QStringList columnTexts(data::DataSet* set, const QString& field)
{
    QStringList texts;
    const int column = set->findField(field);
    for (int r = 0; r < set->recordCount(); ++r)
        texts << set->value(r, column).toString();
    return texts;
}

} // namespace

class TestDataSet : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void navigationAndFields();
    void sortInMemory_data();
    void sortInMemory();
    void sortKeepsTheCurrentRecordAndIsDroppedByTheNextStatement();
    void sortIsRefusedOnAClosedDatasetOrUnknownField();
    void detailAndSummaryCarryTheirComputedColumnNames();
    void monthRangeSelectsTheMonthsRecords();
    void valuesMapOneWayEverywhere_data();
    void valuesMapOneWayEverywhere();
    void asIntegerPast32Bits_data();
    void asIntegerPast32Bits();
    void countsTellOfTheLastStatementOnly();
    void textAfterTheStatement_data();
    void textAfterTheStatement();

private:
    std::unique_ptr<TestProgramDir> m_dir;
    std::unique_ptr<BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
};

void TestDataSet::init()
{
    m_dir = std::make_unique<TestProgramDir>();
    m_dir->prepareDatabase();
    fillSalary(m_dir->dbPath());
    m_boxes = std::make_unique<BoxAnswerer>();
    m_dm = std::make_unique<TDM>();
}

void TestDataSet::cleanup()
{
    m_dm.reset();
    QCOMPARE(m_boxes->take().size(), 0);
    m_boxes.reset();
    m_dir.reset();
}

void TestDataSet::navigationAndFields()
{
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(set->eof() && set->bof() && set->recNo() == 0);
    QVERIFY(OpenQuery(set, QStringLiteral("Select  * From Salary Order by id desc")));
    QCOMPARE(set->recordCount(), 5);
    QCOMPARE(set->recNo(), 1);
    QVERIFY(!set->eof());
    QCOMPARE(set->fieldByName(QStringLiteral("WORKERNAME")).asString(), QStringLiteral("张三"));
    QCOMPARE(set->fieldByName(QStringLiteral("ProcessDate")).asDate(), QDate(2004, 3, 15));
    QCOMPARE(set->fieldByName(QStringLiteral("ProcessPrice")).asFloat(), 1.0);
    QCOMPARE(set->fieldByName(QStringLiteral("ProcessPrice")).asString(), QStringLiteral("1"));
    QVERIFY(!set->fieldByName(QStringLiteral("NoSuchField")).isValid());
    QVERIFY(set->fieldByName(QStringLiteral("NoSuchField")).asString().isEmpty());

    int visited = 0;
    for (set->first(); !set->eof(); set->next())
        ++visited;
    QCOMPARE(visited, 5);
    QCOMPARE(set->recNo(), 5);
    QCOMPARE(set->fieldByName(QStringLiteral("id")).asInteger(), 1);
    set->prior();
    QCOMPARE(set->recNo(), 4);
    QCOMPARE(set->fieldByName(QStringLiteral("ProcessSize")).asInteger(), 40);
    set->setRecNo(3);
    QVERIFY(set->fieldByName(QStringLiteral("ProductCount")).isNull()); // no quantity
    QVERIFY(!set->fieldByName(QStringLiteral("WorkerName")).isNull());
}

void TestDataSet::sortInMemory_data()
{
    QTest::addColumn<QString>("sort");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("text desc, case ignored, ties in statement order")
        << "WorkerName DESC"
        << "WorkerName" << QStringList{"张三", "carl", "bob", "Alice", "ALICE"};
    QTest::newRow("text asc") << "workername asc"
                              << "WorkerName" << QStringList{"Alice", "ALICE", "bob", "carl", "张三"};
    QTest::newRow("number desc, empty last") << "ProductCount DESC"
                                             << "ProductCount" << QStringList{"20", "10", "7", "5", ""};
    QTest::newRow("number asc, empty first") << "ProductCount ASC"
                                             << "ProductCount" << QStringList{"", "5", "7", "10", "20"};
    QTest::newRow("real") << "ProcessPrice DESC"
                          << "ProcessPrice" << QStringList{"1", "1", "0.5", "0.125", ""};
    QTest::newRow("date") << "ProcessDate DESC"
                          << "ProcessDate"
                          << QStringList{"2004-04-01", "2004-03-31", "2004-03-15", "2004-03-01", "2004-02-28"};
    QTest::newRow("empty sort: statement order") << ""
                                                 << "id" << QStringList{"1", "2", "3", "4", "5"};
}

void TestDataSet::sortInMemory()
{
    QFETCH(QString, sort);
    QFETCH(QString, field);
    QFETCH(QStringList, expected);
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, QStringLiteral("Select  * From Salary Order by id")));
    QVERIFY(set->setSort(sort));
    QStringList actual;
    for (set->first(); !set->eof(); set->next()) {
        const data::Field f = set->fieldByName(field);
        actual << (f.isNull() ? QString() : f.asString());
    }
    QCOMPARE(actual, expected);
    QCOMPARE(set->sort(), sort);
}

void TestDataSet::sortKeepsTheCurrentRecordAndIsDroppedByTheNextStatement()
{
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, QStringLiteral("Select  * From Salary Order by id")));
    set->setRecNo(2); // Alice, id 2
    QVERIFY(set->setSort(QStringLiteral("WorkerName DESC")));
    QCOMPARE(set->fieldByName(QStringLiteral("id")).asInteger(), 2);
    QCOMPARE(set->recNo(), 4);
    QVERIFY(OpenQuery(set, QStringLiteral("Select  * From Salary Order by id")));
    QVERIFY(set->sort().isEmpty());
    QCOMPARE(columnTexts(set, QStringLiteral("id")), (QStringList{"1", "2", "3", "4", "5"}));
}

void TestDataSet::sortIsRefusedOnAClosedDatasetOrUnknownField()
{
    data::DataSet* set = DM->DataAddQuery;
    QString error;
    QVERIFY(!set->setSort(QStringLiteral("id DESC"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(OpenQuery(set, QStringLiteral("Select  * From Salary Order by id")));
    QVERIFY(!set->setSort(QStringLiteral("DeptNameX DESC")));
    QVERIFY(!set->setSort(QStringLiteral("id SIDEWAYS")));
    QCOMPARE(columnTexts(set, QStringLiteral("id")), (QStringList{"1", "2", "3", "4", "5"}));
}

void TestDataSet::detailAndSummaryCarryTheirComputedColumnNames()
{
    // The statements the data module holds at creation.
    QVERIFY(OpenQuery(DM->SalaryQuery, DM->SalaryQuery->sql()));
    QCOMPARE(DM->SalaryQuery->fieldCount(), 14);
    QCOMPARE(DM->SalaryQuery->fieldName(11), QStringLiteral("Expr1011"));
    QCOMPARE(DM->SalaryQuery->recordCount(), 5);
    QCOMPARE(DM->SalaryQuery->fieldByName(QStringLiteral("Expr1011")).asFloat(), 7.0); // 7 x 1.0, newest first
    QCOMPARE(DM->SalaryQuery->fieldByName(QStringLiteral("ProductDate")).asString(), QStringLiteral("2004-01-06"));

    QVERIFY(OpenQuery(DM->SalaryMonthQuery, DM->SalaryMonthQuery->sql()));
    QCOMPARE(DM->SalaryMonthQuery->fieldName(3), QStringLiteral("Expr1003"));
    // Alice and ALICE are one worker to the database: 20 x 0.125 plus an unpriced record.
    const int name = DM->SalaryMonthQuery->findField(QStringLiteral("WorkerName"));
    const int wage = DM->SalaryMonthQuery->findField(QStringLiteral("Expr1003"));
    QMap<QString, double> wages;
    for (int r = 0; r < DM->SalaryMonthQuery->recordCount(); ++r)
        wages[DM->SalaryMonthQuery->value(r, name).toString().toLower() +
              DM->SalaryMonthQuery->value(r, 0).toString()] = DM->SalaryMonthQuery->value(r, wage).toDouble();
    QCOMPARE(wages.value(QStringLiteral("bob一组")), 5.0);
    QCOMPARE(wages.value(QStringLiteral("alice一组")), 2.5);
    QCOMPARE(wages.value(QStringLiteral("张三二组")), 7.0);
}

void TestDataSet::monthRangeSelectsTheMonthsRecords()
{
    QVERIFY(OpenQuery(DM->DataAddQuery,
                      QStringLiteral("Select  * From Salary Where ProcessDate >= ? And ProcessDate < ? Order by id"),
                      {QStringLiteral("2004-03-01"), QStringLiteral("2004-04-01")}));
    QCOMPARE(columnTexts(DM->DataAddQuery, QStringLiteral("id")), (QStringList{"2", "3", "5"}));
    // Like on a numeric column matches its text form.
    QVERIFY(OpenQuery(DM->DataAddQuery,
                      QStringLiteral("Select  * From Salary Where ") +
                          data::asText(CurrentDialect(), QStringLiteral("MachineId")) + QStringLiteral(" like ?"),
                      {QStringLiteral("%3%")}));
    QCOMPARE(DM->DataAddQuery->recordCount(), 1);
}

void TestDataSet::valuesMapOneWayEverywhere_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("storedType"); // what the database holds when the value is bound
    QTest::addColumn<QVariant>("readBack");  // what a dataset gives back, from the database or from memory
    QTest::addColumn<QString>("literal");    // how the failure box writes the value
    QTest::newRow("bool") << QVariant(true) << "integer" << QVariant(qlonglong(1)) << "1";
    QTest::newRow("short") << QVariant::fromValue(short(-7)) << "integer" << QVariant(qlonglong(-7)) << "-7";
    QTest::newRow("unsigned past 31 bits")
        << QVariant(uint(4000000000u)) << "integer" << QVariant(qlonglong(4000000000)) << "4000000000";
    QTest::newRow("long") << QVariant::fromValue(long(-5000000000)) << "integer" << QVariant(qlonglong(-5000000000))
                          << "-5000000000";
    QTest::newRow("unsigned past 63 bits")
        << QVariant(qulonglong(18000000000000000000ull)) << "real" << QVariant(1.8e19) << "1.8e+19";
    QTest::newRow("float") << QVariant(0.5f) << "real" << QVariant(0.5) << "0.5";
    QTest::newRow("double") << QVariant(0.125) << "real" << QVariant(0.125) << "0.125";
    QTest::newRow("text with a quote") << QVariant(QStringLiteral("O'Brien 张")) << "text"
                                       << QVariant(QStringLiteral("O'Brien 张")) << "'O''Brien 张'";
    QTest::newRow("empty text") << QVariant(QString()) << "text" << QVariant(QString()) << "''";
    QTest::newRow("bytes") << QVariant(QByteArray("\x01\xff", 2)) << "blob" << QVariant(QByteArray("\x01\xff", 2))
                           << "X'01FF'";
    QTest::newRow("date") << QVariant(QDate(2004, 3, 9)) << "text" << QVariant(QStringLiteral("2004-03-09"))
                          << "'2004-03-09'";
    QTest::newRow("date and time") << QVariant(QDateTime(QDate(2004, 3, 9), QTime(17, 45))) << "text"
                                   << QVariant(QStringLiteral("2004-03-09")) << "'2004-03-09'";
    QTest::newRow("no date") << QVariant(QDate()) << "null" << QVariant() << "NULL";
    QTest::newRow("null") << QVariant() << "null" << QVariant() << "NULL";
}

void TestDataSet::valuesMapOneWayEverywhere()
{
    SKIP_ON_SERVER("the file engine's storage types");
    QFETCH(QVariant, value);
    QFETCH(QString, storedType);
    QFETCH(QVariant, readBack);
    QFETCH(QString, literal);
    data::DataSet* set = DM->DmQuery;
    QVERIFY(OpenQuery(set, QStringLiteral("Select ? As v, typeof(?) As t, 'x' As m"), {value, value}));
    QCOMPARE(set->fieldByName(QStringLiteral("t")).asString(), storedType);
    QCOMPARE(set->value(0, 0), readBack);
    QCOMPARE(data::statementWithValues(QStringLiteral("?"), {value}), literal);
    set->setValue(0, 2, value);
    QCOMPARE(set->value(0, 2), readBack);
}

void TestDataSet::asIntegerPast32Bits_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("integer past 32 bits") << "5000000000" << qint64(5000000000);
    QTest::newRow("negative integer past 32 bits") << "-5000000000" << qint64(-5000000000);
    QTest::newRow("largest") << "9223372036854775807" << std::numeric_limits<qint64>::max();
    QTest::newRow("real past 32 bits, half up") << "4294967296.5" << qint64(4294967297);
    QTest::newRow("real, half away from zero") << "-2.5" << qint64(-3);
    QTest::newRow("real beyond 64 bits") << "1e300" << std::numeric_limits<qint64>::max();
    QTest::newRow("text of digits") << "' 6000000000 '" << qint64(6000000000);
    QTest::newRow("text of no number") << "'abc'" << qint64(0);
    QTest::newRow("null") << "NULL" << qint64(0);
}

void TestDataSet::asIntegerPast32Bits()
{
    QFETCH(QString, expression);
    QFETCH(qint64, expected);
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select ") + expression));
    QCOMPARE(DM->DmQuery->field(0).asInteger(), expected);
}

void TestDataSet::countsTellOfTheLastStatementOnly()
{
    data::DataSet* set = DM->DataAddQuery;
    set->setSql(QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {QStringLiteral("一组")});
    QVERIFY(set->execSql());
    QCOMPARE(set->rowsAffected(), 1);
    const qint64 id = set->lastInsertId();
    QVERIFY(id > 0);
    QCOMPARE(set->lastError().code, 0);

    set->setSql(QStringLiteral("Update Salary Set ProcessPrice=? Where WorkerName=?"), {2.0, QStringLiteral("alice")});
    QVERIFY(set->execSql());
    QCOMPARE(set->rowsAffected(), 2);
    QCOMPARE(set->lastInsertId(), 0);

    set->setSql(QStringLiteral("Select * From Dept"));
    QVERIFY(set->open());
    QCOMPARE(set->rowsAffected(), 0);
    QCOMPARE(set->lastInsertId(), 0);

    // A new row whose key equals the previous insert's key, in another table, still tells its key.
    set->setSql(QStringLiteral("Insert Into Worker (id, WorkerName) Values (?, ?)"), {id, QStringLiteral("张三")});
    QVERIFY(set->execSql());
    QCOMPARE(set->lastInsertId(), id);

    set->setSql(QStringLiteral("Insert Into Dept (DeptName) Values (?)"), {QStringLiteral("二组")});
    QVERIFY(set->execSql());
    // The server reads "2004-3-9" as a date; "2004-3-9x" no engine does.
    set->setSql(QStringLiteral("Insert Into Worker (EnterDate) Values (?)"),
                {testsupport::onServer() ? QStringLiteral("2004-3-9x") : QStringLiteral("2004-3-9")});
    QVERIFY(!set->execSql());
    QCOMPARE(set->rowsAffected(), 0);
    QCOMPARE(set->lastInsertId(), 0);
    QCOMPARE(set->lastError().kind, data::ErrorKind::BadValue);
    if (!testsupport::onServer())
        QCOMPARE(set->lastError().code, SQLITE_CONSTRAINT_CHECK);
}

void TestDataSet::textAfterTheStatement_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("closing semicolon") << "Select * From Dept;" << true;
    QTest::newRow("blanks and semicolons") << "Select * From Dept ;\n ; \t" << true;
    QTest::newRow("comment") << "Select * From Dept; -- the teams\n/* done */" << true;
    QTest::newRow("second statement") << "Select * From Dept; Delete From Dept" << false;
    QTest::newRow("second statement after a comment") << "Select * From Dept; /* x */ Delete From Dept;" << false;
    QTest::newRow("words that are no statement") << "Select * From Dept; and more" << false;
}

void TestDataSet::textAfterTheStatement()
{
    QFETCH(QString, sql);
    QFETCH(bool, accepted);
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Insert Into Dept (DeptName) Values ('一组')"));
    data::DataSet* set = DM->DmQuery;
    set->setSql(sql);
    QCOMPARE(set->open(), accepted);
    QCOMPARE(set->isActive(), accepted);
    QCOMPARE(set->lastError().failed(), !accepted);
    QCOMPARE(testsupport::queryRows(m_dir->dbPath(), QStringLiteral("Select count(*) From Dept")).first().first(),
             QVariant(qlonglong(1)));
}

QTEST_MAIN(TestDataSet)
#include "tst_dataset.moc"
