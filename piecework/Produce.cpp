#include "piecework/Produce.h"

#include "piecework/PricePreview.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/History.h"
#include "data/Sql.h"
#include "toolkit/DataGrid.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/MessageBox.h"
#include "toolkit/MonthSpinEdit.h"

#include <QApplication>
#include <QDateEdit>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

TProduceForm* ProduceForm = nullptr;

namespace {

// Style list and search, each row with its version.
QString styleColumns(data::Dialect dialect)
{
    return QStringLiteral("Select *") + data::rowVersionTerm(dialect);
}
QString listSql(data::Dialect dialect)
{
    return styleColumns(dialect) + QStringLiteral(" From Product Order by Kind desc");
}
QString searchAllSql(data::Dialect dialect)
{
    return styleColumns(dialect) + QStringLiteral(" From Product order by kind desc");
}
// The styles past a key or of one key, for the list to take other clerks' changes.
QString listRowsSql(data::Dialect dialect)
{
    return styleColumns(dialect) + QStringLiteral(" From Product Where (Id > ? Or Id = ?)");
}
QString searchSql(data::Dialect dialect)
{
    return styleColumns(dialect) + QStringLiteral(" From Product Where ( Kind like ?") + kLikeEscape +
           QStringLiteral(" Or ") + data::asText(dialect, QStringLiteral("Process")) + QStringLiteral(" like ?") +
           kLikeEscape + QStringLiteral(" Or KindName like ?") + kLikeEscape + QStringLiteral(" Or ") +
           data::asText(dialect, QStringLiteral("ProductCount")) + QStringLiteral(" like ?") + kLikeEscape +
           QStringLiteral(" Or ") + data::asText(dialect, QStringLiteral("ProductDate")) + QStringLiteral(" like ?") +
           kLikeEscape + QStringLiteral(")");
}

// Adding, editing and deleting a style.
const QString kKindTakenSql = QStringLiteral("Select Kind From Product Where Kind=?");
const QString kKindTakenByOtherSql = QStringLiteral("Select Kind From Product Where Kind = ? And id <>?");
const QString kAddSql =
    QStringLiteral("Insert Into Product (Kind,Process,KindName,ProductCount,ProductDate) Values (?,?,?,?,?)");
const QString kAddStepSql = QStringLiteral("Insert Into Process(Process,ProductId) Values(?,?)");
const QString kStoredStyleSql = QStringLiteral("Select Kind,Process,KindName From Product Where Id=?");
// The same, read for deleting: the style's number stays as read until its steps are deleted too.
QString styleToDeleteSql(data::Dialect dialect)
{
    return kStoredStyleSql + data::lockForUpdate(dialect);
}
const QString kEditSql =
    QStringLiteral("Update Product Set Kind =?, Process = ?,KindName=?,ProductCount=?,ProductDate = ?  Where Id =?");
const QString kCarryStepsSql = QStringLiteral("Update Process Set ProductId=? Where ProductId=?");
const QString kCarryRecordsSql = QStringLiteral("Update Salary Set KindId=? Where KindId=?");
const QString kCarryKindNameSql = QStringLiteral("Update Salary Set KindName=? Where KindId  =?");
const QString kDeleteStepsSql = QStringLiteral("delete From Process Where ProductId =?");
const QString kDeleteSql = QStringLiteral("Delete From Product Where Id =?");

// Steps and prices; each step row with its version.
QString stepsSql(data::Dialect dialect)
{
    return QStringLiteral("Select Id,Process,ProcessName,Productid,Price") + data::rowVersionTerm(dialect) +
           QStringLiteral(" From Process Where Productid =? Order by id Asc");
}
const QString kSaveStepSql = QStringLiteral("Update Process Set ProcessName=?,Price=? Where Id=?");
const QString kStyleStepsSql = QStringLiteral("Select Process,Kind From Product Where Id=?");
const QString kAllStylesSql = QStringLiteral("Select Process,Kind From Product Order By Id");
// The styles that have records in a month.
const QString kMonthStylesSql =
    QStringLiteral("Select Distinct KindId From Salary Where ProcessDate>=? And ProcessDate<?");
// The steps 工序1..N of a style with their stored names and prices. A label counts only as the
// program writes it ("工序" and the step number without leading zeros).
QString styleStepRowsSql(data::Dialect dialect)
{
    return QStringLiteral("Select Process,ProcessName,Price From Process Where ProductId=? And ") +
           data::stepLabelFilter(dialect) + QStringLiteral(" Order by Id");
}
// One step's name and price into the style's records of one month: the month as a date range, so
// that the index on (KindId, Process, ProcessDate) finds exactly those records.
const QString kApplyStepSql =
    QStringLiteral("Update Salary Set ProcessName=?,ProcessPrice=? Where Kindid=? And Process=? "
                   "And ProcessDate>=? And ProcessDate<?");
// What applying the prices does to a style's records of one month, read before it: how many
// records, their wage total as stored and as it will be (a record of a step 工序1..N takes its
// step's stored price, any other keeps its own). The records are summed per step first, so that
// each step's price is looked up once, not once a record.
QString applyTotalsSql(data::Dialect dialect)
{
    return QStringLiteral("Select Sum(g.Records) AS Records,Sum(g.Amount) AS AmountBefore,"
                          "Sum(Case When p.Process Is Null Then g.Amount Else g.Pieces*p.Price End) AS AmountAfter "
                          "From (Select Process,Count(*) AS Records,Sum(ProductCount*ProcessPrice) AS Amount,"
                          "Sum(ProductCount) AS Pieces From Salary Where KindId=? And ProcessDate>=? And "
                          "ProcessDate<? Group By Process) g Left Join (Select Process,Price From Process Where "
                          "ProductId=? And ") +
           data::stepLabelFilter(dialect) + QStringLiteral(") p On p.Process=g.Process");
}
// What applying prices does to each worker's wage of one month, read before it: the month's records
// summed per worker, style and step first, so that each step's new price (the step rows given as the
// subquery newPrices: ProductId, Process, Price) is looked up once a group, not once a record. A
// group without a step row keeps its amount. Every worker of the month comes out, so that the
// month's totals are the sums of the rows; Records counts the records that take a new price.
QString previewSql(data::Dialect dialect, const QString& newPrices)
{
    const QStringList groupTerms{data::unindexedTerm(dialect, QStringLiteral("WorkerName")),
                                 data::unindexedTerm(dialect, QStringLiteral("DeptName")),
                                 data::unindexedTerm(dialect, QStringLiteral("MachineId")),
                                 data::unindexedTerm(dialect, QStringLiteral("KindId")),
                                 data::unindexedTerm(dialect, QStringLiteral("Process"))};
    return QStringLiteral("Select g.DeptName AS DeptName,g.MachineId AS MachineId,g.WorkerName AS WorkerName,"
                          "Sum(Case When p.Process Is Null Then 0 Else g.Records End) AS Records,"
                          "Sum(g.Amount) AS AmountBefore,"
                          "Sum(Case When p.Process Is Null Then g.Amount Else g.Pieces*p.Price End) AS AmountAfter "
                          "From (Select WorkerName,DeptName,MachineId,KindId,Process,Count(*) AS Records,"
                          "Sum(ProductCount*ProcessPrice) AS Amount,Sum(ProductCount) AS Pieces From Salary "
                          "Where ProcessDate>=? And ProcessDate<? Group By ") +
           groupTerms.join(QLatin1Char(',')) + QStringLiteral(") g Left Join (") + newPrices +
           QStringLiteral(") p On p.ProductId=g.KindId And p.Process=g.Process "
                          "Group By g.WorkerName,g.DeptName,g.MachineId");
}
// The new prices of one style's steps 工序1..N: the stored ones, where a step's key is bound with a
// typed price (priceCases pairs of key and price) that one instead.
QString styleNewPricesSql(data::Dialect dialect, int priceCases)
{
    QString price = QStringLiteral("Price");
    if (priceCases > 0) {
        price = QStringLiteral("Case");
        for (int i = 0; i < priceCases; ++i)
            price += QStringLiteral(" When Id=? Then ?");
        price += QStringLiteral(" Else Price End");
    }
    return QStringLiteral("Select ProductId,Process,") + price +
           QStringLiteral(" AS Price From Process Where ProductId=? And ") + data::stepLabelFilter(dialect);
}
// The stored prices of every style's steps 工序1..N, N its step count.
QString monthNewPricesSql(data::Dialect dialect)
{
    return QStringLiteral("Select s.ProductId AS ProductId,s.Process AS Process,s.Price AS Price From Process s "
                          "Join Product d On d.Kind=s.ProductId Where ") +
           data::stepLabelFilter(dialect, QStringLiteral("s.Process"), QStringLiteral("d.Process"));
}
const QStringList kApplyColumns{QStringLiteral("Month"), QStringLiteral("Records"), QStringLiteral("WageTotal")};
const QString kSalaryTable = QStringLiteral("Salary");
const QString kProductTable = QStringLiteral("Product");
const QString kStepTable = QStringLiteral("Process");
const QString kKeyColumn = QStringLiteral("Id");

const QString kStepPrefix = QStringLiteral("工序");
const QString kAskCaption = QStringLiteral("提示");
const QString kKindEmpty = QStringLiteral("对不起，款式号不能为空!");
const QString kStepsNotInteger = QStringLiteral("对不起，工序数不能为空并且必须为整数!");
const QString kTooManySteps = QStringLiteral("对不起，工序数不能超过999!");
const QString kCountNotInteger = QStringLiteral("对不起，产品件数必须为整数!");
const QString kKindRepeated = QStringLiteral("对不起，款式号不能有重复!");
const QString kPickToEdit = QStringLiteral("对不起，请选择所要修改的产品款式号!");
const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的产品款式号!");
const QString kPickFirst = QStringLiteral("对不起，请先选择产品款式号!");
const QString kAskBulkUpdate = QStringLiteral("是否确定要批量更新所有款式工序价格?");
const QString kNothingToUpdate = QStringLiteral("对不起，本月没有需要更新价格的计件记录!");

// More steps than this are a typing slip: the rows would be made at once.
constexpr int kMaxSteps = 999;

// Grid columns of the step list.
enum StepColumn { StepId, StepLabel, StepName, StepSize, StepStyle, StepPrice };

QString badPriceText(const QString& label)
{
    return QStringLiteral("对不起，") + label + QStringLiteral("的价格必须是不小于0的数字，最多三位小数!");
}

QString askSaveText(const QString& year, const QString& month)
{
    return QStringLiteral("是否确定要更新此款式") + year + QStringLiteral("年") + month + QStringLiteral("月") +
           QStringLiteral("的工序价格?  ");
}

QString stepLabel(int step)
{
    return kStepPrefix + QString::number(step);
}

// A price as the user may give it: empty (unpriced), or a number of at least 0 with up to three
// decimals. A typed text becomes a number; nothing when the value is not a price.
std::optional<QVariant> priceValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    double number = 0;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::LongLong:
    case QMetaType::Int: number = value.toDouble(); break;
    default: {
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            return QVariant();
        static const QRegularExpression pattern(QStringLiteral("^(\\d+(\\.\\d{0,3})?|\\.\\d{1,3})$"));
        if (!pattern.match(text).hasMatch())
            return std::nullopt;
        number = text.toDouble();
    }
    }
    const double thousandths = number * 1000;
    if (!std::isfinite(number) || number < 0 ||
        std::fabs(thousandths - std::round(thousandths)) > 1e-6 * std::max(1.0, thousandths))
        return std::nullopt;
    return QVariant(number);
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.isValid() != b.isValid())
        return false;
    if (!a.isValid())
        return true;
    if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double)
        return a.toDouble() == b.toDouble();
    return a.toString() == b.toString();
}

