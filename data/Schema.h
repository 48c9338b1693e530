#pragma once

#include "data/Dialect.h"

#include <QString>
#include <QStringList>

namespace data {

// The statements that create the program's tables and indexes in an empty database of the given
// engine, as one text: sqlite3_exec runs the SQLite one, PQexec the PostgreSQL one. Both come from
// one description of the tables, so the two engines hold the same tables, columns and indexes.
QString schemaText(Dialect dialect);

// The tables of the closed months (MonthClose) and of the change record (ChangeLog), created with
// their indexes where missing, and the guard that keeps every line of the change record as written.
// schemaText holds them too; a database of an earlier version gets them when it is opened.
QString historyTablesText(Dialect dialect);
QStringList historyTableNames();
// What a statement that tries to change or delete a line of the change record fails with.
inline const QString kChangeLogKeptText = QStringLiteral("修改记录只能增加，不能修改或删除");

// The columns of one of the program's tables (as Connection::kProgramTables names it), in their
// order and spelling; empty for another name.
QStringList tableColumns(const QString& table);

// On the server every change to a table of the program is announced, when it commits, on this
// channel: the table's name in small letters, a blank, and the changed rows' keys separated by
// blanks, or "*" when the statement changed more than kRowNoticeMostKeys rows or emptied the table.
inline const QString kRowNoticeChannel = QStringLiteral("dorvik_rows");
constexpr int kRowNoticeMostKeys = 100;

// Brings a server database prepared before the announcements to the triggers that make them.
QString rowNoticeUpgradeText();

} // namespace data
