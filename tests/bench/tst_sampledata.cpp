#include "SampleData.h"

#include "testsupport/TestProgramDir.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using testsupport::queryRows;

namespace {

qint64 scalar(const QString& db, const QString& sql, const QVariantList& params = {})
{
    const auto rows = queryRows(db, sql, params);
    return rows.isEmpty() || rows.first().isEmpty() ? -1 : rows.first().first().toLongLong();
}

} // namespace

class SampleDataTest : public QObject {
    Q_OBJECT
private slots:
    void fillsAConsistentWorkshop_data();
    void fillsAConsistentWorkshop();
    void sameOptionsGiveTheSameData();
    void refusesBadOptions();

private:
    QTemporaryDir m_dir;
};

void SampleDataTest::fillsAConsistentWorkshop_data()
{
    QTest::addColumn<qint64>("rows");
    QTest::addColumn<int>("months");
    QTest::addColumn<QDate>("lastMonth");
    QTest::addColumn<bool>("demo");
    QTest::newRow("two years up to this month") << qint64(2000) << 24 << QDate() << false;
    QTest::newRow("three months up to March 2004") << qint64(300) << 3 << QDate(2004, 3, 15) << false;
    QTest::newRow("one leap February") << qint64(50) << 1 << QDate(2024, 2, 29) << false;
    const sample::Options demo = sample::demoOptions();
    QTest::newRow("demo workshop") << demo.rows << demo.months << QDate() << true;
}

void SampleDataTest::fillsAConsistentWorkshop()
{
    QFETCH(qint64, rows);
    QFETCH(int, months);
    QFETCH(QDate, lastMonth);
    QFETCH(bool, demo);
    const QString db = m_dir.filePath(QStringLiteral("workshop.mdb"));
    sample::Options options = demo ? sample::demoOptions() : sample::Options();
    options.rows = rows;
    options.months = months;
    options.lastMonth = lastMonth;
    QString error;
    QVERIFY2(sample::createSampleDatabase(db, options, &error), qPrintable(error));
    const qint64 teams = options.teams, workers = options.workers, styles = options.styles;
    const int steps = options.stepsPerStyle;
    if (demo) // a workshop a new user takes in at a glance
        QCOMPARE((QList<qint64>{teams, workers, styles, steps}), (QList<qint64>{4, 40, 12, 8}));

    // The size of the workshop.
    QCOMPARE(scalar(db, "select count(*) from Dept"), teams);
    QCOMPARE(scalar(db, "select count(distinct DeptName) from Dept"), teams);
    QCOMPARE(scalar(db, "select count(*) from Worker"), workers);
    QCOMPARE(scalar(db, "select count(*) from Product"), styles);
    QCOMPARE(scalar(db, "select count(*) from Process"), styles * steps);
    QCOMPARE(scalar(db, "select count(*) from Salary"), rows);
    QCOMPARE(queryRows(db, "select User, Password, Role from UserData"),
             (QList<QVariantList>{{QString::fromUtf8(sample::kAdminUser), QString::fromUtf8(sample::kAdminPassword),
                                   QStringLiteral("系统管理员")}}));

    // Workers: unique names, every team full, distinct machine places "1".."100" within a team.
    QCOMPARE(scalar(db, "select count(distinct WorkerName) from Worker"), workers);
    QCOMPARE(scalar(db, "select count(*) from Worker w join Dept d on d.id = w.DeptId"), workers);
    QCOMPARE(scalar(db,
                    "select count(*) from (select DeptId from Worker group by DeptId having count(*) not in (?, ?))",
                    {workers / teams, (workers + teams - 1) / teams}),
             0);
    QCOMPARE(scalar(db, "select count(*) from Worker where cast(MachineId as integer) not between 1 and 100 "
                        "or cast(cast(MachineId as integer) as text) <> MachineId or EnterDate is null"),
             0);
    QCOMPARE(scalar(db, "select count(*) from (select 1 from Worker group by DeptId, MachineId having count(*) > 1)"),
             0);

    // Styles: unique numbers, steps labelled 工序1..工序15 with a name and a price of three decimals.
    QCOMPARE(scalar(db, "select count(distinct Kind) from Product"), styles);
    QCOMPARE(scalar(db,
                    "select count(*) from Product p where p.Process <> ? or p.KindName = '' "
                    "or (select count(distinct s.Process) from Process s where s.ProductId = p.Kind) <> ?",
                    {steps, steps}),
             0);
    QCOMPARE(scalar(db,
                    "select count(*) from Process where Process <> '工序' || cast(substr(Process, 3) as integer) "
                    "or cast(substr(Process, 3) as integer) not between 1 and ? or ProcessName = '' "
                    "or not Price > 0 or round(Price, 3) <> Price",
                    {steps}),
             0);

    // Every record: a worker of its team at its machine place, a step of its style with the names
    // copied at entry, a quantity and a size as typed, a valid date.
    QCOMPARE(scalar(db, "select count(*) from Salary a where not exists (select 1 from Worker w "
                        "join Dept d on d.id = w.DeptId where w.WorkerName = a.WorkerName "
                        "and d.DeptName = a.DeptName and w.MachineId = cast(a.MachineId as text))"),
             0);
    QCOMPARE(scalar(db, "select count(*) from Salary a where not exists (select 1 from Process b "
                        "join Product c on c.Kind = b.ProductId where b.ProductId = a.KindId "
                        "and b.Process = a.Process and b.ProcessName = a.ProcessName and c.KindName = a.KindName)"),
             0);
    QCOMPARE(scalar(db, "select count(*) from Salary where ProductCount not between 1 and 200 "
                        "or ProductCount is null or ProcessSize not in (0, 150, 155, 160, 165, 170, 175, 180, 185) "
                        "or ProcessDate is null or date(ProcessDate) is not ProcessDate"),
             0);

    // The months asked for, each with records; prices applied to all but the last month, or to all.
    const QDate first = sample::firstMonthOf(options);
    const QDate last = sample::lastMonthOf(options);
    QCOMPARE(first, last.addMonths(1 - months));
    QCOMPARE(last, lastMonth.isValid() ? QDate(lastMonth.year(), lastMonth.month(), 1)
                                       : QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1));
    const auto span = queryRows(db, "select min(ProcessDate), max(ProcessDate), "
                                    "count(distinct substr(ProcessDate, 1, 7)) from Salary");
    QVERIFY(span.first()[0].toString() >= first.toString(Qt::ISODate));
    QVERIFY(span.first()[1].toString() < last.addMonths(1).toString(Qt::ISODate));
    QVERIFY(span.first()[1].toString() <= QDate::currentDate().toString(Qt::ISODate));
    QCOMPARE(span.first()[2].toInt(), months);
    QCOMPARE(scalar(db,
                    "select count(*) from Salary a join Process b on b.ProductId = a.KindId "
                    "and b.Process = a.Process where case when a.ProcessDate >= ? then a.ProcessPrice is not null "
                    "else a.ProcessPrice is null or a.ProcessPrice <> b.Price end",
                    {options.priceLastMonth ? QStringLiteral("9999-12-31") : last.toString(Qt::ISODate)}),
             0);
    QCOMPARE(scalar(db, "select count(*) from Salary where ProcessPrice is null") > 0, !options.priceLastMonth);

    // Entered in date order: the newest record has the highest number.
    QCOMPARE(scalar(db, "select count(*) from Salary a join Salary b on b.id = a.id + 1 "
                        "where b.ProcessDate < a.ProcessDate"),
             0);
    // The schema's indexes are all there.
    QCOMPARE(scalar(db, "select count(*) from sqlite_master where type = 'index' and tbl_name = 'Salary' "
                        "and sql is not null"),
             testsupport::readFile(sample::defaultSchemaPath()).count("ON Salary("));
}

