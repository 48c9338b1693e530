#include "masterdata/MasterFixture.h"
#include "reports/Query.h"
#include "toolkit/DataGrid.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

using namespace masterfixture;

// The query window's page of steps recorded past their style's piece count.
class TestOverClaimPage : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lastPageShowsItsOwnGrid();
    void rows_data();
    void rows();
    void monthFindsItsRecordsThroughTheDateIndex();

private:
    void addStyle(const QString& kind, int count) const
    {
        env->exec(QStringLiteral("INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                                 "VALUES (?, 2, ?, ?, '2004-01-01')"),
                  {kind, kind + QStringLiteral("名"), count});
    }
    void addRecord(const QString& team, const QString& worker, const QString& kind, int step, int count,
                   const QString& date) const
    {
        env->exec(
            QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                           "ProcessName, ProcessSize, ProductCount, ProcessDate) VALUES (?,1,?,?,?,?,'步',0,?,?)"),
            {team, worker, kind, kind + QStringLiteral("名"), QStringLiteral("工序%1").arg(step), count, date});
    }
    QStringList shownRows() const
    {
        QStringList rows;
        for (const QStringList& row : gridRows(form->OverClaimGrid))
            rows << row.join(QLatin1Char(' '));
        return rows;
    }

    std::unique_ptr<Env> env;
    QPointer<TQueryForm> form;
};

void TestOverClaimPage::init()
{
    env = std::make_unique<Env>();
    addStyle(QStringLiteral("A1"), 100);
    addStyle(QStringLiteral("B2"), 50);
    addStyle(QStringLiteral("C3"), 0); // no limit
    const QString one = QStringLiteral("一组");
    const QString two = QStringLiteral("二组");
    addRecord(one, QStringLiteral("张三"), QStringLiteral("A1"), 1, 60, QStringLiteral("2004-03-01"));
    addRecord(one, QStringLiteral("李四"), QStringLiteral("A1"), 1, 40, QStringLiteral("2004-03-15"));
    addRecord(one, QStringLiteral("李四"), QStringLiteral("A1"), 1, 10, QStringLiteral("2004-03-31"));
    addRecord(one, QStringLiteral("张三"), QStringLiteral("A1"), 2, 40, QStringLiteral("2004-03-02"));
    addRecord(two, QStringLiteral("王五"), QStringLiteral("B2"), 1, 80, QStringLiteral("2004-03-03"));
    addRecord(one, QStringLiteral("张三"), QStringLiteral("C3"), 1, 999, QStringLiteral("2004-03-04"));
    addRecord(one, QStringLiteral("李四"), QStringLiteral("A1"), 2, 70, QStringLiteral("2004-04-01"));
    addRecord(two, QStringLiteral("王五"), QStringLiteral("B2"), 1, 5, QStringLiteral("2004-02-29"));
    form = new TQueryForm;
    form->show();
}

void TestOverClaimPage::cleanup()
{
    delete form;
    // The fixture goes before the checks, so that a failed check leaves no answerer behind.
    const int unexpected = env->boxes.unexpected();
    const QStringList left = env->boxes.takeTexts();
    env.reset();
    QCOMPARE(unexpected, 0);
    QCOMPARE(left, QStringList());
}

// The new last page shows only its grid; the other pages hide it again.
void TestOverClaimPage::lastPageShowsItsOwnGrid()
{
    QCOMPARE(form->RzPage->count(), 7);
    QCOMPARE(form->RzPage->indexOf(form->SalaryMonth_Sheet), 5);
    QCOMPARE(form->RzPage->indexOf(form->OverClaimSheet), 6);
    QCOMPARE(form->RzPage->tabText(6), QStringLiteral("超产品件数"));
    QStringList titles;
    for (int c = 0; c < form->OverClaimGrid->gridColumnCount(); ++c)
        titles << form->OverClaimGrid->gridColumn(c).title;
    QCOMPARE(titles, (QStringList{"款式号", "款式名称", "工序号", "产品件数", "已录入", "超出", "员工名称", "班组",
                                  "该员工件数"}));

    const auto shown = [this] {
        return QList<bool>{form->SalaryGrid->isVisible(), form->SalaryMonthGrid->isVisible(),
                           form->OverClaimGrid->isVisible()};
    };
    QCOMPARE(shown(), (QList<bool>{true, false, false}));
    form->RzPage->setCurrentIndex(6);
    QCOMPARE(shown(), (QList<bool>{false, false, true}));
    // The page opens on the current month.
    QCOMPARE(TQueryForm::chosenMonth(form->year_edit_o, form->month_edit_o),
             QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1));
    form->RzPage->setCurrentIndex(5);
    QCOMPARE(shown(), (QList<bool>{false, true, false}));
    form->RzPage->setCurrentIndex(6);
    form->RzPage->setCurrentIndex(0);
    QCOMPARE(shown(), (QList<bool>{true, false, false}));
}

void TestOverClaimPage::rows_data()
{
    QTest::addColumn<bool>("allMonths");
    QTest::addColumn<int>("month");
    QTest::addColumn<QStringList>("expected");
    // Largest excess first; a step's workers by their pieces. Only the month's records count.
    QTest::newRow("2004-03") << false << 3
                             << QStringList{"B2 B2名 工序1 50 80 30 王五 二组 80",
                                            "A1 A1名 工序1 100 110 10 张三 一组 60",
                                            "A1 A1名 工序1 100 110 10 李四 一组 50"};
    QTest::newRow("2004-04, under the count") << false << 4 << QStringList{};
    QTest::newRow("all months") << true << 4
                                << QStringList{
                                       "B2 B2名 工序1 50 85 35 王五 二组 85", "A1 A1名 工序1 100 110 10 张三 一组 60",
                                       "A1 A1名 工序1 100 110 10 李四 一组 50", "A1 A1名 工序2 100 110 10 李四 一组 70",
                                       "A1 A1名 工序2 100 110 10 张三 一组 40"};
}

void TestOverClaimPage::rows()
{
    QFETCH(bool, allMonths);
    QFETCH(int, month);
    QFETCH(QStringList, expected);
    form->RzPage->setCurrentIndex(6);
    form->year_edit_o->setValue(2004);
    form->month_edit_o->setValue(month);
    form->AllMonths_Check->setChecked(allMonths);
    QCOMPARE(form->month_edit_o->isEnabled(), !allMonths);
    click(form->OverClaim_search);
    QCOMPARE(shownRows(), expected);
}

void TestOverClaimPage::monthFindsItsRecordsThroughTheDateIndex()
{
    SKIP_ON_SERVER("the file engine's query plans");
    QStringList steps;
    for (const QVariantList& row :
         env->rows(QStringLiteral("EXPLAIN QUERY PLAN ") + querysql::overClaim(data::Dialect::Sqlite, true),
                   {QStringLiteral("2004-03-01"), QStringLiteral("2004-04-01")}))
        steps << row.last().toString();
    QVERIFY2(steps.join(';').contains(QStringLiteral("INDEX Salary_ProcessDate")), qPrintable(steps.join("; ")));
}

QTEST_MAIN(TestOverClaimPage)
#include "tst_overclaimpage.moc"
