#include "reports/Query.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/Sql.h"
#include "data/SqlText.h"
#include "reports/Month.h"
#include "reports/Report.h"
#include "reports/Slip.h"
#include "toolkit/DataGrid.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/Fonts.h"
#include "toolkit/MessageBox.h"
#include "toolkit/MonthSpinEdit.h"
#include "toolkit/ReportPreview.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <cmath>

TQueryForm* QueryForm = nullptr;
QString MachineWorkerName;

namespace querysql {

const QString kDetail = QStringLiteral(
    "Select a.id,a.DeptName,a.Machineid,a.WorkerName,a.KindId,a.KindName,a.Process,a.ProcessName,a.ProcessSize,"
    "a.ProductCount ,a.ProcessPrice ,a.productCount*a.ProcessPrice AS Expr1011,c.ProductDate,a.ProcessDate "
    "From Salary a,Process b,Product c Where a.KindId=b.ProductId And a.Process=b.Process And a.KindId=c.Kind");

// A month's records are found through the date index; the grouping terms keep the index in grouping
// order, which would walk every record, from being taken for the grouping.
QString summaryMonth(data::Dialect dialect)
{
    return QStringLiteral(
               "SELECT a.DeptName, a.Machineid, a.WorkerName, sum(a.productCount*a.ProcessPrice) AS Expr1003 "
               "FROM Salary a, Process b Where a.KindId=b.ProductId And a.Process=b.Process "
               "And a.ProcessDate>=? And a.ProcessDate<? GROUP BY ") +
           QStringList{data::unindexedTerm(dialect, QStringLiteral("a.WorkerName")),
                       data::unindexedTerm(dialect, QStringLiteral("a.DeptName")),
                       data::unindexedTerm(dialect, QStringLiteral("a.Machineid"))}
               .join(QStringLiteral(", ")) +
           QStringLiteral(" Order By 4 Desc");
}

const QString kSummaryAll = QStringLiteral(
    "SELECT a.DeptName, a.Machineid, a.WorkerName, sum(a.productCount*a.ProcessPrice) AS Expr1003 FROM Salary a, "
    "Process b Where a.KindId=b.ProductId And a.Process=b.Process "
    "GROUP BY a.WorkerName, a.DeptName, a.Machineid Order By 4 Desc");

const QString kSummaryListPrice = QStringLiteral(
    "SELECT a.DeptName, a.Machineid, a.WorkerName, sum(a.productCount*b.Price) AS Expr1003 FROM Salary a, "
    "Process b Where a.KindId=b.ProductId And a.Process=b.Process "
    "GROUP BY a.WorkerName, a.DeptName, a.Machineid");

} // namespace querysql