// A wage total as the change record keeps it: to the thousandth of a yuan, as prices are.
double wageTotal(const data::Field& field)
{
    return field.isNull() ? 0.0 : std::round(field.asFloat() * 1000) / 1000;
}

// The line of a style's number and name carried into its records.
ChangeLine carryLine(const QString& oldKind, const QString& oldName, const QString& kind, const QString& name,
                     int records)
{
    const QStringList columns{QStringLiteral("KindId"), QStringLiteral("KindName")};
    return {change::kCarryIntoRecords,
            kSalaryTable,
            kind,
            ValuesText(columns, {oldKind, oldName}),
            ValuesText(columns, {kind, name}),
            QStringLiteral("带入") + QString::number(records) + QStringLiteral("条计件记录")};
}

QString applyNote(const QString& month, qint64 records)
{
    return month + QStringLiteral("月份，") + QString::number(records) + QStringLiteral("条计件记录");
}

// The line of a style's price application, from the totals read before it (applyTotalsSql on query).
ChangeLine applyLine(const data::DataSet* query, const QString& kind, const QDate& anyDay)
{
    const QString month = MonthKey(anyDay);
    const qint64 records = query->field(0).asInteger();
    return {change::kApplyPrices,
            kSalaryTable,
            kind,
            ValuesText(kApplyColumns, {month, records, wageTotal(query->field(1))}),
            ValuesText(kApplyColumns, {month, records, wageTotal(query->field(2))}),
            applyNote(month, records)};
}

