#include "ReportFixture.h"

#include "reports/Month.h"
#include "reports/Report.h"
#include "reports/WageStatement.h"
#include "testsupport/BoxAnswerer.h"
#include "toolkit/DisplayMask.h"

#include <QApplication>
#include <QtTest>

#include <memory>

using namespace reportfixture;
namespace ws = wagestatement;

namespace {

const QDateTime kNow(QDate(2024, 3, 5), QTime(14, 3, 9));
const QStringList kDetailFields = {QStringLiteral("WorkerName"),   QStringLiteral("KindId"),
                                   QStringLiteral("Process"),      QStringLiteral("ProductDate"),
                                   QStringLiteral("ProductCount"), QStringLiteral("ProcessPrice"),
                                   QStringLiteral("Expr1011")};

// The detail texts of one field over all pages, in print order.
QStringList detailColumn(const toolkit::ReportLayout& layout, const QString& field)
{
    QStringList texts;
    for (int p = 0; p < layout.pageCount(); ++p)
        texts += placedTexts(layout.page(p), ws::kDetailBand, field);
    return texts;
}

QString single(const toolkit::ReportPage& page, const QString& band, const QString& name)
{
    const QStringList texts = placedTexts(page, band, name);
    return texts.size() == 1 ? texts.first() : QStringLiteral("<%1 times>").arg(texts.size());
}

} // namespace

class ReportLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void pagination_data();
    void pagination();
    void fortyRowsRepeatHeadersAndSumAtEnd();
    void emptyOrClosedListPrintsOneEmptyLine_data();
    void emptyOrClosedListPrintsOneEmptyLine();
    void sortedListPrintsInSortedOrder();
    void emptyAmountPrintsEmptyCellAndCounts();
    void monthlyReportPrintsWageRows();
    void printDateText_data();
    void printDateText();
    void reportsAreReusedAndFollowTheData();

private:
    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
};

void ReportLayoutTest::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
    m_dir->prepareDatabase();
    m_dm = std::make_unique<TDM>();
}

void ReportLayoutTest::cleanup()
{
    m_dm.reset();
    QCOMPARE(m_boxes->unexpected(), 0);
    QCOMPARE(m_boxes->takeTexts(), QStringList());
    m_boxes.reset();
    m_dir.reset();
}

void ReportLayoutTest::pagination_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("linesPerPage");
    QTest::addColumn<int>("summaryPage");
    QTest::newRow("one row") << 1 << QList<int>{1} << 1;
    QTest::newRow("34 rows: summary still fits") << 34 << QList<int>{34} << 1;
    QTest::newRow("35 rows: summary moves on") << 35 << QList<int>{35, 0} << 2;
    QTest::newRow("36 rows") << 36 << QList<int>{35, 1} << 2;
    QTest::newRow("71 rows") << 71 << QList<int>{35, 35, 1} << 3;
}

void ReportLayoutTest::pagination()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, linesPerPage);
    QFETCH(int, summaryPage);
    addRecords(m_dir->dbPath(), rows);
    QVERIFY(openDetail());

    const toolkit::ReportLayout layout = TQuickReport::instance()->Prepare(kNow);
    QCOMPARE(layout.pageCount(), int(linesPerPage.size()));
    for (int p = 0; p < layout.pageCount(); ++p) {
        const toolkit::ReportPage page = layout.page(p);
        QCOMPARE(bandCount(page, ws::kDetailBand), linesPerPage.at(p));
        QCOMPARE(bandCount(page, ws::kTitleBand), 1);
        QCOMPARE(bandCount(page, ws::kHeaderBand), 1);
        QCOMPARE(bandCount(page, ws::kSummaryBand), p + 1 == summaryPage ? 1 : 0);
        // Nothing but the page footer reaches below the footer's top (297 - 10 - 5.8).
        for (const toolkit::ReportPlacedElement& e : page.elements)
            QVERIFY2(e.rect.bottom() <= 281.2 + 1e-6, qPrintable(e.band + "/" + e.name));
    }
    QCOMPARE(detailColumn(layout, QStringLiteral("WorkerName")).size(), rows);
}

