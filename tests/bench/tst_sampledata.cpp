#include "SampleData.h"

#include "data/Schema.h"
#include "testsupport/TestProgramDir.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using testsupport::queryRows;

namespace {

qint64 scalar(const QString& db, const QString& sql, const QVariantList& params = {})
{
    const auto rows = queryRows(db, sql, params);
    return rows.isEmpty() || rows.first().isEmpty() ? -1 : rows.first().first().toLongLong();
}

// A style with its step names and prices in step order.
struct StyleSteps {
    QString kind;
    QString name;
    QStringList steps;
    QList<double> prices;
};

QList<StyleSteps> stylesOf(const QString& db)
{
    QList<StyleSteps> styles;
    const auto rows = queryRows(db, "select p.Kind, p.KindName, s.ProcessName, s.Price from Product p "
                                    "join Process s on s.ProductId = p.Kind "
                                    "order by p.Id, cast(substr(s.Process, 3) as integer)");
    for (const QVariantList& row : rows) {
        if (styles.isEmpty() || styles.last().kind != row[0].toString())
            styles.append({row[0].toString(), row[1].toString(), {}, {}});
        styles.last().steps.append(row[2].toString());
        styles.last().prices.append(row[3].toDouble());
    }
    return styles;
}

// The garments a style name ends with; the steps no such garment has, and words some step of every
// such style has.
struct GarmentRule {
    const char* garment;
    QStringList forbidden;
    QStringList required;
};
const QList<GarmentRule>& garmentRules()
{
    static const QList<GarmentRule> rules = {
        {"衬衫", {"裆", "裤", "腰头", "脚口", "串带", "帽", "罗纹"}, {"做领", "绱领", "绱袖", "克夫", "锁眼", "钉扣"}},
        {"POLO衫", {"裆", "裤", "腰头", "脚口", "串带", "拉链", "克夫", "帽"}, {"领", "绱袖", "门襟", "钉扣"}},
        {"卫衣", {"裆", "裤", "腰头", "脚口", "串带", "克夫", "门襟", "扣"}, {"做帽", "绱帽", "绱袖", "罗纹"}},
        {"裤", {"领", "袖", "克夫", "肩", "帽", "下摆", "罗纹"}, {"腰头", "裆", "脚口"}},
        {"半身裙", {"领", "袖", "克夫", "肩", "裆", "裤", "帽", "脚口"}, {"腰头", "拉链", "底边"}},
        {"连衣裙", {"裆", "裤", "脚口", "串带", "帽", "腰头", "罗纹"}, {"领", "绱袖", "拉链", "底边"}},
        {"夹克", {"裆", "裤", "脚口", "腰头", "串带"}, {"做领", "绱领", "绱袖", "拉链", "里布"}},
        {"西服", {"裆", "裤", "脚口", "腰头", "帽", "罗纹", "拉链", "串带"}, {"做领", "绱领", "绱袖", "钉扣", "整烫"}},
        {"马甲", {"袖", "克夫", "领", "裆", "裤", "脚口", "帽", "拉链"}, {"里布", "锁眼", "钉扣"}},
        {"连体衣", {"腰头", "串带", "克夫", "门襟", "帽"}, {"领口", "袖", "裆", "四合扣"}},
    };
    return rules;
}
const GarmentRule* ruleFor(const QString& styleName)
{
    for (const GarmentRule& rule : garmentRules())
        if (styleName.endsWith(QString::fromUtf8(rule.garment)))
            return &rule;
    return nullptr;
}

} // namespace