QLineEdit* makeEdit(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    return edit;
}

// The preview from previewSql's rows on query.
void readPreview(const data::DataSet* query, PricePreview* preview)
{
    *preview = PricePreview();
    for (int row = 0; row < query->recordCount(); ++row) {
        const auto amount = [&](int column) {
            const QVariant value = query->value(row, column);
            return value.isNull() ? 0.0 : value.toDouble();
        };
        const double before = amount(4);
        const double after = amount(5);
        preview->totalBefore += before;
        preview->totalAfter += after;
        const qint64 records = query->value(row, 3).toLongLong();
        if (records == 0)
            continue;
        preview->records += records;
        preview->workers.append({query->value(row, 0).toString(), query->value(row, 1).toString(),
                                 query->value(row, 2).toString(), records, before, after});
    }
    std::sort(preview->workers.begin(), preview->workers.end(), [](const PricePreviewRow& a, const PricePreviewRow& b) {
        const double changeA = std::fabs(a.after - a.before);
        const double changeB = std::fabs(b.after - b.before);
        if (changeA != changeB)
            return changeA > changeB;
        return std::tie(a.dept, a.machine, a.worker) < std::tie(b.dept, b.machine, b.worker);
    });
}

bool sameAmount(double a, double b)
{
    return std::fabs(a - b) <= 1e-5;
}

// The month's closed-month refusal before a preview is read: the month checked under a shared hold
// that ends at once, so that nobody waits while the preview is looked at.
bool monthOpenForPreview(const QDate& anyDay)
{
    return RunInTransaction([&] { return MonthsOpen({anyDay}, data::MonthHold::Entry); });
}

} // namespace

// ---- Price application -----------------------------------------------------------------------------

bool ApplyStylePrices(data::DataSet* query, const QString& kind, qint64 steps, const QDate& anyDay)
{
    if (steps < 1)
        return true;
    const QString from = MonthStart(anyDay);
    const QString to = NextMonthStart(anyDay);
    if (!OpenQuery(query, applyTotalsSql(CurrentDialect()), {kind, from, to, kind, steps}))
        return false;
    // No records of the style in the month: nothing to write, nothing to record.
    if (query->field(0).asInteger() == 0)
        return true;
    const ChangeLine line = applyLine(query, kind, anyDay);
    if (!OpenQuery(query, styleStepRowsSql(CurrentDialect()), {kind, steps}))
        return false;
    // A label that occurs twice counts with its first row.
    struct Step {
        QVariant label, name, price;
    };
    QList<Step> rows;
    QSet<QString> labels;
    for (query->first(); !query->eof(); query->next()) {
        const QString label = query->field(0).asString().toCaseFolded();
        if (labels.contains(label))
            continue;
        labels.insert(label);
        rows.append({query->field(0).value(), query->field(1).value(), query->field(2).value()});
    }
    for (const Step& step : rows)
        if (!ExecQuery(query, kApplyStepSql, {step.name, step.price, kind, step.label, from, to}))
            return false;
    return LogChange(line);
}

bool SamePreview(const PricePreview& a, const PricePreview& b)
{
    if (a.records != b.records || a.workers.size() != b.workers.size() || !sameAmount(a.totalBefore, b.totalBefore) ||
        !sameAmount(a.totalAfter, b.totalAfter))
        return false;
    const auto byWorker = [](QList<PricePreviewRow> rows) {
        std::sort(rows.begin(), rows.end(), [](const PricePreviewRow& x, const PricePreviewRow& y) {
            return std::tie(x.dept, x.machine, x.worker) < std::tie(y.dept, y.machine, y.worker);
        });
        return rows;
    };
    const QList<PricePreviewRow> rowsA = byWorker(a.workers);
    const QList<PricePreviewRow> rowsB = byWorker(b.workers);
    for (qsizetype i = 0; i < rowsA.size(); ++i) {
        const PricePreviewRow& x = rowsA.at(i);
        const PricePreviewRow& y = rowsB.at(i);
        if (x.dept != y.dept || x.machine != y.machine || x.worker != y.worker || x.records != y.records ||
            !sameAmount(x.before, y.before) || !sameAmount(x.after, y.after))
            return false;
    }
    return true;
}

bool PreviewStylePrices(const QVariant& productId, const QList<StepChange>& changes, const QDate& anyDay,
                        PricePreview* preview)
{
    *preview = PricePreview();
    data::DataSet query(QStringLiteral("PricePreview"), DM->connection());
    if (!OpenQuery(&query, kStyleStepsSql, {productId}))
        return false;
    // A style already deleted has no steps to apply.
    const qint64 steps = query.recordCount() > 0 ? query.field(0).asInteger() : 0;
    const QString kind = query.recordCount() > 0 ? query.field(1).asString() : QString();
    QVariantList params{MonthStart(anyDay), NextMonthStart(anyDay)};
    for (const StepChange& step : changes)
        params << step.id << step.price;
    params << kind << steps;
    if (!OpenQuery(&query, previewSql(CurrentDialect(), styleNewPricesSql(CurrentDialect(), int(changes.size()))),
                   params))
        return false;
    readPreview(&query, preview);
    return true;
}

bool PreviewMonthPrices(const QDate& anyDay, PricePreview* preview)
{
    *preview = PricePreview();
    data::DataSet query(QStringLiteral("PricePreview"), DM->connection());
    if (!OpenQuery(&query, previewSql(CurrentDialect(), monthNewPricesSql(CurrentDialect())),
                   {MonthStart(anyDay), NextMonthStart(anyDay)}))
        return false;
    readPreview(&query, preview);
    return true;
}

