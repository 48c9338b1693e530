#include "ReportFixture.h"

#include "reports/Month.h"
#include "reports/Report.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/FileSizeLimit.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/ReportPreview.h"

#include <QDir>
#include <QFont>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

using namespace reportfixture;

namespace {

const QDateTime kNow(QDate(2024, 3, 5), QTime(14, 3, 9));
constexpr double kTolerance = 0.5; // mm
constexpr double kMmPerPoint = 25.4 / 72.0;

// One word of a PDF page as poppler extracts it, its box in millimetres from the paper's corner.
struct Word {
    QString text;
    QRectF box;
};
using Page = QList<Word>;

QString buildFile(const QString& name)
{
    const QString dir = qEnvironmentVariable("DORVIK_BUILD_DIR", QDir::currentPath());
    return QDir(dir).filePath(name);
}

QList<Page> readWords(const QString& pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    static const QRegularExpression wordPattern(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<Page> pages;
    for (const QString& chunk : html.split(QStringLiteral("<page "), Qt::SkipEmptyParts).mid(1)) {
        Page page;
        auto it = wordPattern.globalMatch(chunk);
        while (it.hasNext()) {
            const auto m = it.next();
            const QPointF topLeft(m.captured(1).toDouble() * kMmPerPoint, m.captured(2).toDouble() * kMmPerPoint);
            const QPointF bottomRight(m.captured(3).toDouble() * kMmPerPoint, m.captured(4).toDouble() * kMmPerPoint);
            QString text = m.captured(5);
            text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
            page.append({text, QRectF(topLeft, bottomRight)});
        }
        pages.append(page);
    }
    return pages;
}

// Words with this text, in reading order.
QList<Word> find(const Page& page, const QString& text)
{
    QList<Word> found;
    for (const Word& w : page)
        if (w.text == text)
            found.append(w);
    return found;
}

QString dump(const Page& page)
{
    QStringList out;
    for (const Word& w : page)
        out << QStringLiteral("%1@(%2,%3)-(%4,%5)")
                   .arg(w.text)
                   .arg(w.box.left(), 0, 'f', 1)
                   .arg(w.box.top(), 0, 'f', 1)
                   .arg(w.box.right(), 0, 'f', 1)
                   .arg(w.box.bottom(), 0, 'f', 1);
    return out.join(QLatin1Char(' '));
}

enum class Anchor { Left, Centre, Right };

// Empty when the first word with this text stands with its left edge, centre or right edge at x
// and its middle at y (millimetres from the paper's corner); otherwise what is wrong.
QString misplaced(const Page& page, const QString& text, Anchor anchor, double x, double y)
{
    const QList<Word> words = find(page, text);
    if (words.isEmpty())
        return QStringLiteral("no word \"%1\" on the page: %2").arg(text, dump(page));
    const QRectF box = words.first().box;
    const double actualX = anchor == Anchor::Left    ? box.left()
                           : anchor == Anchor::Right ? box.right()
                                                     : box.center().x();
    if (std::abs(actualX - x) > kTolerance || std::abs(box.center().y() - y) > kTolerance)
        return QStringLiteral("\"%1\" at x %2, middle y %3; expected x %4, y %5")
            .arg(text)
            .arg(actualX, 0, 'f', 2)
            .arg(box.center().y(), 0, 'f', 2)
            .arg(x, 0, 'f', 2)
            .arg(y, 0, 'f', 2);
    return {};
}

#define CHECK_AT(page, text, anchor, x, y)                                                                             \
    do {                                                                                                               \
        const QString problem = misplaced(page, text, anchor, x, y);                                                   \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                                              \
    } while (false)

// Page positions: the band's left edge is the 10 mm margin; bands stack from the 10 mm top margin.
constexpr double kLeft = 10.0;
constexpr double kHeaderMiddle = 10.0 + 18.8 + 6.35 / 2;
constexpr double kFirstDetailMiddle = 10.0 + 18.8 + 6.35 + (0.26 + 6.9) / 2; // below the line on top
double summaryMiddle(int linesAbove)
{
    return 10.0 + 18.8 + 6.35 + linesAbove * 6.9 + (0.5 + 6.35) / 2;
}
double columnMiddle(double left, double right)
{
    return kLeft + (left + right) / 2;
}

// The page header that every page repeats.
void checkPageHeader(const Page& page, int number)
{
    // The title is centred over 3.2 to 187.3 and over 3.2 to 11.1 in height.
    const QList<Word> first = find(page, QStringLiteral("蓝"));
    const QList<Word> last = find(page, QStringLiteral("条"));
    QVERIFY2(!first.isEmpty() && !last.isEmpty(), qPrintable(dump(page)));
    const QStringList title = {"蓝", "栎", "工", "资", "条"};
    QStringList read;
    for (const Word& w : page)
        if (title.contains(w.text) && std::abs(w.box.center().y() - first.first().box.center().y()) < 0.1)
            read << w.text;
    QCOMPARE(read, title);
    QVERIFY(std::abs((first.first().box.left() + last.first().box.right()) / 2 - columnMiddle(3.2, 187.3)) <=
            kTolerance);
    QVERIFY(std::abs(first.first().box.center().y() - (kLeft + 3.2 + 7.9 / 2)) <= kTolerance);
    // 14 point glyphs are about 4.9 mm wide, 11 point ones about 3.9 mm.
    QVERIFY(std::abs(first.first().box.width() - 14 * 25.4 / 72) <= 0.3);

    const double line = 10.0 + 13.8;
    const QList<Word> dateLabel = find(page, QStringLiteral("打印日期:"));
    QVERIFY2(!dateLabel.isEmpty(), qPrintable(dump(page)));
    QVERIFY(std::abs(dateLabel.first().box.top() - line) <= kTolerance);
    QVERIFY(std::abs(dateLabel.first().box.left() - (kLeft + 2.1)) <= kTolerance);
    QVERIFY(std::abs(dateLabel.first().box.width() - 4.5 * 11 * 25.4 / 72) <= 0.3);
    const double middle = dateLabel.first().box.center().y();
    CHECK_AT(page, QStringLiteral("2024-03-05"), Anchor::Left, kLeft + 20.1, middle);
    QVERIFY(!find(page, QStringLiteral("14:03:09")).isEmpty());
    CHECK_AT(page, QStringLiteral("第"), Anchor::Left, kLeft + 165.4, middle);
    CHECK_AT(page, QString::number(number), Anchor::Centre, columnMiddle(169.9, 183.9), middle);
    CHECK_AT(page, QStringLiteral("页"), Anchor::Left, kLeft + 184.2, middle);
}

// Whether poppler reports the Song face the program maps 宋体 to.
QString fontsOf(const QString& pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdffonts"), {pdf});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

using testsupport::FileSizeLimit;

} // namespace

class ReportPdfTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void detailReportPdf();
    void monthlyReportPdf();
    void emptyReportPdf();
    void unwritablePathFails();
    void savingReplacesFormerFileOnlyWhenComplete();

private:
    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
};

void ReportPdfTest::initTestCase()
{
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN")});
}

void ReportPdfTest::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
    m_dir->prepareDatabase();
    m_dm = std::make_unique<TDM>();
}

