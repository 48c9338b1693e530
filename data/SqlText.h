#pragma once

#include <QDate>
#include <QString>
#include <QVariant>
#include <QVariantList>

namespace data {
class Field;
} // namespace data

// Helpers for the values of statements; they show nothing and touch no database.

// The key of a dataset's current record as a statement parameter, read from its field (never
// from a grid cell's display text): the stored integer or text, or an invalid value when there
// is no current record or no such field.
QVariant KeyParam(const data::Field& field);

// The pattern of a "contains" search for `LIKE ? ESCAPE '\'`: the text between two "%", with
// "%", "_" and "\" in it escaped, so that they match themselves as typed.
QString ContainsPattern(const QString& text);
inline const QString kLikeEscape = QStringLiteral(" ESCAPE '\\'");

// True when text is an integer: leading spaces, then an optionally signed decimal number in the
// signed 32-bit range, or a hexadecimal one ("$", "x", "X", "0x", "0X" and up to eight significant
// digits), and nothing after the last digit.
bool IsInteger(const QString& text);
// The value of a text that passes IsInteger: decimal, or hexadecimal taken as a 32-bit pattern.
qint64 IntegerValue(const QString& text);

// The first day of a month and of the month after it ("yyyy-MM-dd"): a month's records are those
// whose ProcessDate lies between the two, a condition the date index serves.
QString MonthStart(const QDate& anyDay);
QString NextMonthStart(const QDate& anyDay);

// The worker who sits at a machine place of a team, found by the team's name; the first row names
// him, no row means the place has no worker of that team. Run it with WorkerAtPlaceParams.
inline const QString kWorkerAtPlaceSql = QStringLiteral(
    "Select WorkerName From Worker Where MachineId=? And Deptid =(Select id From Dept Where DeptName=?)");
// The values of kWorkerAtPlaceSql, in its order.
QVariantList WorkerAtPlaceParams(const QString& teamName, const QString& machinePlace);