bool SaveStylePrices(const QVariant& productId, const QList<StepChange>& changes, const QDate& anyDay,
                     const PricePreview* shown)
{
    bool changedByOther = false;
    bool outdated = false;
    const bool saved = RunInTransaction([&] {
        // A closed month's prices stay: nothing is saved, not even the steps.
        if (!MonthsOpen({anyDay}, data::MonthHold::Pricing))
            return false;
        // What is written is what the user was shown: the month's records and prices as they stand
        // now, under the month's lock, give the same preview.
        if (shown) {
            PricePreview now;
            if (!PreviewStylePrices(productId, changes, anyDay, &now))
                return false;
            outdated = !SamePreview(*shown, now);
            if (outdated)
                return false;
        }
        for (const StepChange& step : changes) {
            QString before;
            if (!ReadRowValues(kStepTable, kKeyColumn, step.id, &before))
                return false;
            QVariantList params{step.name, step.price, step.id};
            if (!ExecQuery(DM->DmQuery, WithRowVersion(kSaveStepSql, &params, step.version), params))
                return false;
            // Another clerk changed or deleted the step since the list was read: none is saved.
            if (DM->DmQuery->rowsAffected() == 0) {
                changedByOther = OtherClerksWrite();
                if (changedByOther)
                    return false;
                continue;
            }
            QString after;
            if (!ReadRowValues(kStepTable, kKeyColumn, step.id, &after) ||
                !LogChange({change::kEditStep, kStepTable, step.id, before, after, QString()}))
                return false;
        }
        // The number and step count now stored: an edited style number is used.
        if (!OpenQuery(DM->DmQuery, kStyleStepsSql, {productId}))
            return false;
        if (DM->DmQuery->recordCount() == 0)
            return true;
        const qint64 steps = DM->DmQuery->field(0).asInteger();
        const QString kind = DM->DmQuery->field(1).asString();
        return ApplyStylePrices(DM->DmQuery, kind, steps, anyDay);
    });
    if (changedByOther)
        ShowChangedByOther();
    if (outdated)
        toolkit::ShowStop(kPreviewOutdated);
    return saved;
}

bool ApplyMonthPrices(const QDate& anyDay, const std::function<void(int, int)>& progress, const PricePreview* shown)
{
    // The bulk update walks the month's records once per style: a page cache that holds a month of a
    // large workshop (32 MiB) keeps every walk after the first from reading the pages again.
    const QString cache = data::largeReadCacheStatement(CurrentDialect());
    if (!cache.isEmpty() && !ExecQuery(DM->UserQuery, cache))
        return false;
    bool outdated = false;
    const bool applied = RunInTransaction([&] {
        if (!MonthsOpen({anyDay}, data::MonthHold::Pricing))
            return false;
        if (shown) {
            PricePreview now;
            if (!PreviewMonthPrices(anyDay, &now))
                return false;
            outdated = !SamePreview(*shown, now);
            if (outdated)
                return false;
        }
        if (!OpenQuery(DM->DmQuery, kAllStylesSql))
            return false;
        // The styles are read once: what runs while the user interface has its turn cannot move
        // the update's place among them.
        struct Style {
            qint64 steps;
            QString kind;
        };
        QList<Style> styles;
        styles.reserve(DM->DmQuery->recordCount());
        for (DM->DmQuery->first(); !DM->DmQuery->eof(); DM->DmQuery->next())
            styles.append({DM->DmQuery->field(0).asInteger(), DM->DmQuery->field(1).asString()});
        // Only the styles with records in the month have anything to write; the others are passed
        // over without a statement.
        if (!OpenQuery(DM->UserQuery, kMonthStylesSql, {MonthStart(anyDay), NextMonthStart(anyDay)}))
            return false;
        QSet<QString> inMonth;
        for (DM->UserQuery->first(); !DM->UserQuery->eof(); DM->UserQuery->next())
            inMonth.insert(DM->UserQuery->field(0).asString().toCaseFolded());
        const int total = int(styles.size());
        if (progress)
            progress(0, total);
        for (int i = 0; i < total; ++i) {
            const Style& style = styles.at(i);
            if (inMonth.contains(style.kind.toCaseFolded()) &&
                !ApplyStylePrices(DM->UserQuery, style.kind, style.steps, anyDay))
                return false;
            if (progress)
                progress(i + 1, total);
        }
        return true;
    });
    if (outdated)
        toolkit::ShowStop(kPreviewOutdated);
    return applied;
}

// ---- The window ------------------------------------------------------------------------------------

TProduceForm::TProduceForm(QWidget* parent) : toolkit::ChildWindow(parent)
{
    ProduceForm = this;
    setObjectName(QStringLiteral("ProduceForm"));
    setWindowTitle(QStringLiteral("产品工序"));
    setDesignedSize(711, 435);

    RzPage = new QTabWidget(this);
    RzPage->setObjectName(QStringLiteral("RzPage"));
    RzPage->setGeometry(0, 0, 711, 435);
    ProductSheet = new QWidget;
    ProductSheet->setObjectName(QStringLiteral("ProductSheet"));
    ProcessSheet = new QWidget;
    ProcessSheet->setObjectName(QStringLiteral("ProcessSheet"));
    RzPage->addTab(ProductSheet, QStringLiteral("产品款式"));
    RzPage->addTab(ProcessSheet, QStringLiteral("产品工序"));
    buildStyleTab();
    buildStepTab();
    RzPage->setCurrentWidget(ProductSheet);
    connect(RzPage, &QTabWidget::currentChanged, this, &TProduceForm::RzPageChange);

    // Styles sort by their number, which no two styles share.
    DM->ProduceQuery->follow(data::followList(
        QStringLiteral("Product"), listSql(CurrentDialect()), QStringLiteral("Id"),
        {{QStringLiteral("Kind"), true}, {QStringLiteral("Id"), true}}, listRowsSql(CurrentDialect())));
    FormCreate();
}

TProduceForm::~TProduceForm()
{
    if (DM)
        DM->ProduceQuery->follow({});
    if (ProduceForm == this)
        ProduceForm = nullptr;
}

