#include "data/Sql.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/Transaction.h"
#include "toolkit/MessageBox.h"

namespace {

bool reportFailure(const data::DataSet* query)
{
    toolkit::ShowStop(StatementErrorText(query->sql(), query->params(), query->lastError().text));
    return false;
}

} // namespace

QString StatementErrorText(const QString& sql, const QVariantList& params, const QString& cause)
{
    QString text = QStringLiteral("操作数据表时出错, 执行语句为:\n\n") + data::statementWithValues(sql, params);
    if (!cause.isEmpty())
        text += QStringLiteral("\n\n") + cause;
    return text;
}

bool OpenQuery(data::DataSet* query, const QString& sql, const QVariantList& params)
{
    query->close();
    query->setSql(sql, params);
    return query->open() || reportFailure(query);
}

bool ExecQuery(data::DataSet* query, const QString& sql, const QVariantList& params)
{
    query->close();
    query->setSql(sql, params);
    return query->execSql() || reportFailure(query);
}

bool RunInTransaction(data::Connection& connection, const std::function<bool()>& work)
{
    QList<data::TransactionFailure> failures;
    const bool committed = data::runInTransaction(connection, work, &failures);
    for (const data::TransactionFailure& failure : failures)
        toolkit::ShowStop(StatementErrorText(failure.statement, {}, failure.error.text));
    return committed;
}

bool RunInTransaction(const std::function<bool()>& work)
{
    if (!DM) {
        toolkit::ShowStop(StatementErrorText(QStringLiteral("BEGIN IMMEDIATE"), {},
                                             QStringLiteral("程序还没有建立数据模块，不能操作数据库")));
        return false;
    }
    return RunInTransaction(*DM->connection(), work);
}

bool HoldMonthPrices(const QDate& anyDay, data::MonthHold hold)
{
    const QString statement = data::monthLockStatement(CurrentDialect(), hold);
    if (statement.isEmpty())
        return true;
    data::DataSet lock(QStringLiteral("MonthLock"), DM->connection());
    return ExecQuery(&lock, statement, {data::kMonthLockSpace, anyDay.year() * 100 + anyDay.month()});
}

bool RunHoldingMonthForEntry(const QDate& anyDay, const std::function<bool()>& work)
{
    if (data::monthLockStatement(CurrentDialect(), data::MonthHold::Entry).isEmpty())
        return work();
    return RunInTransaction([&] { return HoldMonthPrices(anyDay, data::MonthHold::Entry) && work(); });
}

bool OtherClerksWrite()
{
    return DM && DM->connection()->onServer();
}

QVariant RowVersionOf(const data::DataSet* list)
{
    return KeyParam(list->fieldByName(QLatin1String(data::kRowVersionField)));
}

QString WithRowVersion(const QString& sql, QVariantList* params, const QVariant& version)
{
    const QString condition = data::rowVersionCondition(CurrentDialect());
    if (!OtherClerksWrite() || condition.isEmpty())
        return sql;
    // A version that was never read compares with nothing: the save is refused rather than made blind.
    params->append(version.isValid() ? version.toString() : QVariant());
    return sql + condition;
}

void ShowChangedByOther()
{
    toolkit::ShowStop(QStringLiteral("该记录已被其他用户修改，请刷新后重试!"));
}

void ShowDeletedByOther()
{
    toolkit::ShowStop(QStringLiteral("该记录已被其他用户删除!"));
}

data::Dialect CurrentDialect()
{
    return DM ? DM->connection()->dialect() : data::Dialect::Sqlite;
}