namespace {

using querysql::kDetail;

const QString kDetailWorkerSql = kDetail + QStringLiteral(" And a.WorkerName=?");
const QString kDetailKindStepSql = kDetail + QStringLiteral(" And a.KindId=? And a.Process=?");
const QString kDetailKindSql = kDetail + QStringLiteral(" And a.KindId=?");
const QString kDetailDeptSql = kDetail + QStringLiteral(" And a.DeptName=?");
const QString kDetailMonthSql = kDetail + QStringLiteral(" And a.ProcessDate>=? And a.ProcessDate<?");
const QString kDetailWorkerMonthSql =
    kDetail + QStringLiteral(" And a.WorkerName=? And a.ProcessDate>=? And a.ProcessDate<?");

// The quick search: a record matches when one of ten columns contains the text. A number is
// matched in the form the user reads it: a whole number without ".0".
QString containsTerm(const QString& column)
{
    return column + QStringLiteral(" like ?") + kLikeEscape;
}
QString quickSearchSql(data::Dialect dialect)
{
    return kDetail + QStringLiteral(" And (") +
           QStringList{containsTerm(QStringLiteral("a.DeptName")),
                       containsTerm(data::asText(dialect, QStringLiteral("a.Machineid"))),
                       containsTerm(QStringLiteral("a.WorkerName")),
                       containsTerm(QStringLiteral("a.KindId")),
                       containsTerm(QStringLiteral("a.KindName")),
                       containsTerm(QStringLiteral("a.Process")),
                       containsTerm(QStringLiteral("a.ProcessName")),
                       containsTerm(data::wholeNumberText(dialect, QStringLiteral("a.ProcessSize"))),
                       containsTerm(data::asText(dialect, QStringLiteral("a.ProductCount"))),
                       containsTerm(data::wholeNumberText(dialect, QStringLiteral("b.Price")))}
               .join(QStringLiteral(" Or ")) +
           QStringLiteral(")");
}
constexpr int kQuickSearchTerms = 10;

// Look-ups and drop-down lists.
const QString kDeptNamesSql = QStringLiteral("Select DeptName From Dept Order by id");
const QString kWorkerNamesSql = QStringLiteral("Select WorkerName From Worker Order by id");
const QString kKindsSql = QStringLiteral("Select Kind From Product Order by Kind Desc");
const QString kStyleStepsSql = QStringLiteral("Select KindName,Process From Product Where Kind=?");

// A typical long value of each detail column, to size the columns by.
const QHash<QString, QString> kDetailSamples{
    {QStringLiteral("DeptName"), QStringLiteral("缝纫六组")},
    {QStringLiteral("Machineid"), QStringLiteral("100")},
    {QStringLiteral("WorkerName"), QStringLiteral("欧阳建国")},
    {QStringLiteral("KindId"), QStringLiteral("LYQ1083")},
    {QStringLiteral("KindName"), QStringLiteral("儿童加厚连衣裙")},
    {QStringLiteral("Process"), QStringLiteral("工序15")},
    {QStringLiteral("ProcessName"), QStringLiteral("上拉链")},
    {QStringLiteral("ProcessDate"), QStringLiteral("2004-03-31")},
    {QStringLiteral("ProcessSize"), QStringLiteral("185")},
    {QStringLiteral("ProductCount"), QStringLiteral("99999999")},
    {QStringLiteral("ProcessPrice"), QStringLiteral("￥99.999")},
    {QStringLiteral("Expr1011"), QStringLiteral("￥9,999,999.999")},
};

const QString kNoWorkerAtMachine = QStringLiteral("对不起，此车位并没有分配人员!");
const QString kChooseCondition = QStringLiteral("对不起，请选择查询条件!");
const QString kStepPrefix = QStringLiteral("工序");
constexpr int kMachinePlaces = 100;

// Client area, grid area and the two rows of controls below it (page coordinates).
constexpr int kWidth = 787;
constexpr int kHeight = 455;
constexpr int kGridWidth = 776;
constexpr int kGridHeight = 379;
constexpr int kRow1 = kGridHeight + 2;
constexpr int kRow2 = kGridHeight + 25;
constexpr int kOneRow = kGridHeight + 12; // the pages with one row of controls
constexpr int kRowHeight = 22;

// The wait cursor while a statement that may take a while runs over a large table.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

QComboBox* makeList(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    list->setGeometry(geometry);
    list->setFont(toolkit::songFont(12));
    list->setMaxVisibleItems(20);
    return list;
}

// Empties a drop-down list and fills it with texts, nothing chosen; the list's change handler does
// not run for it.
void fillList(QComboBox* list, const QStringList& texts)
{
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(texts);
    list->setCurrentIndex(-1);
}

// The first column of every row of a statement on DmQuery; empty when it failed.
QStringList firstColumn(const QString& sql)
{
    QStringList texts;
    if (!OpenQuery(DM->DmQuery, sql))
        return texts;
    data::DataSet* set = DM->DmQuery;
    texts.reserve(set->recordCount());
    for (int row = 0; row < set->recordCount(); ++row)
        texts << set->value(row, 0).toString();
    return texts;
}

QStringList machinePlaces()
{
    QStringList places;
    for (int i = 1; i <= kMachinePlaces; ++i)
        places << QString::number(i);
    return places;
}

QSpinBox* makeSpin(QWidget* parent, const QString& name, const QRect& geometry, int low, int high, int value,
                   bool month)
{
    QSpinBox* spin = month ? new toolkit::MonthSpinEdit(parent) : new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setGeometry(geometry);
    spin->setRange(low, high);
    spin->setValue(value);
    return spin;
}

// Column widths in the proportions of the design widths, filling the grid's width. A column with
// a least width (its title and a typical value whole) gets at least that much; the others share
// the rest in their proportions. When the least widths alone exceed the width, the grid scrolls.
void fitColumns(toolkit::DataGrid* grid, int available, const QHash<int, int>& least = {})
{
    QList<int> shared;
    for (int c = 0; c < grid->gridColumnCount(); ++c)
        if (grid->gridColumn(c).visible)
            shared << c;
    // Pin every column whose share falls below its least width, until the shares of the others
    // all reach theirs.
    bool pinned = true;
    while (pinned && !shared.isEmpty()) {
        pinned = false;
        int total = 0;
        for (int c : shared)
            total += grid->gridColumn(c).width;
        if (total <= 0)
            return;
        for (int c : QList<int>(shared)) {
            const int leastWidth = least.value(c, 0);
            if (grid->gridColumn(c).width * std::max(available, 0) / total < leastWidth) {
                grid->setColumnWidth(c, leastWidth);
                shared.removeOne(c);
                available -= leastWidth;
                pinned = true;
            }
        }
    }
    int total = 0;
    for (int c : shared)
        total += grid->gridColumn(c).width;
    int used = 0;
    for (int c : shared) {
        const int width = total > 0 ? grid->gridColumn(c).width * available / total : 0;
        grid->setColumnWidth(c, width);
        used += width;
    }
    if (!shared.isEmpty())
        grid->setColumnWidth(shared.last(), grid->columnWidth(shared.last()) + available - used);
}

// The least width of each column: its title and a typical long value whole, in the grid's font.
QHash<int, int> leastWidths(const toolkit::DataGrid* grid, const QHash<QString, QString>& samples)
{
    constexpr int kCellPadding = 10; // the cell's margins and the grid line
    const QFontMetrics cells = grid->fontMetrics();
    const QFontMetrics titles(grid->horizontalHeader()->font());
    QHash<int, int> least;
    for (int c = 0; c < grid->gridColumnCount(); ++c) {
        const toolkit::GridColumn& column = grid->gridColumn(c);
        least[c] =
            std::max(titles.horizontalAdvance(column.title), cells.horizontalAdvance(samples.value(column.fieldName))) +
            kCellPadding;
    }
    return least;
}

} // namespace