void TProduceForm::buildStyleTab()
{
    QWidget* page = ProductSheet;
    ProductGrid = new toolkit::DataGrid(page);
    ProductGrid->setObjectName(QStringLiteral("ProductGrid"));
    ProductGrid->setGeometry(4, 4, 457, 362);
    ProductGrid->setRowSelect(true);
    ProductGrid->setDataSource(DM->ProduceSource);
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    ProductGrid->setColumns({
        toolkit::GridColumn{.fieldName = QStringLiteral("Id"), .visible = false},
        toolkit::GridColumn{.fieldName = QStringLiteral("Kind"), .title = QStringLiteral("款式号"), .width = 90},
        toolkit::GridColumn{.fieldName = QStringLiteral("Process"),
                            .title = QStringLiteral("工序数"),
                            .width = 58,
                            .displayMask = QStringLiteral("0"),
                            .alignment = right},
        toolkit::GridColumn{.fieldName = QStringLiteral("KindName"), .title = QStringLiteral("款式名称"), .width = 136},
        toolkit::GridColumn{.fieldName = QStringLiteral("ProductCount"),
                            .title = QStringLiteral("件数"),
                            .width = 66,
                            .displayMask = QStringLiteral("0"),
                            .alignment = right},
        toolkit::GridColumn{.fieldName = QStringLiteral("ProductDate"),
                            .title = QStringLiteral("加工日期"),
                            .width = 90,
                            .displayMask = QStringLiteral("yyyy-MM-dd")},
    });
    connect(ProductGrid, &toolkit::DataGrid::mousePressed, this, &TProduceForm::ProductGridMouseDown);
    ProductGrid->viewport()->installEventFilter(this);

    const int labelX = 470;
    const int editX = 552;
    Label1 =
        toolkit::makeFieldLabel(page, QStringLiteral("Label1"), QStringLiteral("款式号："), QRect(labelX, 14, 80, 22));
    Kind_Edit = makeEdit(page, QStringLiteral("Kind_Edit"), QRect(editX, 12, 145, 24));
    Label2 =
        toolkit::makeFieldLabel(page, QStringLiteral("Label2"), QStringLiteral("工序数："), QRect(labelX, 48, 80, 22));
    Process_Edit = makeEdit(page, QStringLiteral("Process_Edit"), QRect(editX, 46, 145, 24));
    Label3 = toolkit::makeFieldLabel(page, QStringLiteral("Label3"), QStringLiteral("款式名称："),
                                     QRect(labelX, 82, 80, 22));
    KindName_Edit = makeEdit(page, QStringLiteral("KindName_Edit"), QRect(editX, 80, 145, 24));
    Label4 = toolkit::makeFieldLabel(page, QStringLiteral("Label4"), QStringLiteral("产品件数："),
                                     QRect(labelX, 116, 80, 22));
    ProductCount_Edit = makeEdit(page, QStringLiteral("ProductCount_Edit"), QRect(editX, 114, 145, 24));
    Label5 = toolkit::makeFieldLabel(page, QStringLiteral("Label5"), QStringLiteral("加工日期："),
                                     QRect(labelX, 150, 80, 22));
    ProductPicker = new QDateEdit(page);
    ProductPicker->setObjectName(QStringLiteral("ProductPicker"));
    ProductPicker->setGeometry(editX, 148, 145, 24);
    ProductPicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    ProductPicker->setCalendarPopup(true);

    const auto button = [page](const QString& name, const QString& text, const QRect& geometry) {
        return toolkit::makePushButton(page, name, text, geometry);
    };
    cmdadd = button(QStringLiteral("cmdadd"), QStringLiteral("新增"), QRect(478, 190, 100, 30));
    cmddelete = button(QStringLiteral("cmddelete"), QStringLiteral("删除"), QRect(590, 190, 100, 30));
    cmdedit = button(QStringLiteral("cmdedit"), QStringLiteral("编辑"), QRect(478, 228, 100, 30));
    cmdedit->setEnabled(false);
    cmdexit = toolkit::makeExitButton(page, QRect(590, 228, 100, 30));
    Searchtxt = makeEdit(page, QStringLiteral("Searchtxt"), QRect(478, 282, 130, 26));
    cmdsearch = button(QStringLiteral("cmdsearch"), QStringLiteral("查询"), QRect(614, 280, 76, 30));
    Button1 = button(QStringLiteral("Button1"), QStringLiteral("批量更新工序单价"), QRect(478, 326, 212, 34));

    ProgressBar = new QProgressBar(page);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(4, 374, 695, 20);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);

    setTabOrder(Kind_Edit, Process_Edit);
    setTabOrder(Process_Edit, KindName_Edit);
    setTabOrder(KindName_Edit, ProductCount_Edit);
    setTabOrder(ProductCount_Edit, ProductPicker);
    setTabOrder(ProductPicker, cmdadd);
    setTabOrder(cmdadd, cmddelete);
    setTabOrder(cmddelete, cmdedit);
    setTabOrder(cmdedit, cmdexit);
    setTabOrder(cmdexit, Searchtxt);
    setTabOrder(Searchtxt, cmdsearch);
    setTabOrder(cmdsearch, ProductGrid);
    setTabOrder(ProductGrid, Button1);

    connect(Kind_Edit, &QLineEdit::returnPressed, this, &TProduceForm::Kind_EditKeyPress);
    connect(Process_Edit, &QLineEdit::returnPressed, this, &TProduceForm::Process_EditKeyPress);
    connect(KindName_Edit, &QLineEdit::returnPressed, this, &TProduceForm::KindName_EditKeyPress);
    connect(cmdadd, &QPushButton::clicked, this, &TProduceForm::cmdaddClick);
    connect(cmddelete, &QPushButton::clicked, this, &TProduceForm::cmddeleteClick);
    connect(cmdedit, &QPushButton::clicked, this, &TProduceForm::cmdeditClick);
    connect(cmdexit, &QPushButton::clicked, this, &TProduceForm::closeWindow);
    connect(cmdsearch, &QPushButton::clicked, this, &TProduceForm::cmdsearchClick);
    connect(Button1, &QPushButton::clicked, this, &TProduceForm::Button1Click);
}

void TProduceForm::buildStepTab()
{
    QWidget* page = ProcessSheet;
    ProcessGrid = new toolkit::DataGrid(page);
    ProcessGrid->setObjectName(QStringLiteral("ProcessGrid"));
    ProcessGrid->setGeometry(4, 4, 697, 273);
    ProcessGrid->setRowSelect(false);
    ProcessGrid->setMultiSelect(true);
    ProcessGrid->setDataSource(DM->ProcessSource);
    ProcessGrid->setColumns({
        toolkit::GridColumn{.fieldName = QStringLiteral("id"), .visible = false},
        toolkit::GridColumn{.fieldName = QStringLiteral("Process"), .title = QStringLiteral("工序号"), .width = 120},
        toolkit::GridColumn{
            .fieldName = QStringLiteral("ProcessName"), .title = QStringLiteral("工序名称"), .width = 360},
        toolkit::GridColumn{.fieldName = QStringLiteral("Productsize"), .visible = false},
        toolkit::GridColumn{.fieldName = QStringLiteral("Productid"), .visible = false},
        toolkit::GridColumn{.fieldName = QStringLiteral("Price"),
                            .title = QStringLiteral("价格(元)"),
                            .width = 160,
                            .displayMask = toolkit::kYuanMask,
                            .alignment = Qt::AlignRight | Qt::AlignVCenter},
    });
    ProcessGrid->setEditable(true);
    ProcessGrid->setAlwaysShowEditor(true);
    ProcessGrid->setColumnReadOnly(StepLabel, true);
    ProcessGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    Label6 =
        toolkit::makeFieldLabel(page, QStringLiteral("Label6"), QStringLiteral("工序月份："), QRect(24, 302, 80, 22));
    year_edit_s = new QSpinBox(page);
    year_edit_s->setObjectName(QStringLiteral("year_edit_s"));
    year_edit_s->setGeometry(104, 300, 76, 24);
    year_edit_s->setRange(2003, 9999);
    year_edit_s->setValue(2003);
    Label7 = toolkit::makeFieldLabel(page, QStringLiteral("Label7"), QStringLiteral("年"), QRect(184, 302, 18, 22));
    month_edit_s = new toolkit::MonthSpinEdit(page);
    month_edit_s->setObjectName(QStringLiteral("month_edit_s"));
    month_edit_s->setGeometry(204, 300, 56, 24);
    month_edit_s->setRange(1, 12);
    month_edit_s->setValue(1);
    Label8 = toolkit::makeFieldLabel(page, QStringLiteral("Label8"), QStringLiteral("月"), QRect(264, 302, 18, 22));

    const auto button = [page](const QString& name, const QString& text, const QRect& geometry) {
        return toolkit::makePushButton(page, name, text, geometry);
    };
    Process_cmdsave = button(QStringLiteral("Process_cmdsave"), QStringLiteral("保存"), QRect(470, 296, 100, 30));
    process_cmdexit = toolkit::makeExitButton(page, QRect(586, 296, 100, 30));
    process_cmdexit->setObjectName(QStringLiteral("process_cmdexit"));

    setTabOrder(ProcessGrid, year_edit_s);
    setTabOrder(year_edit_s, month_edit_s);
    setTabOrder(month_edit_s, Process_cmdsave);
    setTabOrder(Process_cmdsave, process_cmdexit);

    connect(month_edit_s, &QSpinBox::textChanged, this, &TProduceForm::month_edit_sChange);
    connect(Process_cmdsave, &QPushButton::clicked, this, &TProduceForm::Process_cmdsaveClick);
    connect(process_cmdexit, &QPushButton::clicked, this, &TProduceForm::closeWindow);
}