class SampleDataTest : public QObject {
    Q_OBJECT
private slots:
    void fillsAConsistentWorkshop_data();
    void fillsAConsistentWorkshop();
    void sameOptionsGiveTheSameData();
    void refusesBadOptions();
    void stepsBelongToTheirGarment_data();
    void stepsBelongToTheirGarment();
    void stepsFollowTheSewingOrder_data();
    void stepsFollowTheSewingOrder();
    void labourPricesArePlausible_data();
    void labourPricesArePlausible();
    void demoWagesArePlausible_data();
    void demoWagesArePlausible();

private:
    // The styles and steps of the benchmark's workshop and of the demo, without records.
    QString benchStyles();
    QString demoStyles();
    QString stylesDb(const QString& name, const sample::Options& options);

    QTemporaryDir m_dir;
};

QString SampleDataTest::stylesDb(const QString& name, const sample::Options& base)
{
    const QString db = m_dir.filePath(name);
    if (!QFile::exists(db)) {
        sample::Options options = base;
        options.rows = 0;
        options.lastMonth = QDate(2025, 6, 1);
        QString error;
        if (!sample::createSampleDatabase(db, options, &error))
            qWarning("%s", qPrintable(error));
    }
    return db;
}

QString SampleDataTest::benchStyles()
{
    return stylesDb(QStringLiteral("bench-styles.mdb"), sample::Options());
}

QString SampleDataTest::demoStyles()
{
    return stylesDb(QStringLiteral("demo-styles.mdb"), sample::demoOptions());
}

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
        QCOMPARE((QList<qint64>{teams, workers, styles, steps}), (QList<qint64>{4, 40, 12, 16}));

    // The size of the workshop.
    QCOMPARE(scalar(db, "select count(*) from Dept"), teams);
    QCOMPARE(scalar(db, "select count(distinct DeptName) from Dept"), teams);
    QCOMPARE(scalar(db, "select count(*) from Worker"), workers);
    QCOMPARE(scalar(db, "select count(*) from Product"), styles);
    QCOMPARE(scalar(db, "select count(*) from Process"), styles * steps);
    QCOMPARE(scalar(db, "select count(*) from Salary"), rows);
    QCOMPARE(queryRows(db, "select \"User\", Password, Role from UserData"),
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
                        "or ProductCount is null or ProcessDate is null or date(ProcessDate) is not ProcessDate"),
             0);
    // No step of a style has recorded more pieces than the style's count, and the count is a
    // workshop's order in hundreds.
    QCOMPARE(scalar(db, "select count(*) from (select c.ProductCount as n, sum(a.ProductCount) as t from Salary a "
                        "join Product c on c.Kind = a.KindId group by a.KindId, a.Process) where t > n"),
             0);
    QCOMPARE(scalar(db, "select count(*) from Product where ProductCount % 100 <> 0 or ProductCount <= 0"), 0);
    // Sizes: adults' by height 150..185, children's 90..140, babies' 59..90.
    QCOMPARE(scalar(db, "select count(*) from Salary where case "
                        "when KindName like '婴儿%' then ProcessSize not in (0, 59, 66, 73, 80, 90) "
                        "when KindName like '%童%' "
                        "then ProcessSize not in (0, 90, 100, 110, 120, 130, 140) "
                        "else ProcessSize not in (0, 150, 155, 160, 165, 170, 175, 180, 185) end"),
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
             data::schemaText(data::Dialect::Sqlite).count(QStringLiteral("ON Salary(")));
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
    const QString steps = QStringLiteral("select * from Process order by id");
    QCOMPARE(queryRows(a, all), queryRows(b, all));
    QCOMPARE(queryRows(a, workers), queryRows(b, workers));
    QCOMPARE(queryRows(a, steps), queryRows(b, steps));
    QVERIFY(queryRows(a, all) != queryRows(c, all));
    QVERIFY(queryRows(a, steps) != queryRows(c, steps));
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

void SampleDataTest::stepsBelongToTheirGarment_data()
{
    QTest::addColumn<QString>("garment");
    for (const GarmentRule& rule : garmentRules())
        QTest::newRow(rule.garment) << QString::fromUtf8(rule.garment);
}