void SampleDataTest::sameOptionsGiveTheSameData()
{
    const QString a = m_dir.filePath(QStringLiteral("a.mdb"));
    const QString b = m_dir.filePath(QStringLiteral("b.mdb"));
    const QString c = m_dir.filePath(QStringLiteral("c.mdb"));
    sample::Options options;
    options.rows = 200;
    options.lastMonth = QDate(2010, 6, 1);
    QVERIFY(sample::createSampleDatabase(a, options));
    QVERIFY(sample::createSampleDatabase(b, options));
    options.seed += 1;
    QVERIFY(sample::createSampleDatabase(c, options));
    const QString all = QStringLiteral("select * from Salary order by id");
    const QString workers = QStringLiteral("select * from Worker order by id");
    QCOMPARE(queryRows(a, all), queryRows(b, all));
    QCOMPARE(queryRows(a, workers), queryRows(b, workers));
    QVERIFY(queryRows(a, all) != queryRows(c, all));
}

void SampleDataTest::refusesBadOptions()
{
    const QString db = m_dir.filePath(QStringLiteral("bad.mdb"));
    sample::Options options;
    options.rows = 10;
    options.months = 0;
    QString error;
    QVERIFY(!sample::createSampleDatabase(db, options, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(db));

    options.months = 2;
    error.clear();
    QVERIFY(!sample::createSampleDatabase(m_dir.filePath(QStringLiteral("no/such/folder/x.mdb")), options, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(SampleDataTest)
#include "tst_sampledata.moc"