void ReportPdfTest::cleanup()
{
    m_dm.reset();
    QCOMPARE(m_boxes->unexpected(), 0);
    QCOMPARE(m_boxes->takeTexts(), QStringList());
    m_boxes.reset();
    m_dir.reset();
}

void ReportPdfTest::detailReportPdf()
{
    const double total = addRecords(m_dir->dbPath(), 40);
    QVERIFY(openDetail());
    const QString pdf = buildFile(QStringLiteral("report-detail-40rows.pdf"));
    QString error;
    QVERIFY2(toolkit::writeReportPdf(TQuickReport::instance()->Prepare(kNow), pdf, &error), qPrintable(error));
    QVERIFY(fontsOf(pdf).contains(QStringLiteral("UMing")));

    const QList<Page> pages = readWords(pdf);
    QCOMPARE(pages.size(), 2);
    const struct {
        double left;
        double right;
        QString header;
    } columns[] = {
        {1.6, 32.3, "员工名称"},    {35.5, 59.3, "款式号"},     {61.6, 84.4, "工序"},       {86.5, 113.8, "日期"},
        {116.4, 134.7, "数量(件)"}, {137.1, 157.4, "单价(元)"}, {160.1, 188.4, "合计(元)"},
    };
    for (int p = 0; p < 2; ++p) {
        checkPageHeader(pages[p], p + 1);
        if (QTest::currentTestFailed())
            return;
        for (const auto& column : columns)
            CHECK_AT(pages[p], column.header, Anchor::Centre, columnMiddle(column.left, column.right), kHeaderMiddle);
    }

    // The first line of each page, every cell centred in its column.
    const QStringList firstLine = {"工人40", "K-100", "工序2", "2024-02-20", "40", "￥2.250", "￥90.000"};
    for (int c = 0; c < firstLine.size(); ++c)
        CHECK_AT(pages[0], firstLine[c], Anchor::Centre, columnMiddle(columns[c].left, columns[c].right),
                 kFirstDetailMiddle);
    CHECK_AT(pages[1], QStringLiteral("工人05"), Anchor::Centre, columnMiddle(1.6, 32.3), kFirstDetailMiddle);
    CHECK_AT(pages[1], QStringLiteral("工人01"), Anchor::Centre, columnMiddle(1.6, 32.3), kFirstDetailMiddle + 4 * 6.9);
    QVERIFY(find(pages[0], QStringLiteral("工人05")).isEmpty());

    // The summary only after the last line.
    QVERIFY(find(pages[0], QStringLiteral("共")).isEmpty());
    QVERIFY(find(pages[0], QStringLiteral("条数据")).isEmpty());
    const double middle = summaryMiddle(5);
    CHECK_AT(pages[1], QStringLiteral("共"), Anchor::Left, kLeft + 1.3, middle);
    CHECK_AT(pages[1], QStringLiteral("40"), Anchor::Centre, columnMiddle(6.6, 19.3), middle);
    CHECK_AT(pages[1], QStringLiteral("条数据"), Anchor::Left, kLeft + 20.6, middle);
    CHECK_AT(pages[1], QStringLiteral("￥1,545.000"), Anchor::Right, kLeft + 175.9, middle);
    QCOMPARE(toolkit::formatNumber(total, toolkit::kYuanMask), QStringLiteral("￥1,545.000"));
    CHECK_AT(pages[1], QStringLiteral("元"), Anchor::Centre, columnMiddle(176.7, 187.1), middle);
}