// No sleeve or collar on trousers and skirts, no crotch on a shirt...: every style's steps are
// steps of its garment, and its garment's main steps are there.
void SampleDataTest::stepsBelongToTheirGarment()
{
    QFETCH(QString, garment);
    const GarmentRule* rule = ruleFor(garment);
    QVERIFY(rule);
    for (const QString& db : {benchStyles(), demoStyles()}) {
        int matched = 0;
        for (const StyleSteps& style : stylesOf(db)) {
            if (ruleFor(style.name) != rule)
                continue;
            ++matched;
            for (const QString& step : style.steps)
                for (const QString& word : rule->forbidden)
                    QVERIFY2(!step.contains(word), qPrintable(style.name + ": " + step));
            for (const QString& word : rule->required)
                QVERIFY2(std::any_of(style.steps.begin(), style.steps.end(),
                                     [&](const QString& step) { return step.contains(word); }),
                         qPrintable(style.name + " lacks " + word + ": " + style.steps.join(' ')));
        }
        QVERIFY2(matched > 0, qPrintable(db)); // every garment is in both workshops
    }
}

void SampleDataTest::stepsFollowTheSewingOrder_data()
{
    QTest::addColumn<bool>("demo");
    QTest::newRow("benchmark workshop") << false;
    QTest::newRow("demo workshop") << true;
}

// Cutting first, packing last, a part made before it is sewn on, buttonholes before buttons.
void SampleDataTest::stepsFollowTheSewingOrder()
{
    QFETCH(bool, demo);
    const QList<std::pair<QString, QString>> before = {{"做领", "绱领"},     {"做袖", "绱袖"},   {"做克夫", "绱克夫"},
                                                       {"做腰头", "绱腰头"}, {"做帽", "绱帽"},   {"做里布", "绱里布"},
                                                       {"做护胸", "绱护胸"}, {"合肩缝", "绱领"}, {"锁眼", "钉扣"},
                                                       {"剪线头", "整烫"},   {"检验", "包装"},   {"整烫", "包装"}};
    const QList<StyleSteps> styles = stylesOf(demo ? demoStyles() : benchStyles());
    QVERIFY(!styles.isEmpty());
    QSet<QString> garments;
    for (const StyleSteps& style : styles) {
        const GarmentRule* rule = ruleFor(style.name);
        QVERIFY2(rule, qPrintable(style.name));
        garments.insert(QString::fromUtf8(rule->garment));
        const QString steps = style.name + ": " + style.steps.join(' ');
        QCOMPARE(QSet<QString>(style.steps.begin(), style.steps.end()).size(), style.steps.size());
        QVERIFY2(style.steps.first() == "裁片" && style.steps.last() == "包装", qPrintable(steps));
        for (const auto& [first, second] : before)
            if (style.steps.contains(first) && style.steps.contains(second))
                QVERIFY2(style.steps.indexOf(first) < style.steps.indexOf(second), qPrintable(steps));
    }
    // The demo's dozen styles show different garments.
    if (demo)
        QCOMPARE(garments.size(), std::min<qsizetype>(styles.size(), garmentRules().size()));
}

void SampleDataTest::labourPricesArePlausible_data()
{
    stepsFollowTheSewingOrder_data();
}

// A step pays 0.10 to 3.00 yuan, a whole garment's labour 8 to 40 yuan, a suit more than a skirt.
void SampleDataTest::labourPricesArePlausible()
{
    QFETCH(bool, demo);
    double skirts = 0, suits = 1000;
    for (const StyleSteps& style : stylesOf(demo ? demoStyles() : benchStyles())) {
        double total = 0;
        for (const double price : style.prices) {
            QVERIFY2(price >= 0.10 && price <= 3.00, qPrintable(style.name + ": " + QString::number(price)));
            total += price;
        }
        QVERIFY2(total >= 8 && total <= 40, qPrintable(style.name + ": " + QString::number(total)));
        if (style.name.endsWith("半身裙"))
            skirts = std::max(skirts, total);
        if (style.name.endsWith("西服"))
            suits = std::min(suits, total);
    }
    QVERIFY(skirts > 0 && suits < 1000);
    QVERIFY(suits > skirts * 2);
}

