#include "PrintedPdf.h"
#include "data/DataSet.h"
#include "data/SqlText.h"
#include "masterdata/MasterFixture.h"
#include "reports/Query.h"
#include "reports/Slip.h"
#include "toolkit/CapitalAmount.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <functional>

using namespace masterfixture;
using toolkit::ReportLayout;
using toolkit::ReportPlacedElement;

namespace {

const QDate kMarch(2004, 3, 1);
const QDateTime kNow(QDate(2004, 4, 2), QTime(9, 0));
constexpr double kMmPerPoint = 25.4 / 72.0;
constexpr double kLine = 5.0; // height of a slip's line

// One slip as the layout places it.
struct Slip {
    QString worker, team, place, month;
    QStringList lines; // style|step|pieces|price|amount
    QString total, words;
    int firstPage = -1, lastPage = -1;
    double cutLineY = -1.0; // middle of the cut line after the slip, on its last page
};

QList<Slip> slipsOf(const ReportLayout& layout)
{
    QList<Slip> slips;
    for (int p = 0; p < layout.pageCount(); ++p) {
        for (const ReportPlacedElement& e : layout.page(p).elements) {
            if (e.band == slipreport::kHeaderBand) {
                if (e.name == QStringLiteral("Title")) {
                    slips.append(Slip());
                    slips.last().firstPage = p;
                }
                if (slips.isEmpty())
                    continue;
                Slip& s = slips.last();
                if (e.name == QStringLiteral("WorkerName"))
                    s.worker = e.text;
                else if (e.name == QStringLiteral("DeptName"))
                    s.team = e.text;
                else if (e.name == QStringLiteral("Machineid"))
                    s.place = e.text;
                else if (e.name == slipreport::kMonth)
                    s.month = e.text;
            } else if (e.band == slipreport::kDetailBand && !slips.isEmpty()) {
                if (e.name == QStringLiteral("KindId"))
                    slips.last().lines.append(e.text);
                else
                    slips.last().lines.last() += QLatin1Char('|') + e.text;
            } else if (e.band == slipreport::kFooterBand && !slips.isEmpty()) {
                Slip& s = slips.last();
                s.lastPage = p;
                if (e.name == slipreport::kTotal)
                    s.total = e.text;
                else if (e.name == slipreport::kTotalWords)
                    s.words = e.text;
                else if (e.name == slipreport::kCutLine && e.kind == toolkit::ReportElementKind::Rule &&
                         e.shape == toolkit::ReportRuleShape::DashedLine)
                    s.cutLineY = e.rect.center().y();
            }
        }
    }
    return slips;
}

// The detail lines of each slip's group on the pages: every line of a slip on a page between its
// header and its footer.
QList<QPair<int, int>> linePagesOf(const ReportLayout& layout)
{
    QList<QPair<int, int>> pages; // (slip index, page) of every detail line
    int slip = -1;
    for (int p = 0; p < layout.pageCount(); ++p)
        for (const ReportPlacedElement& e : layout.page(p).elements) {
            if (e.band == slipreport::kHeaderBand && e.name == QStringLiteral("Title"))
                ++slip;
            if (e.band == slipreport::kDetailBand && e.name == QStringLiteral("KindId"))
                pages.append({slip, p});
        }
    return pages;
}

// Words of each page of a PDF as poppler extracts them, boxes in millimetres.
struct Word {
    QString text;
    QRectF box;
};
QList<QList<Word>> readWords(const QString& pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    static const QRegularExpression wordPattern(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<QList<Word>> pages;
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    for (const QString& chunk : html.split(QStringLiteral("<page "), Qt::SkipEmptyParts).mid(1)) {
        QList<Word> page;
        auto it = wordPattern.globalMatch(chunk);
        while (it.hasNext()) {
            const auto m = it.next();
            page.append(
                {m.captured(5), QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()) * kMmPerPoint,
                                       QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()) * kMmPerPoint)});
        }
        pages.append(page);
    }
    return pages;
}