void ReportPdfTest::monthlyReportPdf()
{
    addStyle(m_dir->dbPath());
    addRecord(m_dir->dbPath(), 7, 1.5, QStringLiteral("二组"));
    addRecord(m_dir->dbPath(), 12, 2.25);
    addRecord(m_dir->dbPath(), 800, 1.5);
    QVERIFY(openMonth());
    QVERIFY(DM->SalaryMonthQuery->setSort(QStringLiteral("Expr1003 DESC")));
    const QString pdf = buildFile(QStringLiteral("report-month.pdf"));
    QString error;
    QVERIFY2(toolkit::writeReportPdf(TSalaryReport::instance()->Prepare(kNow), pdf, &error), qPrintable(error));

    const QList<Page> pages = readWords(pdf);
    QCOMPARE(pages.size(), 1);
    const Page& page = pages[0];
    checkPageHeader(page, 1);
    if (QTest::currentTestFailed())
        return;
    CHECK_AT(page, QStringLiteral("班组名称"), Anchor::Centre, columnMiddle(7.9, 38.6), kHeaderMiddle);
    CHECK_AT(page, QStringLiteral("车床位"), Anchor::Centre, columnMiddle(57.4, 85.7), kHeaderMiddle);
    CHECK_AT(page, QStringLiteral("员工名称"), Anchor::Centre, columnMiddle(108.2, 132.0), kHeaderMiddle);
    CHECK_AT(page, QStringLiteral("合计(元)"), Anchor::Centre, columnMiddle(155.6, 183.9), kHeaderMiddle);
    // Highest wage first.
    CHECK_AT(page, QStringLiteral("一组"), Anchor::Centre, columnMiddle(7.9, 38.6), kFirstDetailMiddle);
    CHECK_AT(page, QStringLiteral("800"), Anchor::Centre, columnMiddle(57.4, 85.7), kFirstDetailMiddle);
    CHECK_AT(page, QStringLiteral("工人800"), Anchor::Centre, columnMiddle(108.2, 132.0), kFirstDetailMiddle);
    CHECK_AT(page, QStringLiteral("￥1,200.000"), Anchor::Centre, columnMiddle(155.6, 183.9), kFirstDetailMiddle);
    CHECK_AT(page, QStringLiteral("二组"), Anchor::Centre, columnMiddle(7.9, 38.6), kFirstDetailMiddle + 2 * 6.9);

    const double middle = summaryMiddle(3);
    CHECK_AT(page, QStringLiteral("共"), Anchor::Left, kLeft + 1.3, middle);
    CHECK_AT(page, QStringLiteral("3"), Anchor::Centre, columnMiddle(6.6, 19.3), middle);
    CHECK_AT(page, QStringLiteral("条数据"), Anchor::Left, kLeft + 20.6, middle);
    CHECK_AT(page, QStringLiteral("￥1,237.500"), Anchor::Right, kLeft + 175.9, middle);
    CHECK_AT(page, QStringLiteral("元"), Anchor::Left, kLeft + 176.7, middle);
}