void SampleDataTest::demoWagesArePlausible_data()
{
    QTest::addColumn<QDate>("lastMonth");
    QTest::newRow("up to today") << QDate();
    QTest::newRow("up to a leap February") << QDate(2024, 2, 10);
    QTest::newRow("up to a 31-day August") << QDate(2025, 8, 20);
}

// The demo's workers earn what a garment worker earns: 4,000 to 9,000 yuan in a whole month, 120
// to 450 yuan a day at work (8 to 10 hours, so this also holds for the current month's days so
// far), with about one day off a week; each team does its own part of the work.
void SampleDataTest::demoWagesArePlausible()
{
    QFETCH(QDate, lastMonth);
    sample::Options options = sample::demoOptions();
    options.lastMonth = lastMonth;
    const QString db = m_dir.filePath(QStringLiteral("wages.mdb"));
    QString error;
    QVERIFY2(sample::createSampleDatabase(db, options, &error), qPrintable(error));

    // Whole months: all of them when the last month is past, all but the last when it runs to today.
    const QDate last = sample::lastMonthOf(options);
    const QDate today = QDate::currentDate();
    const bool partial = last.year() == today.year() && last.month() == today.month();
    const QString wholeUntil = (partial ? last : last.addMonths(1)).toString(Qt::ISODate);
    const auto months = queryRows(db,
                                  "select substr(ProcessDate, 1, 7), WorkerName, sum(ProductCount * ProcessPrice), "
                                  "count(distinct ProcessDate) from Salary where ProcessDate < ? group by 1, 2",
                                  {wholeUntil});
    QCOMPARE(months.size(), qsizetype(options.workers) * (partial ? options.months - 1 : options.months));
    for (const QVariantList& month : months) {
        const QString who = month[0].toString() + " " + month[1].toString() + ": " + month[2].toString() + " yuan, " +
                            month[3].toString() + " days";
        QVERIFY2(month[2].toDouble() >= 4000 && month[2].toDouble() <= 9000, qPrintable(who));
        QVERIFY2(month[3].toInt() >= 22 && month[3].toInt() <= 27, qPrintable(who));
    }
    const auto days = queryRows(db, "select min(pay), max(pay), count(*) from (select sum(ProductCount * ProcessPrice) "
                                    "pay from Salary group by ProcessDate, WorkerName)");
    QVERIFY2(days.first()[0].toDouble() >= 120 && days.first()[1].toDouble() <= 450,
             qPrintable(days.first()[0].toString() + " to " + days.first()[1].toString()));

    // The cutting room cuts, the sewing lines sew, the finishing team finishes.
    const auto work = [&](const char* team, const char* steps) {
        return scalar(db,
                      QStringLiteral("select count(*) from Salary where DeptName = ? and ProcessName in (%1)")
                          .arg(QString::fromUtf8(steps)),
                      {QString::fromUtf8(team)});
    };
    const char* cutting = "'裁片', '粘衬', '打号'";
    const char* finishing = "'锁眼', '钉扣', '剪线头', '检验', '整烫', '包装'";
    QVERIFY(work("裁剪组", cutting) > 0);
    QCOMPARE(work("裁剪组", cutting), scalar(db, "select count(*) from Salary where DeptName = '裁剪组'"));
    QVERIFY(work("后道组", finishing) > 0);
    QCOMPARE(work("后道组", cutting), 0);
    for (const char* team : {"缝纫一组", "缝纫二组"}) {
        QCOMPARE(work(team, cutting), 0);
        QCOMPARE(work(team, finishing), 0);
    }
}

QTEST_GUILESS_MAIN(SampleDataTest)
#include "tst_sampledata.moc"
