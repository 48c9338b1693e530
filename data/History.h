#pragma once

#include "data/Dialect.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

// Closed months and the change record, for the windows. Like the statement helpers, these run on
// the current data module's connection, show the standard box on failure and return false, so that
// the caller's transaction rolls back. They are meant to run inside the transaction of the change
// they guard or record (RunInTransaction), so that the check and the record commit or roll back with
// the change itself.

// ---- Closed months ---------------------------------------------------------------------------------

// The one refusal of a change to a closed month's records or prices.
inline const QString kMonthClosedText = QStringLiteral("对不起，该月份已结账，不能修改!");

// A month as MonthClose.Month keeps it: "yyyy-MM".
QString MonthKey(const QDate& anyDay);

// True when the months of all the given days are open. Each month's lock is taken first (hold:
// shared for entry, alone for prices and for closing), so that a month cannot be closed between the
// check and the change's commit. A closed month shows kMonthClosedText and gives false, as does a
// failed statement (after its box); an invalid day is passed over.
bool MonthsOpen(const QList<QDate>& days, data::MonthHold hold);

// ---- The change record ----------------------------------------------------------------------------

// The kinds of change the record names (ChangeLog.ChangeKind).
namespace change {
inline const QString kAddRecord = QStringLiteral("新增计件记录");
inline const QString kEditRecord = QStringLiteral("修改计件记录");
inline const QString kDeleteRecord = QStringLiteral("删除计件记录");
inline const QString kAddStyle = QStringLiteral("新增款式");
inline const QString kEditStyle = QStringLiteral("修改款式");
inline const QString kDeleteStyle = QStringLiteral("删除款式");
inline const QString kEditStep = QStringLiteral("修改工序");
inline const QString kApplyPrices = QStringLiteral("套用工序价格");
inline const QString kCarryIntoRecords = QStringLiteral("带入计件记录");
inline const QString kAddTeam = QStringLiteral("新增班组");
inline const QString kEditTeam = QStringLiteral("修改班组");
inline const QString kDeleteTeam = QStringLiteral("删除班组");
inline const QString kAddWorker = QStringLiteral("新增员工");
inline const QString kEditWorker = QStringLiteral("修改员工");
inline const QString kDeleteWorker = QStringLiteral("删除员工");
inline const QString kCloseMonth = QStringLiteral("月度结账");
inline const QString kReopenMonth = QStringLiteral("反结账");
inline const QString kRestore = QStringLiteral("恢复数据库");
// Every kind, in the order a filter offers them.
QStringList allKinds();
} // namespace change

// How many rows one LogChange writes: a list that patches itself after its own change counts them
// with the change's own rows.
constexpr int kChangeLogRows = 1;

// One line of the change record. before and after are the values as ValuesText writes them (empty
// where there is no row before or after); key is the changed row's key, or another name of what
// changed (a month "yyyy-MM").
struct ChangeLine {
    QString kind;
    QString table;
    QVariant key;
    QString before;
    QString after;
    QString note;
};

// Writes the line with the time now, the logged-in user and this PC.
bool LogChange(const ChangeLine& line);

// Column names and their values as the change record keeps them: a JSON object, in the given order.
QString ValuesText(const QStringList& columns, const QVariantList& values);
// The stored values of one row of a table of the program, read by its key column: ValuesText of
// every column; empty when there is no such row. False after the failure box.
bool ReadRowValues(const QString& table, const QString& keyColumn, const QVariant& key, QString* values);
