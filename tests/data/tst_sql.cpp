#include "data/DataModule.h"
#include "data/Sql.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"

#include <QFile>
#include <QTest>

#include <memory>

using testsupport::BoxAnswerer;
using testsupport::TestProgramDir;

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
    void sharedDatasetReplacesWhatEveryReaderSees();

private:
    std::unique_ptr<TestProgramDir> m_dir;
    std::unique_ptr<BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
};

void TestSql::init()
{
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
    const QString bad = QStringLiteral("Select * From NoSuchTable Where User=?");
    QVERIFY(!OpenQuery(DM->DmQuery, bad, {QStringLiteral("O'Brien")}));
    const auto boxes = m_boxes->take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text,
             QStringLiteral("操作数据表时出错, 执行语句为:\n\nSelect * From NoSuchTable Where User='O''Brien'"));
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
    QVERIFY(ExecQuery(DM->UserQuery, QStringLiteral("Insert Into UserData (User,Password,Role) Values (?,?,?)"),
                      {name, QStringLiteral("p"), QStringLiteral("普通操作员")}));
    QVERIFY(ExecQuery(DM->UserQuery, QStringLiteral("Insert Into UserData (User,Password,Role) Values (?,?,?)"),
                      {QStringLiteral("Anna"), QStringLiteral("q"), QStringLiteral("系统管理员")}));
    // Stored as typed, found only as typed (without regard to letter case).
    QVERIFY(
        OpenQuery(DM->DmQuery, QStringLiteral("Select Password,Role From UserData Where User=?"), {name.toUpper()}));
    QCOMPARE(DM->DmQuery->recordCount(), 1);
    QCOMPARE(DM->DmQuery->fieldByName(QStringLiteral("password")).asString(), QStringLiteral("p"));
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select * From UserData Where User=?"),
                      {QStringLiteral("nobody' or '1'='1")}));
    QVERIFY(DM->DmQuery->eof());
    QCOMPARE(testsupport::queryRows(m_dir->dbPath(), QStringLiteral("Select User From UserData Order by Id"))
                 .first()
                 .first()
                 .toString(),
             name);
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

    // A date that is not yyyy-MM-dd is refused by the database and reported.
    QVERIFY(!ExecQuery(DM->DataAddQuery, QStringLiteral("Insert Into Salary (ProcessDate) Values (?)"),
                       {QStringLiteral("2004-3-9")}));
    QCOMPARE(m_boxes->take().size(), 1);
}

void TestSql::noDataSourceOrNoFileFailsThroughTheBox()
{
    m_dm.reset();
    QFile::remove(m_dir->dbPath());
    m_dm = std::make_unique<TDM>();
    QVERIFY(!OpenQuery(DM->DmQuery, QStringLiteral("Select * From UserData")));
    QCOMPARE(m_boxes->takeTexts(),
             QStringList{QStringLiteral("操作数据表时出错, 执行语句为:\n\nSelect * From UserData")});
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

void TestSql::sharedDatasetReplacesWhatEveryReaderSees()
{
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Insert Into Dept (DeptName) Values ('一组')"));
    int changes = 0;
    connect(DM->DmQuery, &data::DataSet::rowsChanged, this, [&changes] { ++changes; });
    QVERIFY(OpenQuery(DM->DmSource->dataSet(), QStringLiteral("Select * From Dept")));
    QCOMPARE(DM->DmQuery->fieldByName(QStringLiteral("deptname")).asString(), QStringLiteral("一组"));
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select count(*)  From Dept")));
    QCOMPARE(DM->DmSource->dataSet()->field(0).asInteger(), 1);
    QCOMPARE(DM->DmSource->dataSet()->findField(QStringLiteral("DeptName")), -1);
    QVERIFY(changes >= 2);
}

QTEST_MAIN(TestSql)
#include "tst_sql.moc"