void TProduceForm::FormCreate()
{
    DataRefresh();
    ProductPicker->setDate(QDate::currentDate());
}

TProduceForm* TProduceForm::OpenFromEntry(toolkit::ChildWindow* owner)
{
    auto* form = new TProduceForm; // registers itself as ProduceForm
    form->OpenedFromEntry = true;
    // The owner going closes its product window, and then no reload is asked of it.
    const auto closeWithOwner = [form] {
        form->OpenedFromEntry = false;
        form->closeWindow();
    };
    connect(owner, &toolkit::ChildWindow::closed, form, closeWithOwner);
    connect(owner, &QObject::destroyed, form, closeWithOwner);
    present(form);
    return form;
}

void TProduceForm::FormClose()
{
    if (!OpenedFromEntry)
        return;
    OpenedFromEntry = false;
    emit entryReloadRequested();
}

void TProduceForm::DataRefresh()
{
    OpenQuery(DM->ProduceQuery, listSql(CurrentDialect()));
}

void TProduceForm::clearStyleFields()
{
    Kind_Edit->clear();
    Process_Edit->clear();
    KindName_Edit->clear();
    ProductCount_Edit->clear();
    ProductPicker->setDate(QDate::currentDate());
}

// ---- Style tab ---------------------------------------------------------------------------------------

void TProduceForm::ProductGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)
{
    const data::DataSet* set = DM->ProduceQuery;
    const QVariant id = KeyParam(set->fieldByName(QStringLiteral("Id")));
    if (!id.isValid())
        return; // an empty list
    SelectedId = id;
    SelectedVersion = RowVersionOf(set);
    SelectedKind = set->fieldByName(QStringLiteral("Kind")).asString();
    SelectedProcess = set->fieldByName(QStringLiteral("Process")).asString();
    Kind_Edit->setText(SelectedKind);
    Process_Edit->setText(SelectedProcess);
    KindName_Edit->setText(set->fieldByName(QStringLiteral("KindName")).asString());
    ProductCount_Edit->setText(set->fieldByName(QStringLiteral("ProductCount")).asString());
    const QDate date =
        QDate::fromString(set->fieldByName(QStringLiteral("ProductDate")).asString(), QStringLiteral("yyyy-MM-dd"));
    if (date.isValid())
        ProductPicker->setDate(date);
    cmdedit->setEnabled(true);
}

void TProduceForm::ProductGridDblClick()
{
    if (!KeyParam(DM->ProduceQuery->fieldByName(QStringLiteral("Id"))).isValid()) {
        toolkit::ShowStop(kPickFirst);
        return;
    }
    RzPage->setCurrentWidget(ProcessSheet);
}

void TProduceForm::Kind_EditKeyPress()
{
    Process_Edit->setFocus();
}

void TProduceForm::Process_EditKeyPress()
{
    KindName_Edit->setFocus();
}

void TProduceForm::KindName_EditKeyPress()
{
    ProductCount_Edit->setFocus();
}

bool TProduceForm::styleFieldsValid()
{
    if (Kind_Edit->text().trimmed().isEmpty()) {
        toolkit::ShowStop(kKindEmpty);
        Kind_Edit->setFocus();
        return false;
    }
    const QString steps = Process_Edit->text();
    if (steps.trimmed().isEmpty() || !IsInteger(steps)) {
        toolkit::ShowStop(kStepsNotInteger);
        Process_Edit->setFocus();
        return false;
    }
    if (IntegerValue(steps) > kMaxSteps) {
        toolkit::ShowStop(kTooManySteps);
        Process_Edit->setFocus();
        return false;
    }
    const QString count = ProductCount_Edit->text();
    if (!count.trimmed().isEmpty() && !IsInteger(count)) {
        toolkit::ShowStop(kCountNotInteger);
        ProductCount_Edit->setFocus();
        return false;
    }
    return true;
}

bool TProduceForm::kindTaken(const QString& kind, const QVariant& exceptId, bool* taken)
{
    const bool ok = exceptId.isValid() ? OpenQuery(DM->ProduceQuery, kKindTakenByOtherSql, {kind, exceptId})
                                       : OpenQuery(DM->ProduceQuery, kKindTakenSql, {kind});
    *taken = ok && DM->ProduceQuery->recordCount() > 0;
    return ok;
}