TQueryForm::TQueryForm(QWidget* parent) : toolkit::ChildWindow(parent)
{
    QueryForm = this;
    setObjectName(QStringLiteral("QueryForm"));
    setWindowTitle(QStringLiteral("查询统计"));
    setDesignedSize(kWidth, kHeight);

    RzPage = new QTabWidget(this);
    RzPage->setObjectName(QStringLiteral("RzPage"));
    RzPage->setGeometry(0, 0, kWidth, kHeight);
    const auto addPage = [this](const char* name, const QString& caption) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(name));
        RzPage->addTab(page, caption);
        return page;
    };
    WorkerSheet = addPage("WorkerSheet", QStringLiteral("按员工查询"));
    KindSheet = addPage("KindSheet", QStringLiteral("按款式号查询"));
    DeptSheet = addPage("DeptSheet", QStringLiteral("按班组查询"));
    QSearchSheet = addPage("QSearchSheet", QStringLiteral("快速查询"));
    MonthSheet = addPage("MonthSheet", QStringLiteral("月度统计细表"));
    SalaryMonth_Sheet = addPage("SalaryMonth_Sheet", QStringLiteral("工资月度统计"));
    buildWorkerPage();
    buildKindPage();
    buildDeptPage();
    buildQuickPage();
    buildMonthPage();
    buildSummaryPage();
    buildSlipControls();
    buildGrids();
    buildOverClaimPage();
    RzPage->setCurrentWidget(WorkerSheet);
    connect(RzPage, &QTabWidget::currentChanged, this, &TQueryForm::RzPageChange);

    FormCreate();
}

TQueryForm::~TQueryForm()
{
    if (QueryForm == this)
        QueryForm = nullptr;
}

Qt::WindowFlags TQueryForm::frameFlags() const
{
    return Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowMinimizeButtonHint;
}

void TQueryForm::buildGrids()
{
    // The grids belong to the window and lie over the upper part of every page, under the tabs.
    const int top = RzPage->tabBar()->sizeHint().height() + 2;
    const auto center = Qt::AlignCenter;
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    const QString yuan = toolkit::kYuanMask;
    const QString date = QStringLiteral("yyyy-MM-dd");
    const auto makeGrid = [this, top](const char* name, data::DataSource* source) {
        auto* grid = new toolkit::DataGrid(this);
        grid->setObjectName(QString::fromLatin1(name));
        grid->setGeometry((kWidth - kGridWidth) / 2, top, kGridWidth, kGridHeight);
        grid->setFont(toolkit::songFont(12));
        grid->setRowSelect(true);
        grid->setMultiSelect(true);
        grid->setDataSource(source);
        return grid;
    };

    SalaryGrid = makeGrid("SalaryGrid", DM->SalarySource);
    SalaryGrid->setColumns({
        {.fieldName = QStringLiteral("DeptName"), .title = QStringLiteral("班组名称"), .width = 82},
        {.fieldName = QStringLiteral("Machineid"), .title = QStringLiteral("车床位"), .width = 71},
        {.fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("员工名称"), .width = 90},
        {.fieldName = QStringLiteral("KindId"), .title = QStringLiteral("款式号"), .width = 62},
        {.fieldName = QStringLiteral("KindName"), .title = QStringLiteral("款式名称"), .width = 79},
        {.fieldName = QStringLiteral("Process"), .title = QStringLiteral("工序号"), .width = 69},
        {.fieldName = QStringLiteral("ProcessName"), .title = QStringLiteral("工序名称"), .width = 79},
        {.fieldName = QStringLiteral("ProcessDate"),
         .title = QStringLiteral("完成日期"),
         .width = 78,
         .displayMask = date},
        {.fieldName = QStringLiteral("ProcessSize"),
         .title = QStringLiteral("码数"),
         .width = 45,
         .displayMask = QStringLiteral("0"),
         .alignment = center},
        {.fieldName = QStringLiteral("ProductCount"),
         .title = QStringLiteral("数量"),
         .width = 53,
         .displayMask = QStringLiteral("0"),
         .alignment = right,
         .footerSum = true},
        {.fieldName = QStringLiteral("ProcessPrice"),
         .title = QStringLiteral("价格"),
         .width = 61,
         .displayMask = yuan,
         .alignment = right},
        {.fieldName = QStringLiteral("Expr1011"),
         .title = QStringLiteral("合计"),
         .width = 81,
         .displayMask = yuan,
         .alignment = right,
         .footerSum = true,
         .footerMask = yuan},
        {.fieldName = QStringLiteral("ProductDate"),
         .title = QStringLiteral("产品日期"),
         .width = 95,
         .displayMask = date,
         .visible = false},
    });

    SalaryMonthGrid = makeGrid("SalaryMonthGrid", DM->SalaryMonth);
    SalaryMonthGrid->setColumns({
        {.fieldName = QStringLiteral("DeptName"), .title = QStringLiteral("班组名称"), .width = 82},
        {.fieldName = QStringLiteral("Machineid"), .title = QStringLiteral("车床位"), .width = 71},
        {.fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("员工名称"), .width = 90},
        {.fieldName = QStringLiteral("Expr1003"),
         .title = QStringLiteral("工资"),
         .width = 66,
         .displayMask = yuan,
         .alignment = right,
         .footerSum = true,
         .footerMask = yuan},
    });

    // The columns share the grid's width in the proportions of their design widths (the width
    // less the frame, the row indicator and a vertical scroll bar).
    const int available = kGridWidth - 4 - 12 - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // Every title and a typical long value stay whole: a style name of seven characters, the dates,
    // the footer totals of a large workshop.
    fitColumns(SalaryGrid, available, leastWidths(SalaryGrid, kDetailSamples));
    fitColumns(SalaryMonthGrid, available);
    SalaryMonthGrid->hide();
}