void ReportPdfTest::emptyReportPdf()
{
    addStyle(m_dir->dbPath());
    QVERIFY(openDetail());
    const QString pdf = buildFile(QStringLiteral("report-detail-empty.pdf"));
    QVERIFY(toolkit::writeReportPdf(TQuickReport::instance()->Prepare(kNow), pdf));
    const QList<Page> pages = readWords(pdf);
    QCOMPARE(pages.size(), 1);
    checkPageHeader(pages[0], 1);
    if (QTest::currentTestFailed())
        return;
    // One empty line, then the summary.
    const double middle = summaryMiddle(1);
    CHECK_AT(pages[0], QStringLiteral("共"), Anchor::Left, kLeft + 1.3, middle);
    CHECK_AT(pages[0], QStringLiteral("0"), Anchor::Centre, columnMiddle(6.6, 19.3), middle);
    CHECK_AT(pages[0], QStringLiteral("￥0.000"), Anchor::Right, kLeft + 175.9, middle);
}

void ReportPdfTest::unwritablePathFails()
{
    QString error;
    const QString path = m_dir->file(QStringLiteral("no-such-folder/report.pdf"));
    QVERIFY(!toolkit::writeReportPdf(TQuickReport::instance()->Prepare(kNow), path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

// Saving over an existing PDF: a write that fails half way (a full disk) leaves the former file as it
// was and nothing beside it; a complete one replaces it and keeps its access rights.
void ReportPdfTest::savingReplacesFormerFileOnlyWhenComplete()
{
    addRecords(m_dir->dbPath(), 40);
    QVERIFY(openDetail());
    const toolkit::ReportLayout layout = TQuickReport::instance()->Prepare(kNow);
    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("report.pdf"));
    const auto filesInFolder = [&] {
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    QVERIFY(testsupport::writeFile(pdf, "former"));
    const QFile::Permissions rights = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(pdf, rights));

    QString error;
    {
        const FileSizeLimit limit(4096);
        QVERIFY(!toolkit::writeReportPdf(layout, pdf, &error));
    }
    QVERIFY(!error.isEmpty());
    QCOMPARE(testsupport::readFile(pdf), QByteArray("former"));
    QCOMPARE(filesInFolder(), QStringList{QStringLiteral("report.pdf")});

    error.clear();
    QVERIFY2(toolkit::writeReportPdf(layout, pdf, &error), qPrintable(error));
    QVERIFY(testsupport::readFile(pdf).startsWith("%PDF-"));
    QCOMPARE(readWords(pdf).size(), layout.pageCount());
    QCOMPARE(filesInFolder(), QStringList{QStringLiteral("report.pdf")});
    QCOMPARE(QFile::permissions(pdf) & ~(QFile::ReadUser | QFile::WriteUser), rights);
}

QTEST_MAIN(ReportPdfTest)
#include "tst_reportpdf.moc"