void ReportLayoutTest::fortyRowsRepeatHeadersAndSumAtEnd()
{
    addRecords(m_dir->dbPath(), 40);
    QVERIFY(openDetail());
    const toolkit::ReportLayout layout = TQuickReport::instance()->Prepare(kNow);
    QCOMPARE(layout.pageCount(), 2);
    const toolkit::ReportPage first = layout.page(0);
    const toolkit::ReportPage second = layout.page(1);

    QCOMPARE(bandCount(first, ws::kDetailBand), 35);
    QCOMPARE(bandCount(second, ws::kDetailBand), 5);
    for (const toolkit::ReportPage& page : {first, second}) {
        QCOMPARE(single(page, ws::kTitleBand, QStringLiteral("TitleLabel")), QStringLiteral("蓝 栎 工 资 条"));
        QCOMPARE(single(page, ws::kTitleBand, QStringLiteral("PrintDateLabel")), QStringLiteral("打印日期:"));
        QCOMPARE(single(page, ws::kTitleBand, QStringLiteral("PrintDate")), QStringLiteral("2024-03-05 14:03:09"));
        QCOMPARE(single(page, ws::kTitleBand, QStringLiteral("PageLabel")), QStringLiteral("第"));
        QCOMPARE(single(page, ws::kTitleBand, QStringLiteral("PageNumber")), QString::number(page.number));
        QCOMPARE(single(page, ws::kTitleBand, QStringLiteral("PageUnitLabel")), QStringLiteral("页"));
        QStringList headers;
        for (const QString& field : kDetailFields)
            headers << single(page, ws::kHeaderBand, ws::headerName(field));
        QCOMPARE(headers, (QStringList{"员工名称", "款式号", "工序", "日期", "数量(件)", "单价(元)", "合计(元)"}));
        // Page header, then column header, then the first detail line right below it.
        const auto header = placed(page, ws::kHeaderBand, ws::headerName(QStringLiteral("WorkerName")));
        QCOMPARE(header.first()->rect.top(), 10.0 + 18.8);
        const auto firstLine = placed(page, ws::kDetailBand, QStringLiteral("TopLine"));
        QCOMPARE(firstLine.first()->rect.top(), 10.0 + 18.8 + 6.35);
    }
    QCOMPARE(placedTexts(second, ws::kTitleBand, QStringLiteral("PageNumber")), QStringList{"2"});

    QCOMPARE(bandCount(first, ws::kSummaryBand), 0);
    QCOMPARE(single(second, ws::kSummaryBand, QStringLiteral("CountLabel")), QStringLiteral("共"));
    QCOMPARE(single(second, ws::kSummaryBand, QStringLiteral("RowCount")), QStringLiteral("40"));
    QCOMPARE(single(second, ws::kSummaryBand, QStringLiteral("CountUnitLabel")), QStringLiteral("条数据"));
    QCOMPARE(single(second, ws::kSummaryBand, QStringLiteral("Total")), QStringLiteral("￥1,545.000"));
    QCOMPARE(single(second, ws::kSummaryBand, QStringLiteral("YuanLabel")), QStringLiteral("元"));
    // The summary stands right below the last line: 5 lines after the headers.
    QCOMPARE(placed(second, ws::kSummaryBand, QStringLiteral("SummaryBar")).first()->rect.top(),
             10.0 + 18.8 + 6.35 + 5 * 6.9);

    // Lines follow the dataset's order (newest record first) and carry their values.
    QStringList expected;
    for (int i = 40; i >= 1; --i)
        expected << workerName(i);
    QCOMPARE(detailColumn(layout, QStringLiteral("WorkerName")), expected);
    const auto lastLine = [&](const QString& field) { return placedTexts(second, ws::kDetailBand, field).last(); };
    QCOMPARE(lastLine(QStringLiteral("KindId")), kStyle);
    QCOMPARE(lastLine(QStringLiteral("Process")), QStringLiteral("工序1"));
    QCOMPARE(lastLine(QStringLiteral("ProductDate")), kStyleDate);
    QCOMPARE(lastLine(QStringLiteral("ProductCount")), QStringLiteral("1"));
    QCOMPARE(lastLine(QStringLiteral("ProcessPrice")), QStringLiteral("￥1.500"));
    QCOMPARE(placedTexts(second, ws::kDetailBand, QStringLiteral("Expr1011")).first(), QStringLiteral("￥7.500"));
}

void ReportLayoutTest::emptyOrClosedListPrintsOneEmptyLine_data()
{
    QTest::addColumn<bool>("open");
    QTest::newRow("open, no rows") << true;
    QTest::newRow("closed") << false;
}

