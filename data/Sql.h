#pragma once

#include "data/Dialect.h"
#include "data/SqlText.h"

#include <QDate>
#include <QString>
#include <QVariantList>

#include <functional>

namespace data {
class Connection;
class DataSet;
} // namespace data

// Statement helpers every window uses. The statement's values are bound as parameters ("?" in the
// text), never pasted into it. On failure the helpers show the standard box quoting the statement
// with its values written in and the cause in the user's words, leave the dataset closed and
// return false, so that a caller can stop a sequence at the first failure.

// Closes the dataset, sets the statement and opens it.
bool OpenQuery(data::DataSet* query, const QString& sql, const QVariantList& params = {});
// Closes the dataset, sets the statement and executes it; the dataset stays closed.
bool ExecQuery(data::DataSet* query, const QString& sql, const QVariantList& params = {});
// Runs work (a sequence of OpenQuery/ExecQuery calls on the connection's datasets) in one
// transaction: committed when work returns true, rolled back otherwise, so that a failure leaves
// nothing half done. A failed BEGIN, COMMIT or ROLLBACK shows the standard box too; the result is
// true only when the work is committed. Inside an open transaction, work simply joins it.
bool RunInTransaction(data::Connection& connection, const std::function<bool()>& work);
// The same on the current data module's connection.
bool RunInTransaction(const std::function<bool()>& work);

// Takes the price lock of the month of anyDay on the current data module's connection until the
// open transaction ends (see data::monthLockStatement): prices applied to a month and records saved
// into it then follow one another, so an application reaches every record saved before it ends and
// no record saved while it runs is passed over. Waits for the lock up to the busy timeout. True
// without a statement where the engine needs none.
bool HoldMonthPrices(const QDate& anyDay, data::MonthHold hold);
// Runs work in one transaction that holds the month's price lock for entry; without a lock to take,
// work simply runs (one statement is its own transaction).
bool RunHoldingMonthForEntry(const QDate& anyDay, const std::function<bool()>& work);

// The SQL dialect of the current data module's engine, for the few statement pieces that differ.
data::Dialect CurrentDialect();

// Saves that meet another clerk's. A list reads each row's version (data::rowVersionTerm); a window
// remembers the version of the row it fills its fields from, and writes that row only while it
// still holds that version.

// True where other clerks' programs write the same database at the same time (a server); a file
// has one program at a time.
bool OtherClerksWrite();
// The version of the dataset's current record, as its list read it; invalid where the list reads
// no versions (a file) or holds no record.
QVariant RowVersionOf(const data::DataSet* list);
// A write statement whose text ends in the picked row's key condition ("... Where Id=?"), made to
// write that row only while it holds version: on an engine with row versions the version condition
// goes after the key condition and version after the values; elsewhere sql and params stay as they
// are. The statement then changes no row when another clerk has changed or deleted it.
QString WithRowVersion(const QString& sql, QVariantList* params, const QVariant& version);
// The boxes that say that a save changed nothing because another clerk changed the row since it
// was read, and that a delete found the row already deleted by another clerk.
void ShowChangedByOther();
void ShowDeletedByOther();

// The box text the helpers show for a failed statement: the statement with its values, then the
// cause on a line of its own.
QString StatementErrorText(const QString& sql, const QVariantList& params, const QString& cause = QString());