void TQueryForm::addPageButtons(QWidget* page, int y, QPushButton** search, const QString& searchName,
                                QPushButton** refresh, const QString& refreshName, QPushButton** print,
                                const QString& printName, QPushButton** exit, const QString& exitName)
{
    const int width = 76;
    const int gap = 8;
    int x = kGridWidth - 4 * width - 3 * gap;
    *search = toolkit::makePushButton(page, searchName, QStringLiteral("查询"), QRect(x, y - 1, width, kRowHeight + 2));
    x += width + gap;
    *refresh =
        toolkit::makePushButton(page, refreshName, QStringLiteral("刷新"), QRect(x, y - 1, width, kRowHeight + 2));
    x += width + gap;
    *print = toolkit::makePushButton(page, printName, QStringLiteral("打印"), QRect(x, y - 1, width, kRowHeight + 2));
    x += width + gap;
    *exit = toolkit::makeExitButton(page, QRect(x, y - 1, width, kRowHeight + 2));
    (*exit)->setObjectName(exitName);
    connect(*exit, &QPushButton::clicked, this, &TQueryForm::cmdExitClick);
}

void TQueryForm::buildWorkerPage()
{
    QWidget* page = WorkerSheet;
    M_Radio = new QRadioButton(page);
    M_Radio->setObjectName(QStringLiteral("M_Radio"));
    M_Radio->setGeometry(8, kRow1, 20, kRowHeight);
    M_Radio->setChecked(true);
    Label1 = toolkit::makeFieldLabel(page, QStringLiteral("Label1"), QStringLiteral("班组："),
                                     QRect(30, kRow1, 46, kRowHeight));
    Dept_ComboBox = makeList(page, QStringLiteral("Dept_ComboBox"), QRect(78, kRow1, 130, kRowHeight));
    Label11 = toolkit::makeFieldLabel(page, QStringLiteral("Label11"), QStringLiteral("车位："),
                                      QRect(222, kRow1, 46, kRowHeight));
    Machine_ComboBox = makeList(page, QStringLiteral("Machine_ComboBox"), QRect(270, kRow1, 80, kRowHeight));

    W_Radio = new QRadioButton(page);
    W_Radio->setObjectName(QStringLiteral("W_Radio"));
    W_Radio->setGeometry(8, kRow2, 20, kRowHeight);
    Label12 = toolkit::makeFieldLabel(page, QStringLiteral("Label12"), QStringLiteral("人员："),
                                      QRect(30, kRow2, 46, kRowHeight));
    WorkerName_ComboBox = makeList(page, QStringLiteral("WorkerName_ComboBox"), QRect(78, kRow2, 130, kRowHeight));

    addPageButtons(page, kRow2, &SearchWorker, QStringLiteral("SearchWorker"), &RefreshWorker,
                   QStringLiteral("RefreshWorker"), &CmdPrint, QStringLiteral("CmdPrint"), &cmdExit,
                   QStringLiteral("cmdExit"));
    connect(Dept_ComboBox, &QComboBox::currentIndexChanged, this, &TQueryForm::Dept_ComboBoxChange);
    connect(Machine_ComboBox, &QComboBox::currentIndexChanged, this, &TQueryForm::Machine_ComboBoxChange);
    connect(SearchWorker, &QPushButton::clicked, this, &TQueryForm::SearchWorkerClick);
    connect(RefreshWorker, &QPushButton::clicked, this, &TQueryForm::RefreshWorkerClick);
    connect(CmdPrint, &QPushButton::clicked, this, &TQueryForm::CmdPrintClick);
}

void TQueryForm::buildKindPage()
{
    QWidget* page = KindSheet;
    Label3 = toolkit::makeFieldLabel(page, QStringLiteral("Label3"), QStringLiteral("款式号："),
                                     QRect(8, kOneRow, 64, kRowHeight));
    Kind_ComboBox = makeList(page, QStringLiteral("Kind_ComboBox"), QRect(74, kOneRow, 130, kRowHeight));
    Process_ComboBox = makeList(page, QStringLiteral("Process_ComboBox"), QRect(214, kOneRow, 100, kRowHeight));
    addPageButtons(page, kOneRow, &SearchKind, QStringLiteral("SearchKind"), &RefreshKind,
                   QStringLiteral("RefreshKind"), &BitBtn5, QStringLiteral("BitBtn5"), &BitBtn6,
                   QStringLiteral("BitBtn6"));
    connect(Kind_ComboBox, &QComboBox::currentIndexChanged, this, &TQueryForm::Kind_ComboBoxChange);
    connect(SearchKind, &QPushButton::clicked, this, &TQueryForm::SearchKindClick);
    connect(RefreshKind, &QPushButton::clicked, this, &TQueryForm::RefreshWorkerClick);
    connect(BitBtn5, &QPushButton::clicked, this, &TQueryForm::CmdPrintClick);
}

void TQueryForm::buildDeptPage()
{
    QWidget* page = DeptSheet;
    Label2 = toolkit::makeFieldLabel(page, QStringLiteral("Label2"), QStringLiteral("班组名称："),
                                     QRect(8, kOneRow, 80, kRowHeight));
    DeptName_ComboBox = makeList(page, QStringLiteral("DeptName_ComboBox"), QRect(90, kOneRow, 150, kRowHeight));
    addPageButtons(page, kOneRow, &SerachDept, QStringLiteral("SerachDept"), &RefreshDept,
                   QStringLiteral("RefreshDept"), &BitBtn4, QStringLiteral("BitBtn4"), &DeptExit,
                   QStringLiteral("DeptExit"));
    connect(SerachDept, &QPushButton::clicked, this, &TQueryForm::SerachDeptClick);
    connect(RefreshDept, &QPushButton::clicked, this, &TQueryForm::RefreshWorkerClick);
    connect(BitBtn4, &QPushButton::clicked, this, &TQueryForm::CmdPrintClick);
}