void ReportLayoutTest::emptyOrClosedListPrintsOneEmptyLine()
{
    QFETCH(bool, open);
    addStyle(m_dir->dbPath());
    if (open) {
        QVERIFY(openDetail());
        QVERIFY(openMonth());
    }
    QCOMPARE(DM->SalaryQuery->isActive(), open);
    QCOMPARE(DM->SalaryMonthQuery->isActive(), open);

    for (toolkit::Report* report : {static_cast<toolkit::Report*>(TQuickReport::instance()),
                                    static_cast<toolkit::Report*>(TSalaryReport::instance())}) {
        const toolkit::ReportLayout layout = report->Prepare(kNow);
        QCOMPARE(layout.pageCount(), 1);
        const toolkit::ReportPage page = layout.page(0);
        QCOMPARE(bandCount(page, ws::kTitleBand), 1);
        QCOMPARE(bandCount(page, ws::kHeaderBand), 1);
        QCOMPARE(bandCount(page, ws::kDetailBand), 1);
        QCOMPARE(bandCount(page, ws::kSummaryBand), 1);
        QCOMPARE(bandCount(page, ws::kFooterBand), 0); // it holds no element
        for (const toolkit::ReportPlacedElement& e : page.elements)
            if (e.band == ws::kDetailBand)
                QVERIFY2(e.text.isEmpty(), qPrintable(e.name));
        QCOMPARE(placed(page, ws::kDetailBand, QStringLiteral("LeftBar")).size(), 1);
        QCOMPARE(single(page, ws::kSummaryBand, QStringLiteral("RowCount")), QStringLiteral("0"));
        QCOMPARE(single(page, ws::kSummaryBand, QStringLiteral("Total")), QStringLiteral("￥0.000"));
    }
}

void ReportLayoutTest::sortedListPrintsInSortedOrder()
{
    addStyle(m_dir->dbPath());
    const QList<int> order = {7, 3, 12, 1, 9};
    for (int i : order)
        addRecord(m_dir->dbPath(), i, priceOf(i));
    QVERIFY(openDetail());

    QVERIFY(DM->SalaryQuery->setSort(QStringLiteral("ProductCount ASC")));
    QCOMPARE(detailColumn(TQuickReport::instance()->Prepare(kNow), QStringLiteral("ProductCount")),
             (QStringList{"1", "3", "7", "9", "12"}));
    QVERIFY(DM->SalaryQuery->setSort(QStringLiteral("Expr1011 DESC")));
    // 12 x 2.25, 9 x 1.5, 7 x 1.5, 3 x 1.5, 1 x 1.5
    QCOMPARE(detailColumn(TQuickReport::instance()->Prepare(kNow), QStringLiteral("Expr1011")),
             (QStringList{"￥27.000", "￥13.500", "￥10.500", "￥4.500", "￥1.500"}));
}

void ReportLayoutTest::emptyAmountPrintsEmptyCellAndCounts()
{
    addStyle(m_dir->dbPath());
    addRecord(m_dir->dbPath(), 4, 2.25);
    addRecord(m_dir->dbPath(), 5, QVariant()); // not priced yet
    addRecord(m_dir->dbPath(), 6, 2.25);
    QVERIFY(openDetail());

    const toolkit::ReportPage page = TQuickReport::instance()->Prepare(kNow).page(0);
    QCOMPARE(placedTexts(page, ws::kDetailBand, QStringLiteral("WorkerName")),
             (QStringList{workerName(6), workerName(5), workerName(4)}));
    QCOMPARE(placedTexts(page, ws::kDetailBand, QStringLiteral("ProcessPrice")),
             (QStringList{"￥2.250", "", "￥2.250"}));
    QCOMPARE(placedTexts(page, ws::kDetailBand, QStringLiteral("Expr1011")), (QStringList{"￥13.500", "", "￥9.000"}));
    QCOMPARE(placedTexts(page, ws::kDetailBand, QStringLiteral("ProductCount")), (QStringList{"6", "5", "4"}));
    QCOMPARE(single(page, ws::kSummaryBand, QStringLiteral("RowCount")), QStringLiteral("3"));
    QCOMPARE(single(page, ws::kSummaryBand, QStringLiteral("Total")), QStringLiteral("￥22.500"));
}

