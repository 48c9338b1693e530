#pragma once

#include <QString>

namespace data {

// The SQL of the two engines. The program's statements are written once, in a form both run; the
// few pieces that cannot be come from here.
enum class Dialect { Sqlite, Postgres };

// A grouping or order term that must not take its order from an index on the column (a month's
// rows are found through the date index; walking the index in grouping order would read every row).
QString unindexedTerm(Dialect dialect, const QString& column);

// The condition that keeps the step rows labelled "工序1" up to "工序N" (N bound at its "?"), each
// label written exactly so: no leading zero, no sign, no blank.
QString stepLabelFilter(Dialect dialect);
// The same for the label column label and the highest step number given as the term highest (a
// column or a parameter).
QString stepLabelFilter(Dialect dialect, const QString& label, const QString& highest);

// A number column's value as text, for a "contains" search with LIKE: the server compares only
// texts so; SQLite converts the number by itself, so the column stands as it is there.
QString asText(Dialect dialect, const QString& column);

// A number column's value as the user reads it, for a "contains" search: a whole number without
// decimals ("2", not "2.0" or "2.000"), any other number without trailing zeros.
QString wholeNumberText(Dialect dialect, const QString& column);

// A statement that lets a long read of one month keep more pages in memory; empty where the
// engine has nothing of the kind.
QString largeReadCacheStatement(Dialect dialect);

// Who takes a month's price lock: the entry of records shares it, the application of prices holds
// it alone.
enum class MonthHold { Entry, Pricing };

// The statement that takes a month's price lock until the transaction ends, with two values: the
// program's lock space (kMonthLockSpace) and the month as yyyyMM. Empty where the engine lets one
// writer at a time in anyway (a file database), so that there is nothing to order.
QString monthLockStatement(Dialect dialect, MonthHold hold);
constexpr int kMonthLockSpace = 0x44566b; // "DVk": the program's advisory locks on the server

// The name a list reads its rows' versions under.
inline constexpr char kRowVersionField[] = "RowVersion";

// Row versions, so that a clerk's save does not overwrite what another clerk saved since the row
// was read. The server changes a row's system column xmin with every update; a file has one
// program at a time and keeps no versions, so these pieces are empty there.

// A select-list term that reads the row's version as text under kRowVersionField, with its
// leading comma: ", xmin::text AS RowVersion" (of table, where the statement joins several).
QString rowVersionTerm(Dialect dialect, const QString& table = QString());

// The condition, with its leading "And", that a write statement's key condition takes to touch the
// row only while it still holds the version bound at its "?": " And xmin::text = ?".
QString rowVersionCondition(Dialect dialect);

// A read's closing clause inside a transaction that keeps the rows it reads from being changed or
// deleted by others until the transaction ends (" For Share"), or from being changed, deleted or
// locked so (" For Update"). A file is written by one program at a time: nothing to add.
QString lockForShare(Dialect dialect);
QString lockForUpdate(Dialect dialect);

// A date column's month as text "yyyy-MM", for grouping records by month.
QString monthOfDate(Dialect dialect, const QString& column);

} // namespace data