void TQueryForm::buildQuickPage()
{
    QWidget* page = QSearchSheet;
    Label4 = toolkit::makeFieldLabel(page, QStringLiteral("Label4"), QStringLiteral("查询条件："),
                                     QRect(8, kOneRow, 80, kRowHeight));
    Qsearch_Edit = new QLineEdit(page);
    Qsearch_Edit->setObjectName(QStringLiteral("Qsearch_Edit"));
    Qsearch_Edit->setGeometry(90, kOneRow, 220, kRowHeight);
    addPageButtons(page, kOneRow, &Qsearch, QStringLiteral("Qsearch"), &RefreshQsearch,
                   QStringLiteral("RefreshQsearch"), &BitBtn7, QStringLiteral("BitBtn7"), &QsearchExit,
                   QStringLiteral("QsearchExit"));
    // The search text comes first in the page's tab order.
    setTabOrder(Qsearch_Edit, Qsearch);
    setTabOrder(Qsearch, RefreshQsearch);
    setTabOrder(RefreshQsearch, BitBtn7);
    setTabOrder(BitBtn7, QsearchExit);
    connect(Qsearch, &QPushButton::clicked, this, &TQueryForm::QsearchClick);
    connect(RefreshQsearch, &QPushButton::clicked, this, &TQueryForm::RefreshWorkerClick);
    connect(BitBtn7, &QPushButton::clicked, this, &TQueryForm::CmdPrintClick);
}

void TQueryForm::buildMonthPage()
{
    QWidget* page = MonthSheet;
    const int y = kOneRow;
    Label5 = toolkit::makeFieldLabel(page, QStringLiteral("Label5"), QStringLiteral("选择日期："),
                                     QRect(8, y, 80, kRowHeight));
    year_edit = makeSpin(page, QStringLiteral("year_edit"), QRect(90, y, 70, kRowHeight), 2003, 9999, 2003, false);
    Label6 =
        toolkit::makeFieldLabel(page, QStringLiteral("Label6"), QStringLiteral("年"), QRect(164, y, 18, kRowHeight));
    month_edit = makeSpin(page, QStringLiteral("month_edit"), QRect(186, y, 50, kRowHeight), 1, 12, 1, true);
    Label7 =
        toolkit::makeFieldLabel(page, QStringLiteral("Label7"), QStringLiteral("月"), QRect(240, y, 18, kRowHeight));
    Worker_ComboBox = makeList(page, QStringLiteral("Worker_ComboBox"), QRect(268, y, 130, kRowHeight));
    addPageButtons(page, y, &MonthSearch, QStringLiteral("MonthSearch"), &Monthrefresh, QStringLiteral("Monthrefresh"),
                   &BitBtn8, QStringLiteral("BitBtn8"), &MonthExit, QStringLiteral("MonthExit"));
    connect(month_edit, &QSpinBox::textChanged, this, &TQueryForm::month_editChange);
    connect(MonthSearch, &QPushButton::clicked, this, &TQueryForm::MonthSearchClick);
    connect(Monthrefresh, &QPushButton::clicked, this, &TQueryForm::RefreshWorkerClick);
    connect(BitBtn8, &QPushButton::clicked, this, &TQueryForm::CmdPrintClick);
}

void TQueryForm::buildSummaryPage()
{
    QWidget* page = SalaryMonth_Sheet;
    const int y = kOneRow;
    Label8 = toolkit::makeFieldLabel(page, QStringLiteral("Label8"), QStringLiteral("选择日期："),
                                     QRect(8, y, 80, kRowHeight));
    year_edit_s = makeSpin(page, QStringLiteral("year_edit_s"), QRect(90, y, 70, kRowHeight), 2003, 9999, 2003, false);
    Label9 =
        toolkit::makeFieldLabel(page, QStringLiteral("Label9"), QStringLiteral("年"), QRect(164, y, 18, kRowHeight));
    month_edit_s = makeSpin(page, QStringLiteral("month_edit_s"), QRect(186, y, 50, kRowHeight), 1, 12, 1, true);
    Label10 =
        toolkit::makeFieldLabel(page, QStringLiteral("Label10"), QStringLiteral("月"), QRect(240, y, 18, kRowHeight));
    addPageButtons(page, y, &SalaryMonth_search, QStringLiteral("SalaryMonth_search"), &SalaryMonth_refresh,
                   QStringLiteral("SalaryMonth_refresh"), &SalaryMonth_print, QStringLiteral("SalaryMonth_print"),
                   &BitBtn9, QStringLiteral("BitBtn9"));
    connect(month_edit_s, &QSpinBox::textChanged, this, &TQueryForm::month_edit_sChange);
    connect(SalaryMonth_search, &QPushButton::clicked, this, &TQueryForm::SalaryMonth_searchClick);
    connect(SalaryMonth_refresh, &QPushButton::clicked, this, &TQueryForm::SalaryMonth_refreshClick);
    connect(SalaryMonth_print, &QPushButton::clicked, this, &TQueryForm::SalaryMonth_printClick);
}

void TQueryForm::FormCreate()
{
    SalaryGrid->setFooterVisible(true);
    SalaryMonthGrid->setFooterVisible(true);
    fillWorkerPageLists();
}

void TQueryForm::fillWorkerPageLists()
{
    // The lists come back unchosen: no team and place, so no worker either.
    MachineWorkerName.clear();
    fillList(Dept_ComboBox, firstColumn(kDeptNamesSql));
    fillList(Machine_ComboBox, machinePlaces());
    fillList(WorkerName_ComboBox, firstColumn(kWorkerNamesSql));
}

void TQueryForm::openDetail(const QString& sql, const QVariantList& params)
{
    const BusyCursor busy;
    OpenQuery(DM->SalaryQuery, sql, params);
}