void TProduceForm::cmdaddClick()
{
    if (!styleFieldsValid())
        return;
    const QString kind = Kind_Edit->text();
    bool taken = false;
    if (!kindTaken(kind, QVariant(), &taken) || taken) {
        if (taken)
            toolkit::ShowStop(kKindRepeated);
        DataRefresh();
        return;
    }
    if (ProductCount_Edit->text().trimmed().isEmpty())
        ProductCount_Edit->setText(QStringLiteral("0"));
    const qint64 steps = IntegerValue(Process_Edit->text());
    // The style and its step rows are stored together or not at all.
    const bool added = RunInTransaction([&] {
        if (!ExecQuery(
                DM->ProduceQuery, kAddSql,
                {kind, steps, KindName_Edit->text(), IntegerValue(ProductCount_Edit->text()), ProductPicker->date()}))
            return false;
        const QVariant id = DM->ProduceQuery->lastInsertId();
        for (int i = 1; i <= steps; ++i)
            if (!ExecQuery(DM->ProduceQuery, kAddStepSql, {stepLabel(i), kind}))
                return false;
        QString after;
        return ReadRowValues(kProductTable, kKeyColumn, id, &after) &&
               LogChange({change::kAddStyle, kProductTable, id, QString(), after, QString()});
    });
    if (added) {
        clearStyleFields();
        Kind_Edit->setFocus();
    }
    DataRefresh();
}

void TProduceForm::cmdeditClick()
{
    if (!SelectedId.isValid()) {
        toolkit::ShowStop(kPickToEdit);
        return;
    }
    if (!styleFieldsValid())
        return;
    const QString kind = Kind_Edit->text();
    bool taken = false;
    if (!kindTaken(kind, SelectedId, &taken) || taken) {
        if (taken)
            toolkit::ShowStop(kKindRepeated);
        DataRefresh();
        return;
    }
    if (ProductCount_Edit->text().trimmed().isEmpty())
        ProductCount_Edit->setText(QStringLiteral("0"));
    const qint64 steps = IntegerValue(Process_Edit->text());
    const QString name = KindName_Edit->text();
    bool styleGone = false;
    bool changedByOther = false;
    // The style, its number and name in its records, and its steps change together or not at all.
    const bool edited = RunInTransaction([&] {
        if (!OpenQuery(DM->ProduceQuery, kStoredStyleSql, {SelectedId}))
            return false;
        if (DM->ProduceQuery->recordCount() == 0) {
            styleGone = true;
            return false;
        }
        const QString oldKind = DM->ProduceQuery->field(0).asString();
        const qint64 oldSteps = DM->ProduceQuery->field(1).asInteger();
        const QString oldName = DM->ProduceQuery->field(2).asString();
        QString before;
        if (!ReadRowValues(kProductTable, kKeyColumn, SelectedId, &before))
            return false;
        // The style only while it is as the list showed it.
        QVariantList params{kind,      steps, name, IntegerValue(ProductCount_Edit->text()), ProductPicker->date(),
                            SelectedId};
        if (!ExecQuery(DM->ProduceQuery, WithRowVersion(kEditSql, &params, SelectedVersion), params))
            return false;
        if (DM->ProduceQuery->rowsAffected() == 0 && OtherClerksWrite()) {
            changedByOther = true;
            return false;
        }
        // A new number takes the style's steps and piece-work records along.
        if (oldKind != kind && (!ExecQuery(DM->ProduceQuery, kCarryStepsSql, {kind, oldKind}) ||
                                !ExecQuery(DM->ProduceQuery, kCarryRecordsSql, {kind, oldKind})))
            return false;
        if (!ExecQuery(DM->ProduceQuery, kCarryKindNameSql, {name, kind}))
            return false;
        // Carrying changes no quantity or price, so it goes into closed months too; the record
        // names how many records took the new number or name.
        const int carried = DM->ProduceQuery->rowsAffected();
        if ((oldKind != kind || oldName != name) && carried > 0 &&
            !LogChange(carryLine(oldKind, oldName, kind, name, carried)))
            return false;
        // A new step count remakes the steps, empty; the records keep what was written into them.
        if (oldSteps != steps) {
            if (!ExecQuery(DM->ProduceQuery, kDeleteStepsSql, {kind}))
                return false;
            for (int i = 1; i <= steps; ++i)
                if (!ExecQuery(DM->ProduceQuery, kAddStepSql, {stepLabel(i), kind}))
                    return false;
        }
        QString after;
        if (!ReadRowValues(kProductTable, kKeyColumn, SelectedId, &after))
            return false;
        return after == before || LogChange({change::kEditStyle, kProductTable, SelectedId, before, after, QString()});
    });
    if (styleGone) {
        SelectedId = QVariant();
        toolkit::ShowStop(kPickToEdit);
    }
    if (changedByOther)
        ShowChangedByOther();
    if (!edited) {
        DataRefresh();
        return;
    }
    SelectedKind = kind;
    SelectedProcess = QString::number(steps);
    clearStyleFields();
    Kind_Edit->setFocus();
    DataRefresh();
    cmdedit->setEnabled(false);
}

void TProduceForm::cmddeleteClick()
{
    if (!SelectedId.isValid()) {
        toolkit::ShowStop(kPickToDelete);
        return;
    }
    if (!toolkit::AskDelete())
        return;
    // The style goes with its steps; its piece-work records stay. A style already gone takes
    // nobody's steps with it.
    bool alreadyGone = false;
    const bool deleted = RunInTransaction([&] {
        if (!OpenQuery(DM->ProduceQuery, styleToDeleteSql(CurrentDialect()), {SelectedId}))
            return false;
        if (DM->ProduceQuery->recordCount() == 0) {
            alreadyGone = true;
            return true;
        }
        const QString kind = DM->ProduceQuery->field(0).asString();
        QString before;
        return ReadRowValues(kProductTable, kKeyColumn, SelectedId, &before) &&
               ExecQuery(DM->ProduceQuery, kDeleteSql, {SelectedId}) &&
               ExecQuery(DM->ProduceQuery, kDeleteStepsSql, {kind}) &&
               LogChange({change::kDeleteStyle, kProductTable, SelectedId, before, QString(), QString()});
    });
    // Another clerk deleted the style since it was picked (not this window a moment ago).
    if (alreadyGone && OtherClerksWrite() && SelectedVersion.isValid())
        ShowDeletedByOther();
    if (deleted) {
        SelectedVersion = QVariant();
        clearStyleFields();
    }
    DataRefresh();
}

void TProduceForm::cmdsearchClick()
{
    const QString text = Searchtxt->text();
    if (text.isEmpty()) {
        OpenQuery(DM->ProduceQuery, searchAllSql(CurrentDialect()));
        return;
    }
    const QString pattern = ContainsPattern(text);
    OpenQuery(DM->ProduceQuery, searchSql(CurrentDialect()), {pattern, pattern, pattern, pattern, pattern});
}

