#include "piecework/MonthClose.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "data/History.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "data/SqlText.h"
#include "toolkit/DataGrid.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/MessageBox.h"

#include <QDateTime>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TMonthCloseForm* MonthCloseForm = nullptr;

namespace {

// Every month with records or a close, newest first: the records' count and wage total (as the wage
// summary sums them), and the close, where there is one. The two state texts are bound at "?".
QString monthListSql(data::Dialect dialect)
{
    const QString month = data::monthOfDate(dialect, QStringLiteral("ProcessDate"));
    return QStringLiteral("Select coalesce(r.Month,c.Month) AS Month, coalesce(r.Records,0) AS Records, "
                          "coalesce(r.Wages,0) AS Wages, CASE WHEN c.Month IS NULL THEN ? ELSE ? END AS State, "
                          "c.ClosedBy AS ClosedBy, c.ClosedAt AS ClosedAt "
                          "From (Select %1 AS Month, count(*) AS Records, sum(ProductCount*ProcessPrice) AS Wages "
                          "From Salary Group By %1) r "
                          "Full Join MonthClose c On c.Month=r.Month Order By 1 Desc")
        .arg(month);
}

// One month's records as they are closed: the date range the month index serves.
const QString kMonthTotalsSql =
    QStringLiteral("Select count(*) AS Records, coalesce(sum(ProductCount*ProcessPrice),0) AS Wages From Salary "
                   "Where ProcessDate>=? And ProcessDate<?");
const QString kInsertSql = QStringLiteral("Insert Into MonthClose (Month,ClosedBy,ClosedAt) Values (?,?,?)");
const QString kDeleteSql = QStringLiteral("Delete From MonthClose Where Month=?");

const QString kOpenState = QStringLiteral("未结账");
const QString kClosedState = QStringLiteral("已结账");
const QString kPickToClose = QStringLiteral("对不起，请选择所要结账的月份!");
const QString kPickToReopen = QStringLiteral("对不起，请选择所要反结账的月份!");
const QString kAlreadyClosed = QStringLiteral("对不起，该月份已结账!");
const QString kNotClosed = QStringLiteral("对不起，该月份尚未结账!");
const QString kReasonRequired = QStringLiteral("对不起，反结账必须填写原因!");

QDate firstDayOf(const QString& month)
{
    return QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
}

bool askYesNo(const QString& text)
{
    return toolkit::MessageBox(text, QStringLiteral("提示"), QMessageBox::Yes | QMessageBox::No,
                               toolkit::MsgIcon::Question) == QMessageBox::Yes;
}

} // namespace

TMonthCloseForm::TMonthCloseForm(QWidget* parent) : ChildWindow(parent)
{
    MonthCloseForm = this;
    buildControls();
    FormCreate();
}

TMonthCloseForm::~TMonthCloseForm()
{
    if (MonthCloseForm == this)
        MonthCloseForm = nullptr;
}

void TMonthCloseForm::buildControls()
{
    setObjectName(QStringLiteral("MonthCloseForm"));
    setWindowTitle(QStringLiteral("月度结账"));
    setDesignedSize(640, 420);

    MonthQuery = new data::DataSet(QStringLiteral("MonthQuery"), DM->connection(), this);
    MonthSource = new data::DataSource(QStringLiteral("MonthSource"), MonthQuery, this);
    WorkQuery = new data::DataSet(QStringLiteral("MonthWorkQuery"), DM->connection(), this);

    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    MonthGrid = new toolkit::DataGrid(this);
    MonthGrid->setObjectName(QStringLiteral("MonthGrid"));
    MonthGrid->setGeometry(12, 10, 616, 300);
    MonthGrid->setRowSelect(true);
    MonthGrid->setDataSource(MonthSource);
    MonthGrid->setColumns({
        toolkit::GridColumn{.fieldName = QStringLiteral("Month"),
                            .title = QStringLiteral("月份"),
                            .width = 70,
                            .alignment = Qt::AlignCenter},
        toolkit::GridColumn{.fieldName = QStringLiteral("Records"),
                            .title = QStringLiteral("记录数"),
                            .width = 80,
                            .displayMask = QStringLiteral("#,##0"),
                            .alignment = right},
        toolkit::GridColumn{.fieldName = QStringLiteral("Wages"),
                            .title = QStringLiteral("工资合计"),
                            .width = 130,
                            .displayMask = toolkit::kYuanMask,
                            .alignment = right},
        toolkit::GridColumn{.fieldName = QStringLiteral("State"),
                            .title = QStringLiteral("状态"),
                            .width = 64,
                            .alignment = Qt::AlignCenter},
        toolkit::GridColumn{.fieldName = QStringLiteral("ClosedBy"), .title = QStringLiteral("结账人"), .width = 110},
        toolkit::GridColumn{.fieldName = QStringLiteral("ClosedAt"), .title = QStringLiteral("结账时间"), .width = 148},
    });

    ReasonLabel = makeLabel(QStringLiteral("ReasonLabel"), QStringLiteral("反结账原因"), QRect(12, 326, 84, 24));
    ReopenReason = new QLineEdit(this);
    ReopenReason->setObjectName(QStringLiteral("ReopenReason"));
    ReopenReason->setGeometry(100, 324, 528, 26);
    ReopenReason->setMaxLength(200);

    cmdclose = makeButton(QStringLiteral("cmdclose"), QStringLiteral("结账"), QRect(308, 370, 100, 30));
    cmdreopen = makeButton(QStringLiteral("cmdreopen"), QStringLiteral("反结账"), QRect(418, 370, 100, 30));
    cmdexit = makeExitButton(QRect(528, 370, 100, 30));
    setTabOrder(MonthGrid, ReopenReason);
    setTabOrder(ReopenReason, cmdclose);
    setTabOrder(cmdclose, cmdreopen);
    setTabOrder(cmdreopen, cmdexit);

    connect(cmdclose, &QPushButton::clicked, this, &TMonthCloseForm::cmdcloseClick);
    connect(cmdreopen, &QPushButton::clicked, this, &TMonthCloseForm::cmdreopenClick);
    connect(cmdexit, &QPushButton::clicked, this, &TMonthCloseForm::cmdexitClick);
}