void TQueryForm::openSummary(const QString& sql, const QVariantList& params)
{
    const BusyCursor busy;
    OpenQuery(DM->SalaryMonthQuery, sql, params);
}

void TQueryForm::showDetailGrid(bool detail)
{
    SalaryGrid->setVisible(detail);
    SalaryMonthGrid->setVisible(!detail);
    OverClaimGrid->hide();
}

void TQueryForm::Datafresh()
{
    openDetail(kDetail);
    showDetailGrid(true);
}

QDate TQueryForm::chosenMonth(const QSpinBox* year, const QSpinBox* month)
{
    return QDate(year->value(), month->value(), 1);
}

void TQueryForm::RzPageChange(int index)
{
    const QDate today = QDate::currentDate();
    switch (index) {
    case 0:
        fillWorkerPageLists();
        Datafresh();
        break;
    case 1:
        fillList(Kind_ComboBox, firstColumn(kKindsSql));
        Datafresh();
        break;
    case 2:
        fillList(DeptName_ComboBox, firstColumn(kDeptNamesSql));
        Datafresh();
        break;
    case 3: Datafresh(); break;
    case 4: {
        const QStringList workers = firstColumn(kWorkerNamesSql);
        year_edit->setValue(today.year());
        month_edit->setValue(today.month());
        fillList(Worker_ComboBox, workers);
        Datafresh();
        break;
    }
    case 5:
        year_edit_s->setValue(today.year());
        month_edit_s->setValue(today.month());
        openSummary(querysql::kSummaryAll);
        showDetailGrid(false);
        break;
    case 6: showOverClaimPage(); break;
    default: break;
    }
}

void TQueryForm::Dept_ComboBoxChange()
{
    findMachineWorker();
}

void TQueryForm::Machine_ComboBoxChange()
{
    findMachineWorker();
}

void TQueryForm::findMachineWorker()
{
    // The worker searched for is always the one at the team and place shown: whoever was found
    // for an earlier choice goes first.
    MachineWorkerName.clear();
    const QString team = Dept_ComboBox->currentText();
    const QString machine = Machine_ComboBox->currentText();
    if (machine.isEmpty())
        return;
    if (!OpenQuery(DM->DmQuery, kWorkerAtPlaceSql, WorkerAtPlaceParams(team, machine)))
        return;
    if (DM->DmQuery->recordCount() == 0) {
        toolkit::ShowStop(kNoWorkerAtMachine);
        return;
    }
    MachineWorkerName = DM->DmQuery->field(0).asString();
}

void TQueryForm::Kind_ComboBoxChange()
{
    const QString kind = Kind_ComboBox->currentText();
    if (kind.isEmpty())
        return;
    if (!OpenQuery(DM->DmQuery, kStyleStepsSql, {kind}) || DM->DmQuery->recordCount() == 0)
        return;
    const qint64 steps = DM->DmQuery->field(1).asInteger();
    QStringList labels;
    for (qint64 k = 1; k <= steps; ++k)
        labels << kStepPrefix + QString::number(k);
    fillList(Process_ComboBox, labels);
}

void TQueryForm::SearchWorkerClick()
{
    // No name chosen: the user was told why and the list stays as it is.
    const QString worker = searchedWorker();
    if (!worker.isEmpty())
        openDetail(kDetailWorkerSql, {worker});
}

void TQueryForm::SearchKindClick()
{
    const QString kind = Kind_ComboBox->currentText();
    const QString step = Process_ComboBox->currentText();
    if (!step.isEmpty())
        openDetail(kDetailKindStepSql, {kind, step});
    else
        openDetail(kDetailKindSql, {kind});
}

void TQueryForm::SerachDeptClick()
{
    openDetail(kDetailDeptSql, {DeptName_ComboBox->currentText()});
}

void TQueryForm::QsearchClick()
{
    const QString pattern = ContainsPattern(Qsearch_Edit->text());
    QVariantList params;
    for (int i = 0; i < kQuickSearchTerms; ++i)
        params << pattern;
    openDetail(quickSearchSql(CurrentDialect()), params);
}

void TQueryForm::MonthSearchClick()
{
    const QDate month = chosenMonth(year_edit, month_edit);
    const QString from = MonthStart(month);
    const QString to = NextMonthStart(month);
    const QString worker = Worker_ComboBox->currentText();
    if (!worker.isEmpty())
        openDetail(kDetailWorkerMonthSql, {worker, from, to});
    else
        openDetail(kDetailMonthSql, {from, to});
}

void TQueryForm::SalaryMonth_searchClick()
{
    const QDate month = chosenMonth(year_edit_s, month_edit_s);
    openSummary(querysql::summaryMonth(CurrentDialect()), {MonthStart(month), NextMonthStart(month)});
}

void TQueryForm::RefreshWorkerClick()
{
    openDetail(kDetail);
}

void TQueryForm::SalaryMonth_refreshClick()
{
    openSummary(querysql::kSummaryListPrice);
}

void TQueryForm::month_editChange(const QString& text)
{
    static_cast<toolkit::MonthSpinEdit*>(month_edit)->padTypedDigit(text);
}

void TQueryForm::month_edit_sChange(const QString& text)
{
    static_cast<toolkit::MonthSpinEdit*>(month_edit_s)->padTypedDigit(text);
}

// The report is laid out over the dataset as the grid shows it (rows and order), under the busy
// cursor; the preview then paints only the pages looked at.
void TQueryForm::CmdPrintClick()
{
    showPreview(TQuickReport::instance());
}

void TQueryForm::SalaryMonth_printClick()
{
    showPreview(TSalaryReport::instance());
}