void TProduceForm::RzPageChange()
{
    if (RzPage->currentWidget() == ProductSheet) {
        SelectedId = QVariant();
        return;
    }
    const QDate today = QDate::currentDate();
    year_edit_s->setValue(today.year());
    month_edit_s->setValue(today.month());
    if (!SelectedId.isValid()) {
        RzPage->setCurrentWidget(ProductSheet);
        return;
    }
    loadSteps();
}

bool TProduceForm::eventFilter(QObject* watched, QEvent* event)
{
    if (m_bulkRunning) {
        // While the bulk update runs, the program's windows take no input and cannot close;
        // windows that open meanwhile (a failure's box) work as usual.
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool blockedWindow = widget && m_blockedWindows.contains(widget->window());
        switch (event->type()) {
        case QEvent::Shortcut: return true;
        case QEvent::Close:
            if (!blockedWindow)
                break;
            event->ignore();
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            if (blockedWindow)
                return true;
            break;
        default: break;
        }
    }
    if (watched == ProductGrid->viewport() && event->type() == QEvent::MouseButtonDblClick)
        ProductGridDblClick();
    return toolkit::ChildWindow::eventFilter(watched, event);
}

void TProduceForm::setProgramWindowsEnabled(bool enabled)
{
    if (!enabled) {
        m_blockedWindows.clear();
        for (QWidget* window : QApplication::topLevelWidgets()) {
            m_blockedWindows.append(window);
            if (!window->isVisible())
                continue;
            // The windows' contents are greyed out; the windows themselves stay enabled, so that a
            // box opened over one of them can be answered.
            for (QObject* child : window->children()) {
                auto* widget = qobject_cast<QWidget*>(child);
                if (widget && !widget->isWindow() && widget->isEnabled()) {
                    widget->setEnabled(false);
                    m_disabledWidgets.append(widget);
                }
            }
        }
        qApp->installEventFilter(this);
        return;
    }
    qApp->removeEventFilter(this);
    for (const QPointer<QWidget>& widget : std::as_const(m_disabledWidgets))
        if (widget)
            widget->setEnabled(true);
    m_disabledWidgets.clear();
    m_blockedWindows.clear();
}

void TProduceForm::Button1Click()
{
    if (m_bulkRunning)
        return;
    if (toolkit::MessageBox(kAskBulkUpdate, kAskCaption, QMessageBox::Yes | QMessageBox::No,
                            toolkit::MsgIcon::Question) != QMessageBox::Yes)
        return;
    const QDate today = QDate::currentDate();
    PricePreview preview;
    if (!monthOpenForPreview(today) || !PreviewMonthPrices(today, &preview))
        return;
    if (preview.records == 0) {
        toolkit::ShowStop(kNothingToUpdate);
        return;
    }
    if (!TPricePreviewForm::Ask(preview, today, this))
        return;
    m_bulkRunning = true;
    setProgramWindowsEnabled(false);
    ApplyMonthPrices(
        today,
        [this](int done, int total) {
            ProgressBar->setMaximum(std::max(1, total));
            ProgressBar->setValue(done);
            QCoreApplication::processEvents();
        },
        &preview);
    setProgramWindowsEnabled(true);
    m_bulkRunning = false;
    ProgressBar->setValue(0);
}

// ---- Step tab ----------------------------------------------------------------------------------------

void TProduceForm::loadSteps()
{
    m_loadedSteps.clear();
    if (!OpenQuery(DM->ProcessDataSet, stepsSql(CurrentDialect()), {SelectedKind}))
        return;
    const data::DataSet* set = DM->ProcessDataSet;
    const int id = set->findField(QStringLiteral("Id"));
    const int name = set->findField(QStringLiteral("ProcessName"));
    const int price = set->findField(QStringLiteral("Price"));
    const int version = set->findField(QLatin1String(data::kRowVersionField));
    for (int row = 0; row < set->recordCount(); ++row)
        m_loadedSteps.insert(set->value(row, id).toLongLong(), {set->value(row, name), set->value(row, price),
                                                                version < 0 ? QVariant() : set->value(row, version)});
}

void TProduceForm::month_edit_sChange(const QString& text)
{
    static_cast<toolkit::MonthSpinEdit*>(month_edit_s)->padTypedDigit(text);
}

bool TProduceForm::collectStepChanges(QList<StepChange>* changes)
{
    const data::DataSet* set = DM->ProcessDataSet;
    if (!set->isActive())
        return true;
    const int id = set->findField(QStringLiteral("Id"));
    const int label = set->findField(QStringLiteral("Process"));
    const int name = set->findField(QStringLiteral("ProcessName"));
    const int price = set->findField(QStringLiteral("Price"));
    if (id < 0 || label < 0 || name < 0 || price < 0)
        return true; // another result in the shared dataset: no step rows of this window
    for (int row = 0; row < set->recordCount(); ++row) {
        const std::optional<QVariant> typedPrice = priceValue(set->value(row, price));
        if (!typedPrice) {
            toolkit::ShowStop(badPriceText(set->value(row, label).toString()));
            ProcessGrid->setCurrentIndex(ProcessGrid->model()->index(row, StepPrice));
            return false;
        }
        const qlonglong key = set->value(row, id).toLongLong();
        const QVariant typedName = set->value(row, name);
        const auto loaded = m_loadedSteps.constFind(key);
        if (loaded == m_loadedSteps.constEnd())
            changes->append({key, typedName, *typedPrice, QVariant()});
        else if (!sameValue(typedName, loaded->name) || !sameValue(*typedPrice, loaded->price))
            changes->append({key, typedName, *typedPrice, loaded->version});
    }
    return true;
}

void TProduceForm::Process_cmdsaveClick()
{
    ProcessGrid->postEditor();
    QList<StepChange> changes;
    if (!collectStepChanges(&changes))
        return;
    const QString year = QString::number(year_edit_s->value());
    const QString month = QStringLiteral("%1").arg(month_edit_s->value(), 2, 10, QLatin1Char('0'));
    if (toolkit::MessageBox(askSaveText(year, month), kAskCaption, QMessageBox::Yes | QMessageBox::No,
                            toolkit::MsgIcon::Question) != QMessageBox::Yes)
        return;
    const QDate firstDay(year_edit_s->value(), month_edit_s->value(), 1);
    // A month without records of the style still takes the step rows, without a preview.
    PricePreview preview;
    if (!monthOpenForPreview(firstDay) || !PreviewStylePrices(SelectedId, changes, firstDay, &preview))
        return;
    if (preview.records > 0 && !TPricePreviewForm::Ask(preview, firstDay, this))
        return; // the changes stay in the list
    if (!SaveStylePrices(SelectedId, changes, firstDay, &preview))
        return; // the changes stay in the list, to be saved again
    loadSteps();
}