QList<Word> wordsOf(const QList<Word>& page, const QString& text)
{
    QList<Word> found;
    for (const Word& w : page)
        if (w.text == text)
            found.append(w);
    return found;
}

enum class Edge { Left, Centre, Right };

// Whether a word with this text has its left edge, centre or right edge at x and its middle at y.
bool standsAt(const QList<Word>& page, const QString& text, Edge edge, double x, double y)
{
    return std::any_of(page.begin(), page.end(), [&](const Word& w) {
        const double wx = edge == Edge::Left ? w.box.left() : edge == Edge::Right ? w.box.right() : w.box.center().x();
        return w.text == text && std::abs(wx - x) < 0.5 && std::abs(w.box.center().y() - y) < 0.5;
    });
}

} // namespace

// Wage slips: the slips of a month over a workshop of edge cases, their totals against the month's
// wage summary, their packing on pages, the PDF, and the buttons of the query window.
class TestWageSlip : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void slipsMatchTheMonthSummary();
    void namesDifferingInCaseShareOneSlip();
    void slipsPackWholeOnPagesWithCutLines();
    void pdfShowsEachSlipInPlace();
    void summaryPageButtonPrintsEverySlip();
    void workerPageButtonPrintsTheSearchedWorker();

private:
    void addRecord(const QString& dept, int machine, const QString& worker, const QString& kind, int step, int count,
                   const QVariant& price, const QString& date = QStringLiteral("2004-03-10")) const
    {
        env->exec(QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                                 "ProcessName, ProcessSize, ProductCount, ProcessPrice, ProcessDate) "
                                 "VALUES (?,?,?,?,'衬衫',?,'步骤',0,?,?,?)"),
                  {dept, machine, worker, kind, QStringLiteral("工序%1").arg(step), count, price, date});
    }
    void addStep(const QString& kind, int step, double price) const
    {
        env->exec(QStringLiteral("INSERT INTO Process (Process, ProcessName, ProductId, Price) VALUES (?,'步骤',?,?)"),
                  {QStringLiteral("工序%1").arg(step), kind, price});
    }
    // The month summary's wage of every worker, team and place as the wage list shows it.
    QHash<QString, double> summary(const QDate& month) const
    {
        QHash<QString, double> wages;
        const QList<QVariantList> rows =
            env->rows(querysql::summaryMonth(testsupport::onServer() ? data::Dialect::Postgres : data::Dialect::Sqlite),
                      {MonthStart(month), NextMonthStart(month)});
        for (const QVariantList& row : rows)
            wages.insert(row.at(2).toString() + '/' + row.at(0).toString() + '/' + row.at(1).toString(),
                         row.at(3).toDouble());
        return wages;
    }
    // The text of the PDF the preview saves, one entry per line.
    QStringList printedLines(QPushButton* button);

    std::unique_ptr<Env> env;
    QPointer<TQueryForm> form;
};

void TestWageSlip::initTestCase()
{
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                                        QStringLiteral("WenQuanYi Zen Hei")});
}