void ReportLayoutTest::monthlyReportPrintsWageRows()
{
    addStyle(m_dir->dbPath());
    addRecord(m_dir->dbPath(), 3, 1.5, QStringLiteral("二组"));
    addRecord(m_dir->dbPath(), 3, 1.5, QStringLiteral("二组")); // same worker, team and place: one row
    addRecord(m_dir->dbPath(), 8, 2.25);
    addRecord(m_dir->dbPath(), 1400, 1.5);
    QVERIFY(openMonth());
    QVERIFY(DM->SalaryMonthQuery->setSort(QStringLiteral("Expr1003 DESC")));

    const toolkit::ReportLayout layout = TSalaryReport::instance()->Prepare(kNow);
    QCOMPARE(layout.pageCount(), 1);
    const toolkit::ReportPage page = layout.page(0);
    QCOMPARE(single(page, ws::kTitleBand, QStringLiteral("TitleLabel")), QStringLiteral("蓝 栎 工 资 条"));
    QStringList headers;
    for (const QString field : {"DeptName", "Machineid", "WorkerName", "Expr1003"})
        headers << single(page, ws::kHeaderBand, ws::headerName(field));
    QCOMPARE(headers, (QStringList{"班组名称", "车床位", "员工名称", "合计(元)"}));
    QCOMPARE(placedTexts(page, ws::kDetailBand, QStringLiteral("DeptName")), (QStringList{"一组", "一组", "二组"}));
    QCOMPARE(placedTexts(page, ws::kDetailBand, QStringLiteral("Machineid")), (QStringList{"1400", "8", "3"}));
    QCOMPARE(placedTexts(page, ws::kDetailBand, QStringLiteral("WorkerName")),
             (QStringList{workerName(1400), workerName(8), workerName(3)}));
    QCOMPARE(placedTexts(page, ws::kDetailBand, QStringLiteral("Expr1003")),
             (QStringList{"￥2,100.000", "￥18.000", "￥9.000"}));
    QCOMPARE(single(page, ws::kSummaryBand, QStringLiteral("RowCount")), QStringLiteral("3"));
    QCOMPARE(single(page, ws::kSummaryBand, QStringLiteral("Total")), QStringLiteral("￥2,127.000"));
    // The monthly total is wider, and its "元" is set from its left edge.
    const toolkit::ReportPlacedElement* total = placed(page, ws::kSummaryBand, QStringLiteral("Total")).first();
    QCOMPARE(total->rect.left(), 10.0 + 112.2);
    QCOMPARE(total->pointSize, 12.0);
    const toolkit::ReportPlacedElement* yuan = placed(page, ws::kSummaryBand, QStringLiteral("YuanLabel")).first();
    QCOMPARE(yuan->rect.left(), 10.0 + 176.7);
    QVERIFY(yuan->alignment & Qt::AlignLeft);
}

void ReportLayoutTest::printDateText_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("text");
    QTest::newRow("afternoon") << QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9)) << "2024-03-05 14:03:09";
    QTest::newRow("morning") << QDateTime(QDate(2024, 12, 31), QTime(8, 0, 0)) << "2024-12-31 8:00:00";
    QTest::newRow("midnight") << QDateTime(QDate(2024, 1, 2), QTime(0, 0)) << "2024-01-02";
    QTest::newRow("just after midnight") << QDateTime(QDate(2024, 1, 2), QTime(0, 0, 1)) << "2024-01-02 0:00:01";
}

void ReportLayoutTest::printDateText()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, text);
    const toolkit::ReportPage page = TSalaryReport::instance()->Prepare(now).page(0);
    QCOMPARE(single(page, ws::kTitleBand, QStringLiteral("PrintDate")), text);
}

void ReportLayoutTest::reportsAreReusedAndFollowTheData()
{
    TQuickReport* report = TQuickReport::instance();
    QCOMPARE(TQuickReport::instance(), report);
    QCOMPARE(QuickReport, report);
    QCOMPARE(report->parent(), QCoreApplication::instance());
    QCOMPARE(TSalaryReport::instance(), TSalaryReport::instance());
    QCOMPARE(SalaryReport->parent(), QCoreApplication::instance());

    addStyle(m_dir->dbPath());
    addRecord(m_dir->dbPath(), 1, 1.5);
    QVERIFY(openDetail());
    QCOMPARE(report->Prepare(kNow).rowCount(), 1);
    // Nothing is cached: the next generation reads the reloaded list.
    addRecord(m_dir->dbPath(), 2, 2.25);
    QVERIFY(openDetail());
    QCOMPARE(report->Prepare(kNow).rowCount(), 2);

    // A new data module (the main window makes its own) is the one the same report reads.
    m_dm.reset();
    m_dm = std::make_unique<TDM>();
    QCOMPARE(report->Prepare(kNow).rowCount(), 0);
    QVERIFY(openDetail());
    QCOMPARE(report->Prepare(kNow).rowCount(), 2);
    QCOMPARE(report->dataSet(), DM->SalaryQuery);
    QCOMPARE(TQuickReport::instance(), report);
}

QTEST_MAIN(ReportLayoutTest)
#include "tst_reportlayout.moc"