void TQueryForm::showPreview(toolkit::Report* report)
{
    toolkit::ReportLayout layout;
    {
        const BusyCursor busy;
        layout = report->Prepare();
    }
    toolkit::previewReport(layout, this);
}

// ---- Page 6: pieces recorded past the style's count ------------------------------------------------

QString querysql::overClaim(data::Dialect dialect, bool month)
{
    // One pass over the records: the pieces per style, step, worker and team, and their sum per
    // style and step beside each group. A month's records are found through the date index.
    const auto group = [dialect](const char* column) { return data::unindexedTerm(dialect, QLatin1String(column)); };
    return QStringLiteral("Select w.KindId, c.KindName, w.Process, c.ProductCount, w.Claimed, "
                          "w.Claimed-c.ProductCount AS Excess, w.WorkerName, w.DeptName, w.Pieces "
                          "From (Select KindId, Process, WorkerName, DeptName, Sum(ProductCount) AS Pieces, "
                          "Sum(Sum(ProductCount)) Over (Partition By KindId, Process) AS Claimed From Salary") +
           (month ? QStringLiteral(" Where ProcessDate>=? And ProcessDate<?") : QString()) +
           QStringLiteral(" Group By ") +
           QStringList{group("KindId"), group("Process"), group("WorkerName"), group("DeptName")}.join(
               QStringLiteral(", ")) +
           QStringLiteral(") w, Product c Where c.Kind=w.KindId And c.ProductCount>0 And w.Claimed>c.ProductCount "
                          "Order By 6 Desc, 1, 3, 9 Desc, 7, 8");
}

void TQueryForm::buildOverClaimPage()
{
    OverClaimSheet = new QWidget;
    OverClaimSheet->setObjectName(QStringLiteral("OverClaimSheet"));
    RzPage->addTab(OverClaimSheet, QStringLiteral("超产品件数"));

    // The grid first, so that it goes before its list when the window is freed.
    OverClaimGrid = new toolkit::DataGrid(this);
    m_overClaimQuery = new data::DataSet(QStringLiteral("OverClaimQuery"), DM->connection(), this);
    m_overClaimSource = new data::DataSource(QStringLiteral("OverClaimSource"), m_overClaimQuery, this);
    OverClaimGrid->setObjectName(QStringLiteral("OverClaimGrid"));
    OverClaimGrid->setGeometry(SalaryGrid->geometry());
    OverClaimGrid->setFont(toolkit::songFont(12));
    OverClaimGrid->setRowSelect(true);
    OverClaimGrid->setMultiSelect(true);
    OverClaimGrid->setDataSource(m_overClaimSource);
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    const auto number = [right](const char* field, const QString& title, int width) {
        return toolkit::GridColumn{.fieldName = QLatin1String(field),
                                   .title = title,
                                   .width = width,
                                   .displayMask = QStringLiteral("0"),
                                   .alignment = right};
    };
    OverClaimGrid->setColumns({
        {.fieldName = QStringLiteral("KindId"), .title = QStringLiteral("款式号"), .width = 70},
        {.fieldName = QStringLiteral("KindName"), .title = QStringLiteral("款式名称"), .width = 100},
        {.fieldName = QStringLiteral("Process"), .title = QStringLiteral("工序号"), .width = 64},
        number("ProductCount", QStringLiteral("产品件数"), 72),
        number("Claimed", QStringLiteral("已录入"), 72),
        number("Excess", QStringLiteral("超出"), 64),
        {.fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("员工名称"), .width = 90},
        {.fieldName = QStringLiteral("DeptName"), .title = QStringLiteral("班组"), .width = 82},
        number("Pieces", QStringLiteral("该员工件数"), 84),
    });
    fitColumns(OverClaimGrid, kGridWidth - 4 - 12 - style()->pixelMetric(QStyle::PM_ScrollBarExtent),
               leastWidths(OverClaimGrid, {}));
    OverClaimGrid->hide();

    QWidget* page = OverClaimSheet;
    const int y = kOneRow;
    OverClaimDate_Label = toolkit::makeFieldLabel(page, QStringLiteral("OverClaimDate_Label"),
                                                  QStringLiteral("选择日期："), QRect(8, y, 80, kRowHeight));
    year_edit_o = makeSpin(page, QStringLiteral("year_edit_o"), QRect(90, y, 70, kRowHeight), 2003, 9999, 2003, false);
    OverClaimYear_Label = toolkit::makeFieldLabel(page, QStringLiteral("OverClaimYear_Label"), QStringLiteral("年"),
                                                  QRect(164, y, 18, kRowHeight));
    month_edit_o = makeSpin(page, QStringLiteral("month_edit_o"), QRect(186, y, 50, kRowHeight), 1, 12, 1, true);
    OverClaimMonth_Label = toolkit::makeFieldLabel(page, QStringLiteral("OverClaimMonth_Label"), QStringLiteral("月"),
                                                   QRect(240, y, 18, kRowHeight));
    AllMonths_Check = new QCheckBox(QStringLiteral("全部月份"), page);
    AllMonths_Check->setObjectName(QStringLiteral("AllMonths_Check"));
    AllMonths_Check->setGeometry(272, y, 100, kRowHeight);
    const int width = 76;
    const int gap = 8;
    OverClaim_search = toolkit::makePushButton(page, QStringLiteral("OverClaim_search"), QStringLiteral("查询"),
                                               QRect(kGridWidth - 2 * width - gap, y - 1, width, kRowHeight + 2));
    OverClaimExit = toolkit::makeExitButton(page, QRect(kGridWidth - width, y - 1, width, kRowHeight + 2));
    OverClaimExit->setObjectName(QStringLiteral("OverClaimExit"));
    connect(OverClaimExit, &QPushButton::clicked, this, &TQueryForm::cmdExitClick);
    connect(OverClaim_search, &QPushButton::clicked, this, &TQueryForm::OverClaim_searchClick);
    connect(AllMonths_Check, &QCheckBox::toggled, this, &TQueryForm::AllMonths_CheckClick);
    connect(month_edit_o, &QSpinBox::textChanged, this, &TQueryForm::month_edit_oChange);
}