void TestWageSlip::init()
{
    env = std::make_unique<Env>();
    MachineWorkerName.clear();
    const qlonglong one = env->addTeam(QStringLiteral("一组"));
    const qlonglong two = env->addTeam(QStringLiteral("二组"));
    env->addWorker(QStringLiteral("张三"), one, QStringLiteral("1"));
    env->addWorker(QStringLiteral("李四"), one, QStringLiteral("2"));
    env->addWorker(QStringLiteral("王五"), two, QStringLiteral("1"));
    env->exec(QStringLiteral("INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                             "VALUES ('K-01', 10, '衬衫', 100, '2004-01-10')"));
    addStep(QStringLiteral("K-01"), 1, 1.5);
    addStep(QStringLiteral("K-01"), 2, 2.25);
    addStep(QStringLiteral("K-01"), 3, 0.5);
    addStep(QStringLiteral("K-01"), 10, 0.1);
    addStep(QStringLiteral("K-99"), 1, 2.0); // a style without its style row

    const QString one1 = QStringLiteral("一组");
    const QString two2 = QStringLiteral("二组");
    addRecord(one1, 1, "张三", "K-01", 1, 10, 1.5);
    addRecord(one1, 1, "张三", "K-01", 1, 5, 1.5, "2004-03-31");
    addRecord(one1, 1, "张三", "K-01", 10, 3, 0.105);
    addRecord(one1, 1, "张三", "K-01", 2, 4, 2.25);
    addRecord(one1, 1, "张三", "K-01", 1, 7, 1.5, "2004-04-01"); // the next month
    addRecord(one1, 1, "张三", "K-01", 1, 9, 1.5, "2004-02-29"); // the month before
    addRecord(two2, 5, "张三", "K-01", 1, 2, 1.5);               // the same name in another team
    addRecord(one1, 2, "李四", "K-01", 3, 20, QVariant());       // unpriced
    addRecord(one1, 2, "李四", "K-01", 3, 6, 0.5);
    addRecord(one1, 2, "李四", "K-99", 1, 8, 2.0);
    addRecord(one1, 2, "李四", "K-01", 9, 100, 1.0); // no step row: not counted
    addRecord(two2, 1, "王五", "K-01", 1, 1, 0.005);
    addRecord(two2, 1, "王五", "K-01", 2, 40000, 2.5);
}

void TestWageSlip::cleanup()
{
    delete form;
    QCOMPARE(env->boxes.unexpected(), 0);
    QCOMPARE(env->boxes.takeTexts(), QStringList());
    env.reset();
}

void TestWageSlip::slipsMatchTheMonthSummary()
{
    TSlipReport* report = TSlipReport::instance();
    QVERIFY(report->load(kMarch));
    const QList<Slip> slips = slipsOf(report->Prepare(kNow));

    // One line per style, step and price, pieces summed, in step order; an unpriced line is empty.
    struct Expected {
        QString key;
        QStringList lines;
        QString total;
        QString words;
    };
    const QList<Expected> expected = {
        {"张三/一组/1",
         {"K-01|工序1|15|￥1.500|￥22.500", "K-01|工序2|4|￥2.250|￥9.000", "K-01|工序10|3|￥0.105|￥0.315"},
         "￥31.815",
         "叁拾壹圆捌角贰分"},
        {"张三/二组/5", {"K-01|工序1|2|￥1.500|￥3.000"}, "￥3.000", "叁圆整"},
        {"李四/一组/2",
         {"K-01|工序3|20||", "K-01|工序3|6|￥0.500|￥3.000", "K-99|工序1|8|￥2.000|￥16.000"},
         "￥19.000",
         "壹拾玖圆整"},
        {"王五/二组/1",
         {"K-01|工序1|1|￥0.005|￥0.005", "K-01|工序2|40000|￥2.500|￥100,000.000"},
         "￥100,000.005",
         "壹拾万圆零壹分"},
    };
    QCOMPARE(slips.size(), expected.size());
    const QHash<QString, double> wages = summary(kMarch);
    QCOMPARE(wages.size(), slips.size());
    for (int i = 0; i < slips.size(); ++i) {
        const Slip& s = slips.at(i);
        const QString key = s.worker + '/' + s.team + '/' + s.place;
        QCOMPARE(key, expected.at(i).key);
        QCOMPARE(s.month, QStringLiteral("2004年03月"));
        QCOMPARE(s.lines, expected.at(i).lines);
        QCOMPARE(s.total, expected.at(i).total);
        QCOMPARE(s.words, expected.at(i).words);
        // The wage list's figure of the same worker, team and place, to the fen and beyond.
        QVERIFY2(wages.contains(key), qPrintable(key));
        QCOMPARE(s.total, toolkit::formatNumber(wages.value(key), toolkit::kYuanMask));
        QCOMPARE(s.words, toolkit::capitalAmount(wages.value(key)));
    }

    // One worker's name only: both of his teams, nobody else.
    QVERIFY(report->load(kMarch, QStringLiteral("张三")));
    const QList<Slip> his = slipsOf(report->Prepare(kNow));
    QCOMPARE(his.size(), 2);
    QCOMPARE(his.at(0).total, QStringLiteral("￥31.815"));
    QCOMPARE(his.at(1).total, QStringLiteral("￥3.000"));

    // Another month: only its records.
    QVERIFY(report->load(QDate(2004, 4, 1)));
    const QList<Slip> april = slipsOf(report->Prepare(kNow));
    QCOMPARE(april.size(), 1);
    QCOMPARE(april.at(0).lines, QStringList{"K-01|工序1|7|￥1.500|￥10.500"});
    QCOMPARE(april.at(0).month, QStringLiteral("2004年04月"));
}

// The database takes "Ann" and "ANN" for one name: the summary has one row, so one slip, whichever
// spelling each line carries.
void TestWageSlip::namesDifferingInCaseShareOneSlip()
{
    const QString date = QStringLiteral("2004-07-02");
    addRecord(QStringLiteral("一组"), 7, QStringLiteral("Ann"), QStringLiteral("K-01"), 1, 2, 1.5, date);
    addRecord(QStringLiteral("一组"), 7, QStringLiteral("ANN"), QStringLiteral("K-01"), 2, 4, 2.25, date);
    TSlipReport* report = TSlipReport::instance();
    QVERIFY(report->load(QDate(2004, 7, 1)));
    const QList<Slip> slips = slipsOf(report->Prepare(kNow));
    QCOMPARE(summary(QDate(2004, 7, 1)).size(), 1);
    QCOMPARE(slips.size(), 1);
    QCOMPARE(slips.at(0).lines.size(), 2);
    QCOMPARE(slips.at(0).total, QStringLiteral("￥12.000"));
}

// Slips of 1 to 12 lines: several to a page, none split, each followed by its cut line; a slip longer
// than a page is split where it falls.
void TestWageSlip::slipsPackWholeOnPagesWithCutLines()
{
    const QDate may(2004, 5, 1);
    for (int w = 1; w <= 14; ++w)
        for (int line = 1; line <= 1 + (w * 5) % 12; ++line)
            addRecord(QStringLiteral("一组"), w, QStringLiteral("工人%1").arg(w, 2, 10, QLatin1Char('0')),
                      QStringLiteral("K-01"), line % 2 ? 1 : 2, line, 1.0 + line, QStringLiteral("2004-05-03"));
    for (int line = 1; line <= 50; ++line) // one slip longer than a page, last in name order
        addRecord(QStringLiteral("一组"), 99, QStringLiteral("工人99"), QStringLiteral("K-01"), 1, 1, 0.01 * line,
                  QStringLiteral("2004-05-04"));
    TSlipReport* report = TSlipReport::instance();
    QVERIFY(report->load(may));
    const ReportLayout layout = report->Prepare(kNow);
    const QList<Slip> slips = slipsOf(layout);
    QCOMPARE(slips.size(), 15);
    QVERIFY2(layout.pageCount() >= 3, qPrintable(QString::number(layout.pageCount())));

    const QList<QPair<int, int>> linePages = linePagesOf(layout);
    const double pageBottom = layout.paperSize().height() - layout.settings().bottomMargin;
    QList<int> slipsPerPage(layout.pageCount(), 0);
    for (int i = 0; i < 14; ++i) {
        const Slip& s = slips.at(i);
        QCOMPARE(s.lastPage, s.firstPage);
        for (const auto& [slip, page] : linePages)
            if (slip == i)
                QCOMPARE(page, s.firstPage);
        QVERIFY2(s.cutLineY > 0.0 && s.cutLineY < pageBottom, qPrintable(s.worker));
        ++slipsPerPage[s.firstPage];
        // Moved to the next page only because it did not fit in the rest of the page.
        if (i > 0 && s.firstPage != slips.at(i - 1).firstPage) {
            const int lines = s.lines.size();
            const double height = 24.0 + lines * kLine + 19.0;
            const double below = slips.at(i - 1).cutLineY + 2.0; // the bottom of the slip before
            QVERIFY2(below + height > pageBottom, qPrintable(s.worker));
        }
    }
    QVERIFY2(slipsPerPage.at(0) >= 3, qPrintable(QString::number(slipsPerPage.at(0))));
    // The long slip starts under the one before it and runs on to the next page.
    const Slip& last = slips.at(14);
    QCOMPARE(last.worker, QStringLiteral("工人99"));
    QCOMPARE(last.firstPage, slips.at(13).lastPage);
    QVERIFY(last.lastPage > last.firstPage);
    QCOMPARE(last.lines.size(), 50);
}

void TestWageSlip::pdfShowsEachSlipInPlace()
{
    TSlipReport* report = TSlipReport::instance();
    QVERIFY(report->load(kMarch));
    const QString pdf = QDir(qEnvironmentVariable("DORVIK_BUILD_DIR", QDir::currentPath()))
                            .filePath(QStringLiteral("report-slips.pdf"));
    QString error;
    QVERIFY2(toolkit::writeReportPdf(report->Prepare(kNow), pdf, &error), qPrintable(error));
    const QList<QList<Word>> pages = readWords(pdf);
    QCOMPARE(pages.size(), 1);
    const QList<Word>& page = pages.at(0);

    // Four slips one under the other: name, team and place on the slip's second line, left-aligned.
    const QList<Word> nameLabels = wordsOf(page, QStringLiteral("姓名:"));
    QCOMPARE(nameLabels.size(), 4);
    const double tops[] = {10.0, 10.0 + 24 + 3 * kLine + 19, 10.0 + 2 * (24 + 19) + 4 * kLine,
                           10.0 + 3 * (24 + 19) + 7 * kLine};
    const QString names[] = {"张三", "张三", "李四", "王五"};
    const QString totals[] = {"￥31.815", "￥3.000", "￥19.000", "￥100,000.005"};
    const QString words[] = {"叁拾壹圆捌角贰分", "叁圆整", "壹拾玖圆整", "壹拾万圆零壹分"};
    const int lineCounts[] = {3, 1, 3, 2};
    for (int i = 0; i < 4; ++i) {
        const double middle = tops[i] + 10.0 + 2.5;
        QVERIFY2(std::abs(nameLabels.at(i).box.center().y() - middle) < 0.5,
                 qPrintable(QString::number(nameLabels.at(i).box.center().y())));
        QVERIFY(std::abs(nameLabels.at(i).box.left() - 12.0) < 0.5);
        QVERIFY2(standsAt(page, names[i], Edge::Left, 24.0, middle), qPrintable(names[i]));
        // Every slip has its own column headings.
        QVERIFY(standsAt(page, QStringLiteral("款式号"), Edge::Centre, 10.0 + 20.0, tops[i] + 20.0));
        QVERIFY(standsAt(page, QStringLiteral("金额(元)"), Edge::Centre, 10.0 + 162.5, tops[i] + 20.0));
        // The total right-aligned under the amounts, the capital numerals after "大写:".
        const double footer = tops[i] + 24.0 + lineCounts[i] * kLine;
        QVERIFY2(standsAt(page, totals[i], Edge::Right, 10.0 + 185.0, footer + 1.5 + 2.5), qPrintable(totals[i]));
        QVERIFY2(standsAt(page, words[i], Edge::Left, 24.0, footer + 7.5 + 2.5), qPrintable(words[i]));
    }
    // Amounts right-aligned in their column, the unpriced line without price or amount.
    QVERIFY(standsAt(page, QStringLiteral("￥22.500"), Edge::Right, 195.0, 10.0 + 24.0 + kLine / 2));
    QVERIFY(standsAt(page, QStringLiteral("￥1.500"), Edge::Right, 150.0, 10.0 + 24.0 + kLine / 2));
    const QList<Word> unpriced = wordsOf(page, QStringLiteral("20"));
    QCOMPARE(unpriced.size(), 1);
    for (const Word& w : page)
        if (std::abs(w.box.center().y() - unpriced.first().box.center().y()) < 0.5)
            QVERIFY2(!w.text.startsWith(QStringLiteral("￥")), qPrintable(w.text));
}

QStringList TestWageSlip::printedLines(QPushButton* button)
{
    QStringList lines;
    for (const QString& line :
         printedpdf::printedLines([&] { click(button); }, env->dir.file(QStringLiteral("slips.pdf"))))
        if (!line.simplified().isEmpty())
            lines << line.simplified();
    return lines;
}

// Lines of the printed slips that name a slip's worker, team and place, or its total.
QStringList slipHeads(const QStringList& lines)
{
    QStringList heads;
    for (const QString& line : lines)
        if (line.startsWith(QStringLiteral("姓名:")) || line.startsWith(QStringLiteral("合计:")))
            heads << line;
    return heads;
}

void TestWageSlip::summaryPageButtonPrintsEverySlip()
{
    form = new TQueryForm;
    form->show();
    form->RzPage->setCurrentIndex(5);
    QCOMPARE(form->SalarySlip_print->text(), QStringLiteral("工资条"));
    form->year_edit_s->setValue(2004);
    form->month_edit_s->setValue(3);
    QCOMPARE(slipHeads(printedLines(form->SalarySlip_print)),
             (QStringList{"姓名: 张三 班组: 一组 车位: 1 月份: 2004年03月", "合计: ￥31.815",
                          "姓名: 张三 班组: 二组 车位: 5 月份: 2004年03月", "合计: ￥3.000",
                          "姓名: 李四 班组: 一组 车位: 2 月份: 2004年03月", "合计: ￥19.000",
                          "姓名: 王五 班组: 二组 车位: 1 月份: 2004年03月", "合计: ￥100,000.005"}));

    // A month without records says so and opens no preview.
    form->month_edit_s->setValue(6);
    click(form->SalarySlip_print);
    QCOMPARE(env->boxes.takeTexts(), QStringList{QStringLiteral("对不起，所选月份没有计件数据!")});
}

void TestWageSlip::workerPageButtonPrintsTheSearchedWorker()
{
    form = new TQueryForm;
    form->show();
    QCOMPARE(form->RzPage->currentIndex(), 0);
    QCOMPARE(form->WorkerSlip_print->text(), QStringLiteral("工资条"));
    form->slip_year_edit->setValue(2004);
    form->slip_month_edit->setValue(3);

    // Nothing chosen: the search's own message.
    click(form->WorkerSlip_print);
    QCOMPARE(env->boxes.takeTexts(), QStringList{QStringLiteral("对不起，请选择查询条件!")});

    // The worker at a team's place: every slip of his name in the month.
    form->Dept_ComboBox->setCurrentIndex(form->Dept_ComboBox->findText(QStringLiteral("一组")));
    form->Machine_ComboBox->setCurrentIndex(form->Machine_ComboBox->findText(QStringLiteral("1")));
    QCOMPARE(MachineWorkerName, QStringLiteral("张三"));
    QCOMPARE(slipHeads(printedLines(form->WorkerSlip_print)),
             (QStringList{"姓名: 张三 班组: 一组 车位: 1 月份: 2004年03月", "合计: ￥31.815",
                          "姓名: 张三 班组: 二组 车位: 5 月份: 2004年03月", "合计: ￥3.000"}));

    // A name from the list, in another month.
    form->W_Radio->setChecked(true);
    form->WorkerName_ComboBox->setCurrentIndex(form->WorkerName_ComboBox->findText(QStringLiteral("李四")));
    QCOMPARE(slipHeads(printedLines(form->WorkerSlip_print)),
             (QStringList{"姓名: 李四 班组: 一组 车位: 2 月份: 2004年03月", "合计: ￥19.000"}));
    form->slip_month_edit->setValue(4);
    click(form->WorkerSlip_print);
    QCOMPARE(env->boxes.takeTexts(), QStringList{QStringLiteral("对不起，所选月份没有计件数据!")});
}

QTEST_MAIN(TestWageSlip)
#include "tst_wageslip.moc"