void TMonthCloseForm::FormCreate()
{
    DataRefresh();
}

void TMonthCloseForm::DataRefresh(const QString& keepMonth)
{
    if (!OpenQuery(MonthQuery, monthListSql(CurrentDialect()), {kOpenState, kClosedState}))
        return;
    // Reading the list makes its first row current; a month is picked only by the user, or kept.
    MonthGrid->selectionModel()->clearSelection();
    for (int row = 0; row < MonthQuery->recordCount() && !keepMonth.isEmpty(); ++row)
        if (monthAt(row) == keepMonth) {
            MonthGrid->selectRow(row);
            break;
        }
}

QString TMonthCloseForm::monthCaption(const QString& month)
{
    const QDate day = firstDayOf(month);
    return day.isValid() ? QStringLiteral("%1年%2月").arg(day.year()).arg(day.month()) : month;
}

int TMonthCloseForm::pickedRow() const
{
    if (!MonthQuery->isActive())
        return -1;
    const QModelIndexList rows = MonthGrid->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= MonthQuery->recordCount())
        return -1;
    return rows.first().row();
}

QString TMonthCloseForm::monthAt(int row) const
{
    return MonthQuery->value(row, MonthQuery->findField(QStringLiteral("Month"))).toString();
}

bool TMonthCloseForm::isClosed(int row) const
{
    return !MonthQuery->isNull(row, MonthQuery->findField(QStringLiteral("ClosedAt")));
}

void TMonthCloseForm::cmdcloseClick()
{
    const int row = pickedRow();
    if (row < 0) {
        toolkit::ShowStop(kPickToClose);
        return;
    }
    if (isClosed(row)) {
        toolkit::ShowStop(kAlreadyClosed);
        return;
    }
    const QString month = monthAt(row);
    const double wages = MonthQuery->value(row, MonthQuery->findField(QStringLiteral("Wages"))).toDouble();
    if (!askYesNo(QStringLiteral("是否确定要结账%1? 该月工资合计为 %2 元。")
                      .arg(monthCaption(month), toolkit::formatNumber(wages, QStringLiteral("#,##0.00")))))
        return;
    closeMonth(month);
    // Whether it closed or another clerk's close was found, the list shows the month as it is now.
    DataRefresh(month);
}

bool TMonthCloseForm::closeMonth(const QString& month)
{
    const QDate day = firstDayOf(month);
    return RunInTransaction([&] {
        // The month's lock alone: no record of the month is saved between the check and the commit.
        if (!MonthsOpen({day}, data::MonthHold::Pricing))
            return false;
        if (!OpenQuery(WorkQuery, kMonthTotalsSql, {MonthStart(day), NextMonthStart(day)}))
            return false;
        const QVariant records = WorkQuery->value(0, 0);
        const QVariant wages = WorkQuery->value(0, 1);
        const QString closedTime = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!ExecQuery(WorkQuery, kInsertSql, {month, LoginUser, closedTime}))
            return false;
        const QString after =
            ValuesText({QStringLiteral("Month"), QStringLiteral("ClosedBy"), QStringLiteral("ClosedAt"),
                        QStringLiteral("Records"), QStringLiteral("Wages")},
                       {month, LoginUser, closedTime, records, wages});
        return LogChange({change::kCloseMonth, QStringLiteral("MonthClose"), month, QString(), after, QString()});
    });
}

void TMonthCloseForm::cmdreopenClick()
{
    const int row = pickedRow();
    if (row < 0) {
        toolkit::ShowStop(kPickToReopen);
        return;
    }
    if (!isClosed(row)) {
        toolkit::ShowStop(kNotClosed);
        return;
    }
    const QString reason = ReopenReason->text().trimmed();
    if (reason.isEmpty()) {
        toolkit::ShowStop(kReasonRequired);
        ReopenReason->setFocus();
        return;
    }
    const QString month = monthAt(row);
    if (!askYesNo(QStringLiteral("是否确定要反结账%1?").arg(monthCaption(month))))
        return;
    if (reopenMonth(month, reason))
        ReopenReason->clear();
    DataRefresh(month);
}

bool TMonthCloseForm::reopenMonth(const QString& month, const QString& reason)
{
    const QDate day = firstDayOf(month);
    return RunInTransaction([&] {
        if (!HoldMonthPrices(day, data::MonthHold::Pricing))
            return false;
        QString before;
        if (!ReadRowValues(QStringLiteral("MonthClose"), QStringLiteral("Month"), month, &before))
            return false;
        // Another clerk opened it since the list was read.
        if (before.isEmpty()) {
            toolkit::ShowStop(kNotClosed);
            return false;
        }
        if (!ExecQuery(WorkQuery, kDeleteSql, {month}))
            return false;
        return LogChange({change::kReopenMonth, QStringLiteral("MonthClose"), month, before, QString(), reason});
    });
}