void TQueryForm::showOverClaimPage()
{
    const QDate today = QDate::currentDate();
    year_edit_o->setValue(today.year());
    month_edit_o->setValue(today.month());
    SalaryGrid->hide();
    SalaryMonthGrid->hide();
    OverClaimGrid->show();
    OverClaim_searchClick();
}

void TQueryForm::OverClaim_searchClick()
{
    const BusyCursor busy;
    if (AllMonths_Check->isChecked()) {
        OpenQuery(m_overClaimQuery, querysql::overClaim(CurrentDialect(), false));
        return;
    }
    const QDate month = chosenMonth(year_edit_o, month_edit_o);
    OpenQuery(m_overClaimQuery, querysql::overClaim(CurrentDialect(), true),
              {MonthStart(month), NextMonthStart(month)});
}

void TQueryForm::AllMonths_CheckClick(bool checked)
{
    // The month edits have no say while every month is counted.
    year_edit_o->setEnabled(!checked);
    month_edit_o->setEnabled(!checked);
}

void TQueryForm::month_edit_oChange(const QString& text)
{
    static_cast<toolkit::MonthSpinEdit*>(month_edit_o)->padTypedDigit(text);
}

namespace {
const QString kNoSlipRecords = QStringLiteral("对不起，所选月份没有计件数据!");
} // namespace

void TQueryForm::buildSlipControls()
{
    const int width = 76;
    const int gap = 8;
    // Left of the summary page's four buttons.
    const int summaryX = kGridWidth - 5 * width - 4 * gap;
    SalarySlip_print =
        toolkit::makePushButton(SalaryMonth_Sheet, QStringLiteral("SalarySlip_print"), QStringLiteral("工资条"),
                                QRect(summaryX, kOneRow - 1, width, kRowHeight + 2));
    connect(SalarySlip_print, &QPushButton::clicked, this, &TQueryForm::SalarySlip_printClick);

    // Page 0: a month for the worker's slip in the free right half of the first row, this month at first.
    QWidget* page = WorkerSheet;
    const QDate today = QDate::currentDate();
    int x = kGridWidth - 4 * width - 3 * gap;
    SlipMonthLabel = toolkit::makeFieldLabel(page, QStringLiteral("SlipMonthLabel"), QStringLiteral("工资月份："),
                                             QRect(x - 84, kRow1, 82, kRowHeight));
    slip_year_edit = makeSpin(page, QStringLiteral("slip_year_edit"), QRect(x, kRow1, 70, kRowHeight), 2003, 9999,
                              today.year(), false);
    SlipYearUnit = toolkit::makeFieldLabel(page, QStringLiteral("SlipYearUnit"), QStringLiteral("年"),
                                           QRect(x + 74, kRow1, 18, kRowHeight));
    slip_month_edit = makeSpin(page, QStringLiteral("slip_month_edit"), QRect(x + 96, kRow1, 50, kRowHeight), 1, 12,
                               today.month(), true);
    SlipMonthUnit = toolkit::makeFieldLabel(page, QStringLiteral("SlipMonthUnit"), QStringLiteral("月"),
                                            QRect(x + 150, kRow1, 18, kRowHeight));
    WorkerSlip_print = toolkit::makePushButton(page, QStringLiteral("WorkerSlip_print"), QStringLiteral("工资条"),
                                               QRect(kGridWidth - width, kRow1 - 1, width, kRowHeight + 2));
    connect(slip_month_edit, &QSpinBox::textChanged, this, [this](const QString& text) {
        static_cast<toolkit::MonthSpinEdit*>(slip_month_edit)->padTypedDigit(text);
    });
    connect(WorkerSlip_print, &QPushButton::clicked, this, &TQueryForm::WorkerSlip_printClick);
}

void TQueryForm::SalarySlip_printClick()
{
    printSlips(chosenMonth(year_edit_s, month_edit_s), QString());
}

void TQueryForm::WorkerSlip_printClick()
{
    const QString worker = searchedWorker();
    if (!worker.isEmpty())
        printSlips(chosenMonth(slip_year_edit, slip_month_edit), worker);
}

QString TQueryForm::searchedWorker()
{
    if (M_Radio->isChecked()) {
        if (Dept_ComboBox->currentText().isEmpty() || Machine_ComboBox->currentText().isEmpty()) {
            toolkit::ShowStop(kChooseCondition);
            return {};
        }
        // No worker at the place shown: refused as the look-up was.
        if (MachineWorkerName.isEmpty()) {
            toolkit::ShowStop(kNoWorkerAtMachine);
            return {};
        }
        return MachineWorkerName;
    }
    const QString worker = W_Radio->isChecked() ? WorkerName_ComboBox->currentText() : QString();
    if (worker.isEmpty())
        toolkit::ShowStop(kChooseCondition);
    return worker;
}

void TQueryForm::printSlips(const QDate& month, const QString& worker)
{
    TSlipReport* report = TSlipReport::instance();
    {
        const BusyCursor busy;
        if (!report->load(month, worker))
            return;
    }
    if (report->lines()->recordCount() == 0) {
        toolkit::ShowStop(kNoSlipRecords);
        return;
    }
    showPreview(report);
}
