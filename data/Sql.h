#pragma once

#include <QString>
#include <QVariantList>

#include <functional>

namespace data {
class DataSet;
class Field;
} // namespace data

// Statement helpers every window uses. The statement's values are bound as parameters ("?" in the
// text), never pasted into it. On failure the helpers show the standard box quoting the statement
// with its values written in, leave the dataset closed and return false, so that a caller can stop
// a sequence at the first failure.

// Closes the dataset, sets the statement and opens it.
bool OpenQuery(data::DataSet* query, const QString& sql, const QVariantList& params = {});
// Closes the dataset, sets the statement and executes it; the dataset stays closed.
bool ExecQuery(data::DataSet* query, const QString& sql, const QVariantList& params = {});
// Runs work (a sequence of OpenQuery/ExecQuery calls on the current data module) in one
// transaction: committed when work returns true, rolled back otherwise, so that a failure leaves
// nothing half done. Inside an open transaction, work simply joins it.
bool RunInTransaction(const std::function<bool()>& work);

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

// The box text the helpers show for a failed statement.
QString StatementErrorText(const QString& sql, const QVariantList& params);
